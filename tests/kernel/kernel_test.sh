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
helper="$build/tests/flash-helper"
package="$build/sample.zalmirupdate"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out="$work/output"

# A failed case keeps its run's output, the devices' logs and flashes in
# BUILD_DIR/kernel-logs/CASE, as a user's bug report would have them.
fail() {
  echo "FAILED: $*"
  echo "--- output of the run"
  cat "$out"
  for log in "$work"/device*.log; do
    [[ -s $log ]] && { echo "--- $(basename "$log")"; tail -n 40 "$log"; }
  done
  local kept="$build/kernel-logs/$case_name"
  rm -rf "$kept" && mkdir -p "$kept" && cp -r "$work"/. "$kept"/ && echo "--- kept in $kept"
  exit 1
}

# Runs COMMAND in the virtual machine; its output goes to $out, and the exit
# status must be `expected`.
vm() {
  local expected=$1
  shift
  "$root/scripts/vm-run.sh" --flash-out "$work/flash.bin" --device-log "$work/device.log" "$@" >"$out" 2>&1
  local status=$?
  [[ $status == "$expected" ]] || fail "exit status $status, not $expected"
}

# The flash of device FLASH must be what installing these images from BEFORE
# (a file or "factory") gives; no image: the flash is untouched.
flash_of_is() {
  local flash=$1 before=$2 kind=$3
  shift 3
  "$helper" expected "$work/expected.bin" "$before" "$package" "$kind" "$@" || fail "no expected flash"
  cmp -s "$flash" "$work/expected.bin" ||
    fail "the flash of $(basename "$flash") differs from the expected one: $(cmp "$flash" "$work/expected.bin" | head -n 1)"
}

# The same for the first device.
flash_is() {
  flash_of_is "$work/flash.bin" "$@"
}

output_has() {
  grep -qF -- "$1" "$out" || fail "the output lacks \"$1\""
}

output_lacks() {
  ! grep -qF -- "$1" "$out" || fail "the output has \"$1\""
}

# Only the device's first MIDI port, its main jack, may have received bytes.
only_main_port_written() {
  grep -qE '^ventaro-gadget: MIDI bytes received by port: [1-9][0-9]*$' "$work/device.log" ||
    fail "bytes reached another port than the main one: $(grep 'MIDI bytes' "$work/device.log")"
}

# HID roundtrips of an image of the package: fault points follow the package.
roundtrips() {
  "$helper" roundtrips "$package" "$@" || fail "no roundtrip count for $*"
}

# A Ruvo updated from its normal firmware, which sends nothing to any port but
# the main one.
ruvo_update() {
  vm 0 "$@" -- "$cli" update --kind ruvo "$package"
  output_has "Update succeeded: Ruvo"
  flash_is factory ruvo main
  only_main_port_written
}

# A factory flash whose reset vector is erased, as a failed update leaves it:
# its bootloader has nothing to start, so it waits for the host however long a
# loaded machine takes to look (else it starts the application after 5 s).
stranded_flash() {
  "$helper" expected "$work/stranded.bin" factory "$package" ventaro || fail "no factory flash"
  printf '\377\377\377\377\377\377\377\377' | dd of="$work/stranded.bin" conv=notrunc status=none
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
    stranded_flash
    vm 0 --device ruvo-bootloader --flash-in "$work/stranded.bin" -- "$cli" update --kind ruvo "$package"
    output_has "Update succeeded: Ruvo"
    flash_is "$work/stranded.bin" ruvo main
    ;;
  two_updates)
    vm 0 --device ventaro -- "$build/tests/two-updates" "$package"
    output_has "run 2: success"
    flash_is factory ventaro stage2 main stage2 main
    ;;
  hid_listing_while_replugging)
    # A bootloader plugged in and out again and again while it is being listed,
    # as the engine lists them while a device reboots: hidapi's own listing
    # (before 0.15) dies of a device that leaves halfway through.
    # shellcheck disable=SC2016 # the lines written are expanded in the virtual machine
    {
      printf '%q 30 & first=$!\n' "$build/tests/hid-enumerate"
      printf '%q 30 & second=$!\n' "$build/tests/hid-enumerate"
      printf 'while kill -0 $first 2>/dev/null; do %q --replug; sleep 0.3; done\n' "$build/ventaro-gadget"
      printf 'wait $first && wait $second\n'
    } >"$work/replug.sh"
    vm 0 --device ventaro-bootloader -- bash "$work/replug.sh"
    changes=$(sed -n 's/^hid-enumerate: [0-9]* listings, \([0-9]*\) changes$/\1/p' "$out" | sort -n | head -n 1)
    ((${changes:-0} >= 10)) || fail "a listing saw the device come and go ${changes:-0} times, not 10"
    ;;
  unplug_then_retry)
    # Unplugged halfway through the main firmware (after the stage-2 image's
    # roundtrips), then a second run from whatever the device starts.
    at=$(($(roundtrips ventaro stage2) + $(roundtrips ventaro main) / 2))
    fail_then_retry >"$work/retry.sh"
    vm 0 --device ventaro --fault unplug-at-roundtrip:$at --package "$package" -- bash "$work/retry.sh"
    output_has "Update succeeded: Ventaro"
    output_lacks "HID: Success"  # hidapi's word for no error is no cause
    flash_is "$work/flash.bin" ventaro main
    ;;
  power_cut_then_recovery)
    # Power lost early in the main firmware, after its first erase: the device
    # comes back in its bootloader by itself, and the next run recovers it.
    at=$(($(roundtrips ventaro stage2) + 7))
    fail_then_retry | grep -v -- --replug >"$work/retry.sh"
    vm 0 --device ventaro --fault power-cut:$at --package "$package" -- bash "$work/retry.sh"
    output_has "Update succeeded: Ventaro"
    output_lacks "HID: Success"
    flash_is "$work/flash.bin" ventaro main
    ;;
  v1_bootloader)
    stranded_flash
    vm 0 --device v1-bootloader --kind ventaro --flash-in "$work/stranded.bin" -- \
      "$cli" update --kind ventaro "$package"
    output_has "Update succeeded: Ventaro"
    flash_is "$work/stranded.bin" ventaro main
    ;;
  hidraw_late_access | hidraw_no_access)
    # The bootloader's hidraw node is root's alone after it appears, for 0.3 s
    # (well inside the engine's 2 s of retries, however loaded the machine) or
    # for the whole run, and the updater runs as an ordinary user.
    ms=300 status=0
    [[ $case_name == hidraw_no_access ]] && ms=3600000 status=1
    user_run="cp $(printf '%q %q' "$cli" "$package") /tmp/ && exec setpriv --reuid=65534 --regid=65534 \
--clear-groups /tmp/ventaro-update-cli update --verbose --kind ventaro /tmp/sample.zalmirupdate"
    vm $status --device ventaro --fault refuse-open:$ms --package "$package" -- sh -c "$user_run"
    if [[ $status == 0 ]]; then
      output_has "Update succeeded: Ventaro"
      flash_is factory ventaro stage2 main
    else
      output_has "Unable to connect to HID device."
      output_has "This computer does not let the updater use your device."
    fi
    ;;
  ruvo_named_jacks)
    # Jacks with strings: ports "Ventaro Ruvo Ventaro", "... MIDI DIN", "... USB-MIDI Host".
    ruvo_update --device ruvo
    ;;
  ruvo_unnamed_jacks)
    # Jacks without strings: ports "Ventaro Ruvo MIDI 1" to "MIDI 3".
    ruvo_update --device ruvo-unnamed
    ;;
  ruvo_older_application | ruvo_older_application_started)
    # A Ruvo whose flash holds an earlier application, plugged in its
    # bootloader: the engine finds the bootloader itself, or, 6 s later, the
    # application the bootloader started after its wait.
    "$helper" older-application "$work/older.bin" 18 || fail "no older flash"
    wait=0
    [[ $case_name == ruvo_older_application_started ]] && wait=6
    vm 0 --device ruvo-bootloader --flash-in "$work/older.bin" --package "$package" -- \
      sh -c "sleep $wait && exec $(printf '%q update --kind ruvo %q' "$cli" "$package")"
    output_has "Update succeeded: Ruvo"
    flash_is "$work/older.bin" ruvo main
    ;;
  refuse_send)
    # A device that does not read its MIDI OUT endpoint. Linux takes the sends
    # until the port's 4 KiB output buffer is full, minutes of requests: the
    # user cancels (Ctrl-C) once three requests went unanswered, however slow
    # the machine, plugs the device in again, and the next run finishes the job.
    # shellcheck disable=SC2016 # the lines written are expanded in the virtual machine
    {
      printf '%q update --verbose --kind ventaro %q >/tmp/first.out 2>&1 &\n' "$cli" "$package"
      printf 'first=$!\n'
      printf 'for i in $(seq 1200); do [ "$(grep -c "Sent bootloader request." /tmp/first.out)" -ge 3 ] && break; sleep 0.1; done\n'
      printf 'kill -INT $first; wait $first; status=$?\n'
      printf 'cat /tmp/first.out\n'
      printf '[ $status = 130 ] || exit 9\n'
      printf '%q --replug 2>/dev/null; sleep 1\n' "$build/ventaro-gadget"
      printf 'exec %q update --kind ventaro %q\n' "$cli" "$package"
    } >"$work/retry.sh"
    vm 0 --device ventaro --fault refuse-send --package "$package" -- bash "$work/retry.sh"
    output_has "Update cancelled."
    output_has "Update succeeded: Ventaro"
    flash_is factory ventaro stage2 main
    ;;
  several_ruvo_and_v1_bootloader)
    # A Ruvo running, and a Ventaro left in its first-generation bootloader by an
    # earlier failed update (its flash erased, so it stays there): updating the
    # Ruvo writes nothing to the bootloader, which may be the other product.
    head -c 1048576 /dev/zero | tr '\0' '\377' >"$work/erased.bin"
    vm 0 --device ruvo --device v1-bootloader --flash-in "$work/erased.bin" --flash-out "$work/flash-1.bin" \
      --package "$package" -- sh -c "$(printf '%q list && %q update --verbose --kind ruvo %q' "$cli" "$cli" "$package")"
    output_has "ruvo     running    1-1"
    output_has "unknown  bootloader 2-1"
    output_has "A first-generation bootloader is connected too; it may be another device and is left alone."
    output_has "Found the rebooted device as HID on USB port 1-1."
    output_has "Update succeeded: Ruvo"
    flash_is factory ruvo main
    cmp -s -n $((0xE0000)) "$work/flash-1.bin" "$work/erased.bin" || fail "the bootloader's flash was written"
    ;;
  several_ventaro_then_ruvo)
    # The application's flow: the Ventaro, then its counterpart.
    vm 0 --device ventaro --device ruvo --flash-out "$work/flash-1.bin" --package "$package" -- \
      sh -c "$(printf '%q update --kind ventaro %q && %q update --kind ruvo %q' "$cli" "$package" "$cli" "$package")"
    output_has "Update succeeded: Ventaro"
    output_has "Update succeeded: Ruvo"
    flash_is factory ventaro stage2 main
    flash_of_is "$work/flash-1.bin" factory ruvo stage2 main
    ;;
  several_ventaros_port)
    # Two Ventaros: --port chooses the second; the first stays untouched.
    vm 0 --device ventaro --device ventaro --flash-out "$work/flash-1.bin" --package "$package" -- \
      sh -c "$(printf '%q list --json && %q update --verbose --kind ventaro --port 2-1 %q' "$cli" "$cli" "$package")"
    output_has '{"devices":[{"kind":"ventaro","state":"running","port":"1-1"},{"kind":"ventaro","state":"running","port":"2-1"}]}'
    output_has "The device is on USB port 2-1."
    output_has "Found the rebooted device as HID on USB port 2-1."
    output_has "Update succeeded: Ventaro"
    flash_is factory ventaro
    flash_of_is "$work/flash-1.bin" factory ventaro stage2 main
    ;;
  several_ventaros)
    # Without --port, exactly one of them is updated.
    vm 0 --device ventaro --device ventaro --flash-out "$work/flash-1.bin" --package "$package" -- \
      "$cli" update --kind ventaro "$package"
    output_has "Update succeeded: Ventaro"
    "$helper" expected "$work/factory.bin" factory "$package" ventaro || fail "no factory flash"
    updated=0
    for flash in "$work/flash.bin" "$work/flash-1.bin"; do
      cmp -s "$flash" "$work/factory.bin" || { flash_of_is "$flash" factory ventaro stage2 main; updated=$((updated + 1)); }
    done
    [[ $updated == 1 ]] || fail "$updated devices were updated, not one"
    ;;
  several_all_at_once)
    # update --all: a Ventaro, a Ruvo and a second Ventaro updated at the same
    # time, each followed by its port through its reboots.
    vm 0 --device ventaro --device ruvo --flash-out "$work/flash-1.bin" --device-log "$work/device-1.log" \
      --device ventaro --flash-out "$work/flash-2.bin" --device-log "$work/device-2.log" --package "$package" -- \
      "$cli" update --verbose --all "$package"
    output_has "1-1: Update succeeded: Ventaro"
    output_has "2-1: Update succeeded: Ruvo"
    output_has "3-1: Update succeeded: Ventaro"
    output_has "[2-1 Ruvo] Found the rebooted device as HID on USB port 2-1."
    output_lacks "Waiting for the previous programming to stop."
    flash_is factory ventaro stage2 main
    flash_of_is "$work/flash-1.bin" factory ruvo stage2 main
    flash_of_is "$work/flash-2.bin" factory ventaro stage2 main
    ;;
  hid_functionfs_same_device)
    # A bootloader through usb_f_hid, then through FunctionFS: the host reads
    # the same descriptors, interface string, report descriptor and endpoints.
    stranded_flash
    cat >"$work/host-view.sh" <<'VIEW'
usb=/sys/bus/usb/devices/1-1
cat "$usb/speed" "$usb/1-1:1.0/interface" "$usb"/1-1:1.0/ep_*/interval /sys/bus/hid/devices/*/uevent
od -An -tx1 "$usb/descriptors" /sys/bus/hid/devices/*/report_descriptor
VIEW
    vm 0 --device ventaro-bootloader --flash-in "$work/stranded.bin" -- bash "$work/host-view.sh"
    output_has "HID Interface"
    cp "$out" "$work/usb_f_hid.txt"
    VM_HID=functionfs vm 0 --device ventaro-bootloader --flash-in "$work/stranded.bin" -- bash "$work/host-view.sh"
    cmp -s "$work/usb_f_hid.txt" "$out" ||
      fail "the host tells FunctionFS from usb_f_hid: $(diff "$work/usb_f_hid.txt" "$out" | head -n 6)"
    ;;
  several_six_at_once)
    # update --all with three Ventaros and three Ruvos: more bootloaders at once
    # than usb_f_hid has minor numbers, so all six go through FunctionFS.
    kinds=(ventaro ruvo ventaro ruvo ventaro ruvo)
    flashes=("$work/flash.bin")
    more=()
    for i in 1 2 3 4 5; do
      flashes+=("$work/flash-$i.bin")
      more+=(--device "${kinds[i]}" --flash-out "${flashes[i]}" --device-log "$work/device-$i.log")
    done
    vm 0 --device ventaro "${more[@]}" --package "$package" -- "$cli" update --all "$package"
    output_lacks "Waiting for the previous programming to stop."
    for i in 0 1 2 3 4 5; do
      output_has "$((i + 1))-1: Update succeeded: ${kinds[i]^}"
      flash_of_is "${flashes[i]}" factory "${kinds[i]}" stage2 main
    done
    ;;
  app_ventaro_and_ruvo)
    # The application itself (offscreen), a Ventaro and a Ruvo plugged in: one
    # run, then the counterpart it offers.
    vm 0 --device ventaro --device ruvo --flash-out "$work/flash-1.bin" --package "$package" -- \
      env QT_QPA_PLATFORM=offscreen QTEST_FUNCTION_TIMEOUT=540000 ZAL_PACKAGE="$package" "$build/tests/app-on-kernel"
    output_has "app: first run succeeded"
    output_has "app: second run succeeded"
    flash_is factory ventaro stage2 main
    flash_of_is "$work/flash-1.bin" factory ruvo stage2 main
    ;;
  *)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "passed: $case_name"
