#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures a whole update over emulated USB on a real kernel: a Ventaro from its
# normal firmware, a package whose main image fills the application area
# (896 KiB, all the flash below the bootloader), through the shipped
# ventaro-update-cli in the test virtual machine. Prints the wall time, the HID
# roundtrips and their rate, and the updater's own processor time against the
# wall time. Run after a build: bench/kernel_update.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build=$(realpath "${1:-$root/build}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/make-sample-package" "$work/large.zalmirupdate" --ventaro-size 917504
{
  echo "TIMEFORMAT='measured: wall %R s, user %U s, system %S s'"
  printf 'time %q update --kind ventaro %q 2>&1\n' "$build/ventaro-update-cli" "$work/large.zalmirupdate"
} >"$work/measure.sh"
VM_BUILD_DIR="$build" "$root/scripts/vm-run.sh" --device ventaro --package "$work/large.zalmirupdate" \
  -- bash "$work/measure.sh" >"$work/result" 2>&1 || {
  cat "$work/result"
  exit 1
}
grep -F -e 'Will execute' -e 'Update succeeded' -e 'measured:' "$work/result"
roundtrips=$(sed -n 's/^.*Will execute \([0-9]*\) HID roundtrips.*/\1/p' "$work/result" | awk "{s += \$1} END {print s}")
read -r wall user system < <(sed -n 's/measured: wall \(.*\) s, user \(.*\) s, system \(.*\) s/\1 \2 \3/p' "$work/result")
python3 - "$wall" "$user" "$system" "${roundtrips:-0}" <<'PY'
import sys
wall, user, system, roundtrips = float(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4])
cpu = user + system
print(f"whole update: {wall:.1f} s wall; the updater's processor time {cpu:.2f} s ({100 * cpu / wall:.0f} % of it): "
      f"{user:.2f} s in the program, {system:.2f} s in the kernel")
if roundtrips:
    print(f"{roundtrips} HID roundtrips, {roundtrips / wall:.0f} per second over the whole run; per roundtrip "
          f"{1e6 * wall / roundtrips:.0f} us of wall time, of which the updater took {1e6 * user / roundtrips:.0f} us "
          f"in the program and {1e6 * system / roundtrips:.0f} us in the kernel")
PY
