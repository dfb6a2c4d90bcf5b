#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What an unchanged feed costs a daily check: the bytes on the wire and the
# time of a whole `ventaro-update-cli check`, against the loopback HTTPS server
# of the feed's tests.
#
#   bench/feed_unchanged.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 tests/updater/feed_test.py "${1:-build}" bench
