#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, builds, and starts the demo: the application against a
# simulated Ventaro, plugged in a few seconds after you click "Update".
# Options go to the demo, e.g. --simulate ruvo-bootloader --fault power-cut:40.
# The real application, for real devices, is build/ventaro-update.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh --programs
exec build/ventaro-update-demo "$@"
