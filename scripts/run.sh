#!/usr/bin/env bash
# Sets up the machine, builds, and shows what the reader makes of the sample package.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
exec build/ventaro-update-cli inspect "${1:-build/sample.zalmirupdate}"
