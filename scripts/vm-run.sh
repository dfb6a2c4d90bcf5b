#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command on a real Linux kernel in a virtual machine, with a Ventaro or
# a Ruvo plugged in: the device model plays it on the kernel's USB gadget
# framework (dummy_hcd), so the command meets it through the kernel's own
# hidraw, USB-MIDI and ALSA sequencer drivers.
#
#   scripts/vm-run.sh [--device ventaro|ruvo|ruvo-unnamed|ventaro-bootloader|ruvo-bootloader|v1-bootloader]
#                     [--fault FAULT]... [--kind ventaro|ruvo] [--package PACKAGE]
#                     [--flash-in FILE] [--flash-out FILE] [--device-log FILE] -- COMMAND [ARG]...
#
# The host's files are visible inside, read-only, at their own paths (/tmp is
# writable in memory), and COMMAND runs as root in the current directory; prefix
# it with "setpriv --reuid=nobody --regid=nogroup --clear-groups" to run it as
# an ordinary user. The device's flash starts from --flash-in (1 MiB from
# 0x08000000), else erased with a bootloader, and is written to --flash-out
# afterwards, and its own log to --device-log. The device knows the stage-2
# firmware of --package, by default of the first *.zalmirupdate among the
# arguments. "build/ventaro-gadget --replug" inside unplugs the device and plugs
# it in again (at once when a fault unplugged it).
#
# Prints COMMAND's standard output and error and exits with its status, or with
# 125 when the virtual machine itself could not run. VM_VERBOSE=1 also prints the
# device's log and the kernel's messages; VM_TIMEOUT (seconds, 600) bounds a run.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VM_BUILD_DIR:-$root/build}"
vm="${VM_DIR:-$root/build/vm}"

fail() {
  echo "vm-run: $*" >&2
  exit 125
}

device=ventaro
gadget_args=()
flash_out=""
device_log=""
package=""
while (($#)); do
  case "$1" in
    --device) device="${2:?--device needs a value}"; shift 2 ;;
    --fault) gadget_args+=(--fault "${2:?--fault needs a value}"); shift 2 ;;
    --kind) gadget_args+=(--kind "${2:?--kind needs a value}"); shift 2 ;;
    --package) package="$(realpath "${2:?--package needs a value}")" || exit 125; shift 2 ;;
    --flash-in) gadget_args+=(--flash-in "$(realpath "${2:?--flash-in needs a value}")") || exit 125; shift 2 ;;
    --flash-out) flash_out="${2:?--flash-out needs a value}"; shift 2 ;;
    --device-log) device_log="${2:?--device-log needs a value}"; shift 2 ;;
    --) shift; break ;;
    *) fail "unknown option $1 (see the top of $0)" ;;
  esac
done
(($#)) || fail "no command given (vm-run.sh [options] -- COMMAND [ARG]...)"
if [[ -z "$package" ]]; then
  for arg in "$@"; do
    if [[ "$arg" == *.zalmirupdate && -f "$arg" ]]; then
      package="$(realpath "$arg")"
      break
    fi
  done
fi
[[ -n "$package" ]] && gadget_args+=(--package "$package")
[[ -x "$build/ventaro-gadget" ]] || fail "$build/ventaro-gadget is missing: build the project first"
command -v qemu-system-x86_64 >/dev/null || fail "qemu-system-x86_64 is missing: run scripts/setup.sh"
bash "$root/scripts/vm-image.sh" >&2 || fail "cannot prepare the virtual machine"

results=$(mktemp -d "${TMPDIR:-/tmp}/vm-run.XXXXXX") || fail "no temporary folder"
trap 'rm -rf "$results"' EXIT
{
  echo "export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp TERM=dumb"
  for name in LANG LANGUAGE LC_ALL LC_MESSAGES; do
    [[ -n "${!name:-}" ]] && printf 'export %s=%q\n' "$name" "${!name}"
  done
} >"$results/environment"
{
  echo ". /run/vm/environment"
  printf 'exec %q --device %q' "$build/ventaro-gadget" "$device"
  printf ' %q' "${gadget_args[@]}" --flash-out /run/vm/flash.bin --ready /run/vm/ready
  echo
} >"$results/gadget.sh"
{
  echo ". /run/vm/environment"
  printf 'cd %q || exit 125\n' "$PWD"
  printf 'exec'
  printf ' %q' "$@"
  echo
} >"$results/command.sh"

# Software emulation: this machine's KVM may not boot a stock kernel. KVM is
# used only once a probe boot under it has come up (remembered in build/vm).
accel=tcg
if [[ -w /dev/kvm ]]; then
  if [[ ! -f "$vm/kvm-probe" ]]; then
    if timeout -k 2 8 qemu-system-x86_64 -accel kvm -m 512 -nodefaults -no-reboot -display none \
        -kernel "$vm/vmlinuz" -initrd "$vm/initramfs.cpio.gz" -serial stdio \
        -append "console=ttyS0 quiet panic=-1 vm.probe" 2>/dev/null | grep -q 'vm: up'; then
      echo kvm >"$vm/kvm-probe"
    else
      echo tcg >"$vm/kvm-probe"
    fi
  fi
  accel=$(cat "$vm/kvm-probe")
fi

timeout -k 5 "${VM_TIMEOUT:-600}" qemu-system-x86_64 -accel "$accel" -m 1536 -smp 2 -nodefaults -no-reboot \
  -display none -serial "file:$results/console.log" \
  -kernel "$vm/vmlinuz" -initrd "$vm/initramfs.cpio.gz" -append "console=ttyS0 quiet panic=-1" \
  -fsdev local,id=host,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=host,mount_tag=host \
  -fsdev local,id=results,path="$results",security_model=none,multidevs=remap \
  -device virtio-9p-pci,fsdev=results,mount_tag=results >"$results/qemu.log" 2>&1
qemu_status=$?

[[ -f "$results/stdout" ]] && cat "$results/stdout"
[[ -f "$results/stderr" ]] && cat "$results/stderr" >&2
if [[ "${VM_VERBOSE:-}" == 1 || ! -f "$results/status" ]]; then
  for log in qemu.log console.log gadget.log dmesg; do
    [[ -s "$results/$log" ]] && { echo "--- $log"; tail -n 60 "$results/$log"; } >&2
  done
fi
[[ -f "$results/status" ]] || fail "the virtual machine did not run the command (qemu status $qemu_status)"
if [[ -n "$flash_out" ]]; then
  cp "$results/flash.bin" "$flash_out" 2>/dev/null || fail "the device left no flash image ($(cat "$results/gadget.log" 2>/dev/null | tail -n 3))"
fi
[[ -n "$device_log" ]] && cp "$results/gadget.log" "$device_log" 2>/dev/null
if [[ "$(cat "$results/gadget-status" 2>/dev/null)" != 0 ]]; then
  echo "vm-run: the device failed: $(tail -n 3 "$results/gadget.log")" >&2
fi
exit "$(cat "$results/status")"
