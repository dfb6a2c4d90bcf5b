#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every kernel case (ctest -L kernel) RUNS times (10 by default), two
# virtual machines at a time, each keeping a processor busy, beside stress-ng
# on STRESS more (every processor by default; STRESS=0: none), as a user's
# busy machine would run them, and prints each case's count of passes. Each
# round's output, the kernel's messages of a failed run among them, stays in
# BUILD_DIR/kernel-soak-ROUND.log.
#
#   [STRESS=N] scripts/kernel-soak.sh [RUNS] [BUILD_DIR]
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
runs=${1:-10}
build=${2:-build}
stress=${STRESS:-$(nproc)}
if ((stress > 0)); then
  command -v stress-ng >/dev/null || { echo "kernel-soak: stress-ng is missing: run scripts/setup.sh --tests" >&2; exit 1; }
  stress-ng --cpu "$stress" --quiet &
  trap 'kill $! 2>/dev/null' EXIT
fi
rm -f "$build"/kernel-soak-*.log
for ((round = 1; round <= runs; round++)); do
  VM_VERBOSE=1 ctest --test-dir "$build" -L kernel -j 2 --output-on-failure >"$build/kernel-soak-$round.log" 2>&1
done
# Each case's passes over the rounds.
cat "$build"/kernel-soak-*.log | sed -n 's/.*Test *#[0-9]*: kernel\.\([a-z0-9_]*\) \.*[ *]*\(Passed\|Failed\).*/\1 \2/p' |
  sort | uniq -c | awk -v runs="$runs" '
    { count[$2] += ($3 == "Passed") ? $1 : 0; seen[$2] = 1 }
    END { failed = 0
          for (c in seen) { printf "%s: %d of %d\n", c, count[c], runs; if (count[c] < runs) failed = 1 }
          exit failed }' | sort
