#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, builds, and starts the demo: the application against a
# simulated Ventaro, plugged in a few seconds after you click "Update".
# Options go to the demo, e.g. --simulate ruvo-bootloader --fault power-cut:40.
# The real application, for real devices, is build/ventaro-update.
# The build also makes a sample feed offering the sample's next release
# (build/sample-feed/feed.json, signed with keys/test/feed-test.key), which the
# demo checks (File > Check for Firmware Updates…), as a check from the terminal does:
#   build/ventaro-update-cli check --feed file://$PWD/build/sample-feed/feed.json --trust-feed keys/test/feed-test.pub
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh --programs
exec build/ventaro-update-demo "$@"
