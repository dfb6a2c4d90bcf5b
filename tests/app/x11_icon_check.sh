#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The shipped programs show their icon: every window they open on a real X
# server carries _NET_WM_ICON, which panels and task switchers show.
#   x11_icon_check.sh PROGRAM...
set -euo pipefail
[[ $# -gt 0 ]] || { echo "usage: $0 PROGRAM..." >&2; exit 2; }

# The property as text; grep reads all of it (an early exit would fail the pipe).
has_icon() {
  xprop -id "$1" _NET_WM_ICON 2>/dev/null | grep -c "Icon (" >/dev/null
}

check() {
  local program=$1 pid windows status=0
  QT_QPA_PLATFORM=xcb "$program" >/dev/null 2>&1 &
  pid=$!
  timeout 20 xdotool search --sync --onlyvisible --pid "$pid" >/dev/null 2>&1 || true
  sleep 1  # the window manager protocol's properties follow the mapping
  windows=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null || true)
  if [[ -z $windows ]]; then
    echo "FAIL: $program showed no window"
    status=1
  fi
  for window in $windows; do
    # A dialog gets its icon a moment after it is mapped; one replaced by
    # another window meanwhile is no longer there to ask.
    for _ in $(seq 30); do has_icon "$window" && break; sleep 0.1; done
    xprop -id "$window" WM_NAME >/dev/null 2>&1 || continue
    if has_icon "$window"; then
      echo "ok: $program window $window ($(xprop -id "$window" WM_NAME | cut -d= -f2-)) has its icon"
    else
      echo "FAIL: $program window $window ($(xprop -id "$window" WM_NAME | cut -d= -f2-)) has no icon"
      status=1
    fi
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  return $status
}

if [[ -z ${DISPLAY:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi
status=0
for program in "$@"; do check "$program" || status=1; done
exit $status
