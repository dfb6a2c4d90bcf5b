# shellcheck shell=bash
# SPDX-License-Identifier: MIT
# Sourced by the scripts that need a Wayland compositor: headless Weston in a
# private runtime folder, stopped (and the folder removed) when the script ends.
#
#   start_weston SOCKET [WESTON_OPTION...]
# sets XDG_RUNTIME_DIR and `runtime` (the folder), and fails when Weston does
# not come up.
start_weston() {
  local socket=$1
  shift
  runtime=$(mktemp -d)
  chmod 700 "$runtime"
  export XDG_RUNTIME_DIR=$runtime
  weston --backend=headless-backend.so "$@" --socket="$socket" --idle-time=0 >"$runtime/weston.log" 2>&1 &
  weston_pid=$!
  trap 'kill "$weston_pid" 2>/dev/null || true; rm -rf "$runtime"' EXIT
  for _ in $(seq 50); do
    [[ -S "$runtime/$socket" ]] && return 0
    sleep 0.1
  done
  cat "$runtime/weston.log"
  echo "Weston did not start"
  return 1
}
