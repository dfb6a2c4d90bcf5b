#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Prepares the test virtual machine in build/vm: Debian's own kernel (from the
# package linux-image-amd64 depends on, fetched with apt-get download and
# unpacked with dpkg -x, never installed) and a tiny initramfs of busybox-static,
# the kernel modules the tests need and tests/kernel/init. Does nothing when
# both are up to date.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
vm="${VM_DIR:-$root/build/vm}"
mkdir -p "$vm"
exec 9>"$vm/.lock"
flock 9

# USB gadget (gadgetfs for a USB-MIDI firmware, usb_f_midi for several at once,
# configfs and usb_f_hid for the bootloaders) and host sides, the sound and HID stacks, 9p for the host's
# files and overlay for a writable /tmp over the host's.
modules=(virtio_pci 9pnet_virtio 9p overlay dummy_hcd gadgetfs libcomposite usb_f_midi usb_f_hid snd-usb-audio
         snd-seq snd-seq-midi snd-seq-midi-event usbhid hid-generic)

PATH="$PATH:/usr/sbin:/sbin"
for tool in depmod modprobe cpio dpkg apt-get; do
  command -v "$tool" >/dev/null || { echo "vm-image: $tool is missing: run scripts/setup.sh" >&2; exit 1; }
done
busybox=/bin/busybox  # busybox-static's, which needs no library
[[ -x "$busybox" ]] || { echo "vm-image: $busybox is missing: run scripts/setup.sh" >&2; exit 1; }

kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'
}
package=$(kernel_package)
if [[ -z "$package" && ! -f "$vm/vmlinuz" ]]; then
  # A machine whose package lists were never fetched.
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  $sudo apt-get update -qq || true
  package=$(kernel_package)
fi
[[ -z "$package" && -f "$vm/vmlinuz" ]] && package=$(cat "$vm/kernel-package")
if [[ -z "$package" ]]; then
  echo "vm-image: apt-cache knows no linux-image-amd64 (run apt-get update)" >&2
  exit 1
fi

# Scratch folders, removed however the script ends.
scratch=()
trap 'rm -rf "${scratch[@]}"' EXIT

if [[ ! -f "$vm/vmlinuz" || "$(cat "$vm/kernel-package" 2>/dev/null)" != "$package" ||
      "$(cat "$vm/module-list" 2>/dev/null)" != "${modules[*]}" ]]; then
  echo "vm-image: fetching $package"
  work=$(mktemp -d "$vm/kernel.XXXXXX")
  scratch+=("$work")
  # Quietly, and once more aloud should that fail, so that the log says why.
  (cd "$work" && { apt-get download -q "$package" >/dev/null 2>&1 || apt-get download "$package"; })
  dpkg -x "$work"/*.deb "$work/root"
  version=$(ls "$work/root/lib/modules")
  depmod -b "$work/root" "$version"
  rm -rf "$vm/modules" && mkdir -p "$vm/modules"
  : >"$vm/modules/order"
  for m in "${modules[@]}"; do
    modprobe -d "$work/root" -S "$version" --show-depends "$m" | awk '$1 == "insmod" {print $2}'
  done | awk '!seen[$0]++' | while read -r ko; do
    cp "$ko" "$vm/modules/"
    basename "$ko" >>"$vm/modules/order"
  done
  cp "$work/root/boot/vmlinuz-$version" "$vm/vmlinuz.new"
  mv "$vm/vmlinuz.new" "$vm/vmlinuz"
  echo "$package" >"$vm/kernel-package"
  echo "${modules[*]}" >"$vm/module-list"
  rm -f "$vm/initramfs.cpio.gz"
fi

if [[ ! -f "$vm/initramfs.cpio.gz" || "$root/tests/kernel/init" -nt "$vm/initramfs.cpio.gz" ]]; then
  tree=$(mktemp -d "$vm/initramfs.XXXXXX")
  scratch+=("$tree")
  mkdir -p "$tree"/{bin,dev,proc,sys,host,results,lib/modules}
  cp "$busybox" "$tree/bin/busybox"
  cp "$vm/modules/"*.ko "$vm/modules/order" "$tree/lib/modules/"
  install -m 755 "$root/tests/kernel/init" "$tree/init"
  (cd "$tree" && find . | cpio -o -H newc --quiet | gzip -1) >"$vm/initramfs.cpio.gz.new"
  mv "$vm/initramfs.cpio.gz.new" "$vm/initramfs.cpio.gz"
  rm -rf "$tree"
  echo "vm-image: $(wc -l <"$vm/modules/order") modules, $(du -k "$vm/initramfs.cpio.gz" | cut -f1) KB initramfs"
fi
