#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --tests
# The kernel and initramfs of the virtual machine the kernel tests boot.
bash scripts/vm-image.sh
bash scripts/build.sh
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --timeout 900 --parallel 2
