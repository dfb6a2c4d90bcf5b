#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The shipped programs against a real Linux kernel: each case boots the test
# virtual machine (scripts/vm-run.sh) with a device played on the kernel's USB
# gadget framework, runs an update through hidraw and the ALSA sequencer, and
# compares the device's flash afterwards, byte for byte, with what the flash
# model expects.
#
#   tests/kernel/kernel_test.sh CASE BUILD_DIR
set -uo pipefail
case_name=${1:?usage: $0 CASE BUILD_DIR}
build=$(realpath "${2:?usage: $0 CASE BUILD_DIR}")
root="$(cd "$(dirname "$0")/../.." && pwd)"
export VM_BUILD_DIR="$build"
cli="$build/ventaro-update-cli"
package="$build/sample.zalmirupdate"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out="$work/output"

fail() {
  echo "FAILED: $*"
  echo "--- output of the run"
  cat "$out"
  exit 1
}

# Runs COMMAND in the virtual machine; its output goes to $out, and the exit
# status must be `expected`.
vm() {
  local expected=$1
  shift
  "$root/scripts/vm-run.sh" --flash-out "$work/flash.bin" "$@" >"$out" 2>&1
  local status=$?
  [[ $status == "$expected" ]] || fail "exit status $status, not $expected"
}

# The flash must be what installing these images from BEFORE (a file or
# "factory") gives.
flash_is() {
  local before=$1 kind=$2
  shift 2
  "$build/tests/expected-flash" "$work/expected.bin" "$before" "$package" "$kind" "$@" || fail "no expected flash"
  cmp -s "$work/flash.bin" "$work/expected.bin" ||
    fail "the flash differs from the expected one: $(cmp "$work/flash.bin" "$work/expected.bin" | head -n 1)"
}

output_has() {
  grep -qF -- "$1" "$out" || fail "the output lacks \"$1\""
}

# A run interrupted by a fault, the device plugged in again, and a second run.
fail_then_retry() {
  printf '%q update --kind ventaro %q && exit 9\n' "$cli" "$package"
  printf '%q --replug\n' "$build/ventaro-gadget"
  printf 'exec %q update --kind ventaro %q\n' "$cli" "$package"
}

case "$case_name" in
  stage2_update)
    # Out of its normal firmware, through the bootloader and the stage-2
    # firmware: the stage-2 firmware comes back as the same sequencer client.
    vm 0 --device ventaro -- "$cli" update --kind ventaro --json "$package"
    output_has '"event":"end","outcome":"success"'
    flash_is factory ventaro stage2 main
    ;;
  ruvo_recovery)
    vm 0 --device ruvo-bootloader -- "$cli" update --kind ruvo "$package"
    output_has "Update succeeded: Ruvo"
    flash_is factory ruvo main
    ;;
  two_updates)
    vm 0 --device ventaro -- "$build/tests/two-updates" "$package"
    output_has "run 2: success"
    flash_is factory ventaro stage2 main stage2 main
    ;;
  unplug_then_retry)
    # Unplugged while the main firmware is written (after the stage-2 image's
    # 653 roundtrips), then a second run from whatever the device starts.
    fail_then_retry >"$work/retry.sh"
    vm 0 --device ventaro --fault unplug-at-roundtrip:900 --package "$package" -- bash "$work/retry.sh"
    output_has "Update succeeded: Ventaro"
    flash_is "$work/flash.bin" ventaro main
    ;;
  power_cut_then_recovery)
    # Power lost just after the main firmware's first erase: the device comes
    # back in its bootloader by itself, and the next run recovers it.
    fail_then_retry | grep -v -- --replug >"$work/retry.sh"
    vm 0 --device ventaro --fault power-cut:660 --package "$package" -- bash "$work/retry.sh"
    output_has "Update succeeded: Ventaro"
    flash_is "$work/flash.bin" ventaro main
    ;;
  v1_bootloader)
    vm 0 --device v1-bootloader --kind ventaro -- "$cli" update --kind ventaro "$package"
    output_has "Update succeeded: Ventaro"
    flash_is factory ventaro main
    ;;
  hidraw_late_access | hidraw_no_access)
    # The bootloader's hidraw node is root's alone for a while after it
    # appears, and the updater runs as an ordinary user.
    ms=1500 status=0
    [[ $case_name == hidraw_no_access ]] && ms=2500 status=1
    user_run="cp $(printf '%q %q' "$cli" "$package") /tmp/ && exec setpriv --reuid=65534 --regid=65534 \
--clear-groups /tmp/ventaro-update-cli update --kind ventaro /tmp/sample.zalmirupdate"
    vm $status --device ventaro --fault refuse-open:$ms --package "$package" -- sh -c "$user_run"
    if [[ $status == 0 ]]; then
      output_has "Update succeeded: Ventaro"
      flash_is factory ventaro stage2 main
    else
      output_has "Unable to connect to HID device."
    fi
    ;;
  *)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "passed: $case_name"
