#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The checks that need no build: C++ formatting (.clang-format), every shell
# script with shellcheck, and the core (update/, updater/, common/) with
# clang-tidy's checks in .clang-tidy, on a configured but unbuilt tree.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "Formatting..."
git ls-files -z '*.cpp' '*.hpp' | xargs -0 clang-format --dry-run -Werror

echo "Shell scripts..."
mapfile -t scripts < <(git ls-files '*.sh'; git ls-files .ci scripts tests | while read -r f; do
  [[ $f != *.* && -f $f ]] && head -n1 "$f" | grep -q '^#!.*sh' && echo "$f"
done)
shellcheck -x "${scripts[@]}"

echo "clang-tidy on the core..."
cmake -S . -B build-lint -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZAL_TESTS=OFF >/dev/null
git ls-files -z 'update/*.cpp' 'updater/*.cpp' 'common/*.cpp' |
  grep -zv '/qt_driver' |
  xargs -0 -n 4 -P "$(nproc)" clang-tidy -p build-lint --quiet 2>/dev/null
echo "Lint passed."
