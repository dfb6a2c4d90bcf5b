#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Release notes shaped to make Qt's layout slow, one megabyte each, in the
application as it ships: from its start to the first paint of the notes
(bench/startup_app_window), the longest turn of its main thread's event loop
until the notes are all in, and from SIGTERM, half a second after start, to
its exit. Prints the medians in milliseconds, one line per shape.

    bench/hostile_notes.py BUILD_DIR [RUNS]   (offscreen: QT_QPA_PLATFORM=offscreen)
"""
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

SHAPES = {
    "one long word": "x",
    "backticks": "`",
    "brackets": "[",
    "asterisks": "*",
    "underscores": "_",
    "headers": "# ",
    "addresses": "https://ventaro.example/",
}


def package_with_notes(sample, notes, path):
    """The sample package without its signature, with these English notes."""
    with zipfile.ZipFile(sample) as source, zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as out:
        for info in source.infolist():
            if info.filename.startswith("manifest.sha256") or info.filename == "notes-en.txt":
                continue
            out.writestr(info, source.read(info))
        out.writestr("notes-en.txt", notes)


def first_paint_ms(program, package, env):
    started = time.monotonic_ns()
    shown = subprocess.run([program, package], env=env, capture_output=True, text=True, timeout=600).stdout
    for line in shown.splitlines():
        if line.startswith("shown "):
            return (int(line.split()[1]) - started) / 1e6
    return float("nan")


def longest_turn_ms(program, package, env):
    said = subprocess.run([program, package], env=dict(env, ZAL_BENCH_LONGEST_TURN="1"), capture_output=True,
                          text=True, timeout=600).stdout
    for line in said.splitlines():
        if line.startswith("longest "):
            return float(line.split()[1])
    return float("nan")


def quit_ms(program, package, env):
    app = subprocess.Popen([program, package], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    asked = time.monotonic_ns()
    app.send_signal(signal.SIGTERM)
    try:
        app.wait(timeout=60)
    except subprocess.TimeoutExpired:
        app.kill()
        app.wait()
        return float("inf")
    return (time.monotonic_ns() - asked) / 1e6


def main():
    build = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    with tempfile.TemporaryDirectory() as scratch:
        env = dict(os.environ, HOME=scratch, XDG_STATE_HOME=scratch, XDG_RUNTIME_DIR=scratch)
        os.chmod(scratch, 0o700)
        print(f"{'notes of 1 MiB':16} {'to first paint':>15} {'longest turn':>13} {'SIGTERM to exit':>16}")
        for name, unit in SHAPES.items():
            notes = unit * ((1 << 20) // len(unit) - 1)
            package = os.path.join(scratch, "hostile.zalmirupdate")
            package_with_notes(os.path.join(build, "sample.zalmirupdate"), notes, package)
            paint = [first_paint_ms(os.path.join(build, "bench/startup_app_window"), package, env) for _ in range(runs)]
            turn = [longest_turn_ms(os.path.join(build, "bench/startup_app_window"), package, env) for _ in range(runs)]
            leave = [quit_ms(os.path.join(build, "ventaro-update"), package, env) for _ in range(runs)]
            print(f"{name:16} {statistics.median(paint):12.0f} ms {statistics.median(turn):10.0f} ms "
                  f"{statistics.median(leave):13.0f} ms")


if __name__ == "__main__":
    main()
