#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command as on a desktop with a screen reader: its own X server
# (Xvfb), session bus and accessibility bus, Qt's bridge to it switched on.
#   a11y_session.sh [--orca DEBUG_LOG] COMMAND [ARGUMENT...]
# With --orca, Orca runs for the whole command and writes its debug log
# (what it says is in the "SPEECH OUTPUT" lines).
set -euo pipefail

orca_log=
if [[ ${1:-} == --orca ]]; then
  orca_log=$(realpath -m "$2")
  shift 2
fi
[[ $# -gt 0 ]] || { echo "usage: $0 [--orca DEBUG_LOG] COMMAND [ARGUMENT...]" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch/home XDG_RUNTIME_DIR=$scratch/run XDG_CONFIG_HOME=$scratch/home/.config
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0 GTK_A11Y=atspi
export ORCA_LOG=$orca_log

# The inner script is expanded by the shell that runs it, inside the session.
# shellcheck disable=SC2016
exec xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- bash -c '
  set -u
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  launcher=$!
  for _ in $(seq 50); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
      >/dev/null 2>&1 && break
    sleep 0.1
  done
  orca=
  if [[ -n $ORCA_LOG ]]; then
    rm -f "$ORCA_LOG"
    orca --replace --debug-file="$ORCA_LOG" >"$XDG_RUNTIME_DIR/orca.out" 2>&1 &
    orca=$!
    # Orca is ready once it has said so.
    for _ in $(seq 100); do grep -q "SPEECH OUTPUT" "$ORCA_LOG" 2>/dev/null && break; sleep 0.1; done
  fi
  status=0
  "$@" || status=$?
  if [[ -n $orca ]]; then
    sleep 3  # what was said last reaches the log
    kill $orca 2>/dev/null
    for _ in $(seq 30); do kill -0 $orca 2>/dev/null || break; sleep 0.1; done
    kill -9 $orca 2>/dev/null || true
  fi
  kill $launcher 2>/dev/null
  exit $status' bash "$@"
