#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets with clang, AddressSanitizer and UBSan, and runs
# each one for the given number of seconds (60 by default) from its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZAL_TESTS=OFF -DZAL_FUZZ=ON -DZAL_SANITIZE=address,undefined
cmake --build build-fuzz --target fuzz_update fuzz_ihex fuzz_ihex_paths fuzz_ini fuzz_signature fuzz_markdown \
  fuzz_sysex fuzz_hid_report fuzz_signed_package fuzz_seeds

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# A smaller quarantine keeps the resident size meaningful for -rss_limit_mb.
export ASAN_OPTIONS=quarantine_size_mb=32:detect_leaks=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
for target in build-fuzz/fuzz/fuzz_*; do
  name=$(basename "$target")
  corpus="build-fuzz/corpus/$name"
  log="build-fuzz/$name.log"
  mkdir -p "$corpus"
  dictionary=()
  if [[ -f "fuzz/${name#fuzz_}.dict" ]]; then dictionary=(-dict="fuzz/${name#fuzz_}.dict"); fi
  # Seeds written by the build, and real ones kept in fuzz/seeds/ (a signature by minisign).
  seeds=("build-fuzz/fuzz/seeds/${name#fuzz_}")
  if [[ -d "fuzz/seeds/${name#fuzz_}" ]]; then seeds+=("fuzz/seeds/${name#fuzz_}"); fi
  echo "== $name for ${seconds}s"
  if ! "$target" "$corpus" "${seeds[@]}" "${dictionary[@]}" -max_total_time="$seconds" \
      -rss_limit_mb=512 -malloc_limit_mb=512 -timeout=10 -print_final_stats=1 \
      -artifact_prefix=build-fuzz/ >"$log" 2>&1; then
    cat "$log"
    exit 1
  fi
  # Coverage reached: the last "cov:" (edges) and "ft:" (features) libFuzzer printed.
  grep -E '^#[0-9]+' "$log" | tail -n 1
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log"
done
