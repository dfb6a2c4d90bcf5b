#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs each libFuzzer target (clang, AddressSanitizer and UBSan: the tree of
# scripts/sanitize.sh address,undefined, built here when needed) for the given
# number of seconds (60 by default) from its seeds and the corpus kept in
# fuzz/corpus/TARGET; with --keep, what the run found that reaches new code is
# merged into the kept corpus (minimised), to be committed. Named targets
# (feed, ini...) run alone.
#
#   scripts/fuzz.sh [SECONDS] [--keep] [TARGET]...
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
keep=0
names=()
for arg in "${@:2}"; do
  if [[ $arg == --keep ]]; then keep=1; else names+=("$arg"); fi
done
tree=build-address-undefined
bash scripts/sanitize.sh address,undefined --build-only

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# A smaller quarantine keeps the resident size meaningful for -rss_limit_mb.
export ASAN_OPTIONS=quarantine_size_mb=32:detect_leaks=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
# One target's run; what it prints goes to its report.
fuzz_one() {
  local target=$1 name corpus log dictionary seeds kept
  name=$(basename "$target")
  corpus="$tree/corpus/$name"
  log="$tree/$name.log"
  mkdir -p "$corpus"
  dictionary=()
  if [[ -f "fuzz/${name#fuzz_}.dict" ]]; then dictionary=(-dict="fuzz/${name#fuzz_}.dict"); fi
  # Seeds written by the build, and real ones kept in fuzz/seeds/ (a signature by minisign).
  seeds=("$tree/fuzz/seeds/${name#fuzz_}")
  for kept in "fuzz/seeds/${name#fuzz_}" "fuzz/corpus/${name#fuzz_}"; do
    if [[ -d $kept ]]; then seeds+=("$kept"); fi
  done
  echo "== $name for ${seconds}s"
  if ! "$target" "$corpus" "${seeds[@]}" "${dictionary[@]}" -max_total_time="$seconds" \
      -rss_limit_mb=512 -malloc_limit_mb=512 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$tree"/ >"$log" 2>&1; then
    cat "$log"
    return 1
  fi
  # Coverage reached: the last "cov:" (edges) and "ft:" (features) libFuzzer printed.
  grep -E '^#[0-9]+' "$log" | tail -n 1
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log"
  if ((keep)); then
    mkdir -p "fuzz/corpus/${name#fuzz_}"
    "$target" -merge=1 "fuzz/corpus/${name#fuzz_}" "$corpus" "${seeds[@]}" >"$log.merge" 2>&1 ||
      { cat "$log.merge"; return 1; }
    echo "kept: $(find "fuzz/corpus/${name#fuzz_}" -type f | wc -l) inputs in fuzz/corpus/${name#fuzz_}"
  fi
}

# As many targets at once as there are processors: each runs on one.
status=0
targets=("$tree"/fuzz/fuzz_*)
((${#names[@]})) && targets=("${names[@]/#/$tree/fuzz/fuzz_}")
for target in "${targets[@]}"; do
  fuzz_one "$target" >"$tree/$(basename "$target").report" 2>&1 &
  while (($(jobs -rp | wc -l) >= $(nproc))); do wait -n || status=1; done
done
while (($(jobs -rp | wc -l) > 0)); do wait -n || status=1; done
for target in "${targets[@]}"; do cat "$tree/$(basename "$target").report"; done
exit $status
