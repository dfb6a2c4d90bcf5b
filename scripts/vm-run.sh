#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command on a real Linux kernel in a virtual machine, with a Ventaro or
# a Ruvo plugged in: the device model plays it on the kernel's USB gadget
# framework (dummy_hcd), so the command meets it through the kernel's own
# hidraw, USB-MIDI and ALSA sequencer drivers.
#
#   scripts/vm-run.sh [--device ventaro|ruvo|ruvo-unnamed|ventaro-bootloader|ruvo-bootloader|v1-bootloader
#                      [--fault FAULT]... [--kind ventaro|ruvo] [--flash-in FILE] [--flash-out FILE]
#                      [--device-log FILE]]... [--package PACKAGE] -- COMMAND [ARG]...
#
# Each --device plugs in one more device, on a USB bus of its own (dummy_hcd
# num=N; ports "1-1", "2-1", ...), with the options that follow it.
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
# The bootloaders are the kernel's usb_f_hid up to four devices, FunctionFS with
# more or with VM_HID=functionfs.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VM_BUILD_DIR:-$root/build}"
vm="$(realpath -m "${VM_DIR:-$root/build/vm}")"

fail() {
  echo "vm-run: $*" >&2
  exit 125
}

# Device n (from 0) is plugged into controller dummy_udc.n; the options after a
# --device are that device's, those before the first --device the first's.
devices=(ventaro)
gadget_args=("")  # per device, each a string of quoted words
flash_outs=("")
device_logs=("")
package=""
n=0
seen_device=0
while (($#)); do
  case "$1" in
    --device)
      if ((seen_device)); then
        n=$((n + 1))
        gadget_args[n]="" flash_outs[n]="" device_logs[n]=""
      fi
      seen_device=1
      devices[n]="${2:?--device needs a value}"; shift 2 ;;
    --fault) gadget_args[n]+=" --fault $(printf '%q' "${2:?--fault needs a value}")"; shift 2 ;;
    --kind) gadget_args[n]+=" --kind $(printf '%q' "${2:?--kind needs a value}")"; shift 2 ;;
    --package) package="$(realpath "${2:?--package needs a value}")" || exit 125; shift 2 ;;
    --flash-in)
      gadget_args[n]+=" --flash-in $(printf '%q' "$(realpath "${2:?--flash-in needs a value}")")" || exit 125
      shift 2 ;;
    --flash-out) flash_outs[n]="${2:?--flash-out needs a value}"; shift 2 ;;
    --device-log) device_logs[n]="${2:?--device-log needs a value}"; shift 2 ;;
    --) shift; break ;;
    *) fail "unknown option $1 (see the top of $0)" ;;
  esac
done
count=${#devices[@]}
(($#)) || fail "no command given (vm-run.sh [options] -- COMMAND [ARG]...)"
if [[ -z "$package" ]]; then
  for arg in "$@"; do
    if [[ "$arg" == *.zalmirupdate && -f "$arg" ]]; then
      package="$(realpath "$arg")"
      break
    fi
  done
fi
common_args=""
[[ -n "$package" ]] && common_args+=" --package $(printf '%q' "$package")"
# gadgetfs plays one device per machine: several devices are f_midi functions.
((count > 1)) && common_args+=" --midi-function"
# usb_f_hid has four minor numbers per machine: more bootloaders go through
# FunctionFS, which the host cannot tell from it (VM_HID=functionfs: always).
((count > 4)) || [[ ${VM_HID:-} == functionfs ]] && common_args+=" --hid-functionfs"
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
  echo "pids=()"
  echo "trap 'kill -TERM \"\${pids[@]}\" 2>/dev/null' TERM"
  # One device after the other: two f_midi functions binding at once can hit a
  # kernel BUG in f_midi_bind (seen on 6.12), which no user meets.
  for ((i = 0; i < count; i++)); do
    printf '%q --device %q --udc dummy_udc.%d%s%s --flash-out /run/vm/flash-%d.bin --ready /run/vm/ready-%d' \
      "$build/ventaro-gadget" "${devices[i]}" "$i" "${gadget_args[i]}" "$common_args" "$i" "$i"
    printf ' >/run/vm/gadget-%d.log 2>&1 &\npids+=($!)\n' "$i"
    # shellcheck disable=SC2016 # expanded in the virtual machine
    printf 'while [[ ! -e /run/vm/ready-%d ]] && kill -0 "${pids[%d]}" 2>/dev/null; do sleep 0.1; done\n' "$i" "$i"
  done
  cat <<'SCRIPT'
ready=1
for ((i = 0; i < ${#pids[@]}; i++)); do [[ -e /run/vm/ready-$i ]] || ready=0; done
((ready)) && touch /run/vm/ready
status=0
for pid in "${pids[@]}"; do
  while :; do
    wait "$pid"
    s=$?
    kill -0 "$pid" 2>/dev/null || break
  done
  ((s != 0)) && status=$s
done
exit $status
SCRIPT
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
  -kernel "$vm/vmlinuz" -initrd "$vm/initramfs.cpio.gz" -append "console=ttyS0 quiet panic=-1 vm.udcs=$count" \
  -fsdev local,id=host,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=host,mount_tag=host \
  -fsdev local,id=results,path="$results",security_model=none,multidevs=remap \
  -device virtio-9p-pci,fsdev=results,mount_tag=results >"$results/qemu.log" 2>&1
qemu_status=$?

[[ -f "$results/stdout" ]] && cat "$results/stdout"
[[ -f "$results/stderr" ]] && cat "$results/stderr" >&2
if [[ "${VM_VERBOSE:-}" == 1 || ! -f "$results/status" ]]; then
  for log in qemu.log console.log gadget.log gadget-{0..9}.log dmesg; do
    [[ -s "$results/$log" ]] && { echo "--- $log"; tail -n 60 "$results/$log"; } >&2
  done
fi
[[ -f "$results/status" ]] || fail "the virtual machine did not run the command (qemu status $qemu_status)"
for ((i = 0; i < count; i++)); do
  if [[ -n "${flash_outs[i]}" ]]; then
    cp "$results/flash-$i.bin" "${flash_outs[i]}" 2>/dev/null ||
      fail "device $i left no flash image ($(tail -n 3 "$results/gadget-$i.log" 2>/dev/null))"
  fi
  [[ -n "${device_logs[i]}" ]] && cp "$results/gadget-$i.log" "${device_logs[i]}" 2>/dev/null
done
if [[ "$(cat "$results/gadget-status" 2>/dev/null)" != 0 ]]; then
  echo "vm-run: a device failed: $(tail -q -n 3 "$results"/gadget-*.log)" >&2
fi
exit "$(cat "$results/status")"
