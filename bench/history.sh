#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What the update history costs, side by side: a run's callbacks with and
# without recording, the look-up made when a package is opened, and the
# application's start-up with no history and with a full one (1000 runs).
#
#   bench/history.sh [BUILD_DIR]    (a build configured with -DZAL_BENCH=ON)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/history_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null |
  grep -E '_(median|stddev) '

# A full history: one recorded run, then its row 999 times more.
mkdir -p "$work/full" "$work/empty"
XDG_STATE_HOME="$work/full" "$build/ventaro-update-cli" update --record --simulate ventaro \
  "$build/sample.zalmirupdate" >/dev/null 2>&1
python3 - "$work/full/ventaro-update/history.sqlite" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
columns = [row[1] for row in db.execute("PRAGMA table_info(runs)") if row[1] != "id"]
names = ", ".join(columns)
for _ in range(999):
    db.execute(f"INSERT INTO runs ({names}) SELECT {names} FROM runs WHERE id = 1")
db.commit()
print("full history:", db.execute("SELECT count(*) FROM runs").fetchone()[0], "runs", file=sys.stderr)
PY

startup=("$build/bench/startup_bench" "$build/bench/startup_app_window" "$build/bench/startup_notes_window"
  "$build/bench/startup_minimal_window" "$build/sample.zalmirupdate" 21)
for state in full empty full empty; do
  echo "start-up, $state history:"
  if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
    XDG_STATE_HOME="$work/$state" "${startup[@]}"
  else
    XDG_STATE_HOME="$work/$state" xvfb-run -a "${startup[@]}"
  fi | python3 -c 'import json, sys; d = json.load(sys.stdin); print("  application window %.1f ms, minimal window %.1f ms: ratio %.2f (medians)" % (d["app_ms"], d["minimal_ms"], d["ratio"]))'
done
