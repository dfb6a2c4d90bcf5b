#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Configures build/ as Debian builds its packages (optimised, with debugging
# information and Debian's hardening), warnings as errors, and builds it: the
# one tree that the tests, the demo and the Debian package all come from.
#
#   scripts/build.sh              everything, tests and benchmarks too
#   scripts/build.sh --programs   the application, the demo and the CLI only
set -euo pipefail
cd "$(dirname "$0")/.."

tests=ON
targets=()
case ${1:-} in
  --programs) tests=OFF targets=(--target ventaro-update ventaro-update-demo ventaro-update-cli sample_feed) ;;
  "") ;;
  *) echo "usage: $0 [--programs]" >&2; exit 2 ;;
esac
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAL_WERROR=ON -DZAL_TESTS=$tests -DZAL_BENCH=$tests \
  -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
  -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now" >/dev/null
cmake --build build "${targets[@]}"
