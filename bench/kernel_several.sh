#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures update --all on a real kernel: one Ventaro alone, then a Ventaro, a
# Ruvo and a second Ventaro at once, each in the test virtual machine with the
# sample package, side by side. The devices share the emulated bus and the
# emulated processors, so three take longer than one; the aim is at most 1.3
# times one device's wall time. Run after a build: bench/kernel_several.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=$(realpath "${1:-$root/build}")
package="$build/sample.zalmirupdate"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

{
  echo "TIMEFORMAT='measured: %R'"
  printf 'time %q update --all %q >/dev/null 2>&1\n' "$build/ventaro-update-cli" "$package"
} >"$work/measure.sh"

# Wall time of update --all with these devices plugged in, in seconds.
measure() {
  VM_BUILD_DIR="$build" "$root/scripts/vm-run.sh" "$@" --package "$package" -- bash "$work/measure.sh" \
    >"$work/result" 2>&1 || {
    cat "$work/result"
    exit 1
  }
  sed -n 's/^measured: //p' "$work/result"
}

one=$(measure --device ventaro)
three=$(measure --device ventaro --device ruvo --device ventaro)
python3 - "$one" "$three" <<'PY'
import sys
one, three = float(sys.argv[1]), float(sys.argv[2])
print(f"update --all, one Ventaro:                  {one:6.1f} s wall")
print(f"update --all, a Ventaro, a Ruvo, a Ventaro: {three:6.1f} s wall ({three / one:.2f} times one device's)")
PY
