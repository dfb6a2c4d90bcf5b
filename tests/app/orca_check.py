#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""What Orca says of a whole update, in English and in French.

Runs the demo's scripted update (a Ventaro, then the offer of its Ruvo) with
Orca listening, and reads Orca's debug log (Orca 43's format or 48's): every
phase is announced as it comes, progress does not flood the reader, and the
success alert is spoken at once.

    orca_check.py BUILD_DIRECTORY
"""
import datetime
import os
import pathlib
import re
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
PHASES = {
    "en": ["Connect your Ventaro", "Waiting for the Ventaro...",
           "Updating internal components...", "Updating..."],
    "fr": ["Branchez votre Ventaro", "En attente du Ventaro...",
           "Mise à jour des composants internes...", "Mise à jour..."],
}
SUCCESS = {"en": "Update successful", "fr": "Mise à jour réussie"}
# A device run gives some thousand progress steps; a reader hears a few.
MOST_VALUE_EVENTS = 60
MOST_PERCENT_LINES = 5
LATEST_ALERT_SECONDS = 3.0  # 7 to 8 s when progress flooded the reader


SPEECH = re.compile(r"^(\d\d:\d\d:\d\d\.\d+) - SPEECH OUTPUT: '(.*?)' ?\{'", re.M | re.S)
# Where Orca starts handling an event: "vvvvv PROCESS OBJECT EVENT object:..."
# (Orca 43) or "vvvvv START PRIORITY-4 OBJECT EVENT OBJECT:... (queue size: 0)"
# (Orca 48).
EVENT = re.compile(r"^vvvvv .*OBJECT EVENT (\S+)", re.M)


def spoken(log_text):
    """(time, text, announced) of each SPEECH OUTPUT; a text may span lines.

    An announcement is what Orca speaks of a notification shown anew (Orca 43:
    "notification <text>", the prefix dropped here) or of an announcement
    event (Qt 6.8's, which Orca 48 speaks as the text alone).
    """
    events = [(m.start(), m.group(1).lower()) for m in EVENT.finditer(log_text)]
    said = []
    for match in SPEECH.finditer(log_text):
        time = datetime.datetime.strptime(match.group(1), "%H:%M:%S.%f")
        text = re.sub(r"\n\s+", "\n", match.group(2))
        event = next((name for at, name in reversed(events) if at < match.start()), "")
        announced = text.startswith("notification ") or event == "object:announcement"
        said.append((time, text.removeprefix("notification "), announced))
    return said


def check(build, language):
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        log = pathlib.Path(scratch) / "orca.log"
        env = dict(os.environ, LANGUAGE=language, LANG="C.UTF-8")
        run = subprocess.run([str(HERE / "a11y_session.sh"), "--orca", str(log),
                              str(build / "ventaro-update-demo"), "--run-update"],
                             env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
        if run.returncode != 0:
            return [f"the scripted update failed ({run.returncode}):\n" + run.stdout.decode(errors="replace")[-3000:]]
        text = log.read_text(errors="replace")
    said = spoken(text)
    notifications = [(t, s) for t, s, announced in said if announced]
    for phase in PHASES[language]:
        if not any(s.startswith(phase) for _, s in notifications):
            failures.append(f"phase not announced: {phase!r}")
    values = text.count("object:property-change:accessible-value")
    if values > MOST_VALUE_EVENTS:
        failures.append(f"{values} progress events reached Orca (at most {MOST_VALUE_EVENTS})")
    percents = sum(1 for _, s, _ in said if re.search(r"\d+ (percent|pour cent)", s))
    if percents > MOST_PERCENT_LINES:
        failures.append(f"progress spoken {percents} times (at most {MOST_PERCENT_LINES})")
    alert = next((t for t, s, _ in said if SUCCESS[language] in s), None)
    last_phase = next((t for t, s in reversed(notifications) if PHASES[language][-1] in s), None)
    if alert is None or last_phase is None:
        failures.append("the success alert was not spoken")
    elif (alert - last_phase).total_seconds() > LATEST_ALERT_SECONDS:
        failures.append(f"the success alert was spoken {(alert - last_phase).total_seconds():.1f} s after the last "
                        f"phase (at most {LATEST_ALERT_SECONDS} s)")
    print(f"{language}: {len(notifications)} announcements, {values} progress events, {percents} spoken percentages")
    for _, s, announced in said:
        print(f"  {'announced' if announced else 'said'}: {s[:120]!r}")
    return failures


def main():
    build = pathlib.Path(sys.argv[1]).resolve()
    failures = []
    for language in ("en", "fr"):
        failures += [f"{language}: {f}" for f in check(build, language)]
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
