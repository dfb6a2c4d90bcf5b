#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the benchmarks behind README's performance table and prints the table,
# each comparison measured side by side in this run.
#
#   bench/run.sh [BUILD_DIR] [--quick]
#
# BUILD_DIR is a build configured with -DZAL_BENCH=ON (default: build); the
# README's figures come from a Release build. --quick runs each benchmark
# briefly, to check that the script still works.
set -euo pipefail

build=build
quick=0
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    *) build=$arg ;;
  esac
done
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

runs=40 repetitions=5 startup_runs=21
if ((quick)); then runs=3 repetitions=1 startup_runs=3; fi

for program in make-sample-package ventaro-update-cli bench/update_bench bench/markdown_bench bench/startup_bench \
  bench/startup_app_window bench/startup_notes_window bench/startup_minimal_window; do
  if [[ ! -x "$build/$program" ]]; then
    echo "bench/run.sh: $build/$program is missing: build with -DZAL_BENCH=ON first" >&2
    exit 1
  fi
done

echo "Reading a package: inspect, objcopy on its largest HEX entry, and starting the tool alone..." >&2
"$build/make-sample-package" "$work/large.zalmirupdate" --ventaro-size 917504
python3 -c 'import sys, zipfile; open(sys.argv[2], "wb").write(zipfile.ZipFile(sys.argv[1]).read("ventaro.hex"))' \
  "$work/large.zalmirupdate" "$work/ventaro.hex"
hyperfine -N --style none --warmup 3 --runs "$runs" --export-json "$work/inspect.json" \
  "$build/ventaro-update-cli inspect $work/large.zalmirupdate" \
  "objcopy -I ihex -O binary $work/ventaro.hex $work/ventaro.bin" \
  "$build/ventaro-update-cli --version" >/dev/null

echo "Decoding HEX and reading the two-device package..." >&2
"$build/bench/update_bench" --benchmark_filter='BM_IhexRead|BM_MakeUpdate|BM_InflateLargestEntry' \
  --benchmark_repetitions="$repetitions" --benchmark_format=json >"$work/update.json" 2>/dev/null

echo "Rendering release notes..." >&2
QT_QPA_PLATFORM=offscreen "$build/bench/markdown_bench" \
  --benchmark_filter='BM_RenderNotes/1048576|BM_HostileNotes/.*/1048576|BM_HostileFillOnly/' --benchmark_format=json \
  >"$work/markdown.json" 2>/dev/null

echo "Starting the application, a window with only its notes and a minimal window..." >&2
startup=("$build/bench/startup_bench" "$build/bench/startup_app_window" "$build/bench/startup_notes_window"
  "$build/bench/startup_minimal_window" "$build/sample.zalmirupdate" "$startup_runs")
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  "${startup[@]}" >"$work/startup.json"
else
  xvfb-run -a "${startup[@]}" >"$work/startup.json"
fi

python3 "$here/bench/table.py" "$work"
