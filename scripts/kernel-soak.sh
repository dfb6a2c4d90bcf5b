#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs every kernel case (tests/kernel/kernel_test.sh) RUNS times (10 by
# default) while stress-ng keeps both processors busy, as a user's machine
# under load would, and prints each case's count of passes. A failed run's
# logs, the kernel's messages among them, stay in BUILD_DIR/kernel-logs.
#
#   scripts/kernel-soak.sh [RUNS] [BUILD_DIR]
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
runs=${1:-10}
build=${2:-build}
command -v stress-ng >/dev/null || { echo "kernel-soak: stress-ng is missing: run scripts/setup.sh --tests" >&2; exit 1; }
mapfile -t cases < <(ctest --test-dir "$build" -N -L kernel | sed -n 's/^ *Test *#[0-9]*: kernel\.//p')
((${#cases[@]})) || { echo "kernel-soak: $build has no kernel tests: run scripts/build.sh" >&2; exit 1; }
stress-ng --cpu "$(nproc)" --quiet &
stress=$!
trap 'kill "$stress" 2>/dev/null' EXIT
failed=0
for name in "${cases[@]}"; do
  passed=0
  for ((i = 1; i <= runs; i++)); do
    if VM_VERBOSE=1 bash tests/kernel/kernel_test.sh "$name" "$build" >"$build/kernel-soak-$name.log" 2>&1; then
      passed=$((passed + 1))
    else
      cp "$build/kernel-soak-$name.log" "$build/kernel-soak-$name-failed-$i.log"
    fi
  done
  echo "$name: $passed of $runs"
  ((passed == runs)) || failed=1
done
exit $failed
