#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the application's Qt tests under a real Wayland compositor: headless
# Weston with its own runtime folder, on an existing build (build/ by default).
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${1:-build}
shift $(($# > 0 ? 1 : 0))  # the rest goes to ctest
# shellcheck source=scripts/weston.sh
source scripts/weston.sh
start_weston wayland-tests

# Headless Weston has no seat; Qt's Wayland text input then crashes in
# QLineEdit. A real desktop always has one.
WAYLAND_DISPLAY=wayland-tests QT_QPA_PLATFORM=wayland QT_IM_MODULE=compose \
  ctest --test-dir "$dir" -L qt --output-on-failure --timeout 600 "$@"
