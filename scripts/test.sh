#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
# The kernel and initramfs of the virtual machine the kernel tests boot.
bash scripts/vm-image.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAL_WERROR=ON -DZAL_BENCH=ON
cmake --build build
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --timeout 900 --parallel 2
