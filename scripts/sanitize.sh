#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the tests with the given sanitizers into build-<name> and runs them.
# The address build uses clang, warnings as errors, and holds the libFuzzer
# targets too (scripts/fuzz.sh runs them): one clang tree for both.
# Usage: scripts/sanitize.sh address,undefined|thread [--build-only | ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."

sanitizers=${1:?usage: $0 address,undefined|thread [--build-only | ctest arguments]}
shift
dir="build-${sanitizers//,/-}"
options=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DZAL_SANITIZE="$sanitizers")
if [[ $sanitizers == *address* ]]; then
  options+=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZAL_WERROR=ON -DZAL_FUZZ=ON)
fi
cmake -S . -B "$dir" -G Ninja "${options[@]}" >/dev/null
cmake --build "$dir"
[[ ${1:-} == --build-only ]] && exit 0
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure --timeout 1800 --parallel 2 "$@"

if [[ $sanitizers == *address* ]]; then
  # The application itself, not only its tests: one scripted update of a
  # simulated Ventaro, from start-up to exit, and the flash it leaves.
  # A history of its own: the one in the home of whoever runs this may hold newer firmware.
  rm -rf "$dir/app-state" && mkdir -p "$dir/app-state"
  XDG_STATE_HOME="$PWD/$dir/app-state" QT_QPA_PLATFORM=offscreen timeout 600 "$dir/ventaro-update-demo" --simulate ventaro --run-update \
    --flash-out "$dir/app-flash.bin" 2>"$dir/app.log" || { tail -n 40 "$dir/app.log"; exit 1; }
  "$dir/tests/flash-helper" expected "$dir/app-expected.bin" factory "$dir/sample.zalmirupdate" ventaro stage2 main
  cmp "$dir/app-flash.bin" "$dir/app-expected.bin"
  echo "sanitize.sh: the application under $sanitizers updated a Ventaro and exited cleanly"
fi
