#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Prepares the test virtual machine in build/vm: Debian's own kernel, fetched
# with apt-get download and unpacked with dpkg -x, never installed, and a tiny
# initramfs of busybox-static, the kernel modules the tests need (uncompressed)
# and tests/kernel/init. Does nothing when both are up to date.
#
# The kernel is the one linux-image-amd64 depends on, or the package VM_KERNEL
# names (e.g. linux-image-6.12.41+deb13-amd64, or linux-image-amd64 of another
# release with VM_KERNEL_SUITE=trixie): a package the system's apt sources do
# not offer is fetched through a private apt configuration, from their mirror,
# that also lists this release's backports and the next release.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
vm="$(realpath -m "${VM_DIR:-$root/build/vm}")"
mkdir -p "$vm"
exec 9>"$vm/.lock"
flock 9

# USB gadget (gadgetfs for a USB-MIDI firmware, usb_f_midi for several at once,
# configfs and usb_f_hid for the bootloaders, usb_f_fs for more than four) and host sides, the sound and HID
# stacks, 9p for the host's files and overlay for a writable /tmp over the host's.
modules=(virtio_pci 9pnet_virtio 9p overlay dummy_hcd gadgetfs libcomposite usb_f_midi usb_f_hid usb_f_fs snd-usb-audio
         snd-seq snd-seq-midi snd-seq-midi-event usbhid hid-generic)

PATH="$PATH:/usr/sbin:/sbin"
for tool in depmod modprobe cpio dpkg apt-get xz zstd; do
  command -v "$tool" >/dev/null || { echo "vm-image: $tool is missing: run scripts/setup.sh" >&2; exit 1; }
done
busybox=/bin/busybox  # busybox-static's, which needs no library
[[ -x "$busybox" ]] || { echo "vm-image: $busybox is missing: run scripts/setup.sh" >&2; exit 1; }

# Scratch folders, removed however the script ends.
scratch=()
trap 'rm -rf "${scratch[@]}"' EXIT

apt_options=()
# The concrete package a kernel package name stands for (a metapackage's
# linux-image-X.Y dependency), through the apt configuration in apt_options.
concrete_package() {
  local name=$1
  if [[ $name =~ ^linux-image-[0-9] ]]; then
    apt-cache "${apt_options[@]}" show "$name" >/dev/null 2>&1 && echo "$name"
  else
    apt-cache "${apt_options[@]}" depends "$name" 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}'
  fi
}

# A private apt configuration with this system's mirror for its backports and
# the next release, for a kernel its own sources lack.
private_apt() {
  local dir
  dir=$(mktemp -d "$vm/apt.XXXXXX")
  scratch+=("$dir")
  # shellcheck source=scripts/debian-sources.sh
  source "$root/scripts/debian-sources.sh"
  local codename mirror
  codename=$(host_codename)
  mirror=$(debian_mirror "$codename" | head -n 1)
  [[ -n $mirror ]] || { echo "vm-image: the system's apt sources name no mirror" >&2; return 1; }
  mkdir -p "$dir/lists/partial" "$dir/archives/partial" "$dir/sources.list.d" "$dir/preferences.d"
  {
    echo "deb $mirror $codename-backports main"
    [[ -n ${VM_KERNEL_SUITE:-} ]] && echo "deb $mirror $VM_KERNEL_SUITE main"
    echo "deb $mirror trixie main"
  } | awk '!seen[$0]++' >"$dir/sources.list"
  touch "$dir/status"
  apt_options=(-o "Dir::Etc::SourceList=$dir/sources.list" -o "Dir::Etc::SourceParts=$dir/sources.list.d"
               -o "Dir::Etc::Preferences=$dir/preferences" -o "Dir::Etc::PreferencesParts=$dir/preferences.d"
               -o "Dir::State::Lists=$dir/lists" -o "Dir::State::Status=$dir/status"
               -o "Dir::Cache=$dir/cache" -o "APT::Sandbox::User=root")
  mkdir -p "$dir/cache"
  apt-get "${apt_options[@]}" update -qq
}

wanted=${VM_KERNEL:-linux-image-amd64}
package=""
if [[ -z ${VM_KERNEL_SUITE:-} ]]; then
  package=$(concrete_package "$wanted") || true
  if [[ -z "$package" && ! -f "$vm/vmlinuz" ]]; then
    # A machine whose package lists were never fetched.
    sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    $sudo apt-get update -qq || true
    package=$(concrete_package "$wanted") || true
  fi
fi
if [[ -z "$package" && -f "$vm/vmlinuz" && -z ${VM_KERNEL:-} ]]; then
  package=$(cat "$vm/kernel-package")
fi
if [[ -z "$package" && -f "$vm/vmlinuz" && "$(cat "$vm/kernel-request" 2>/dev/null)" == "$wanted ${VM_KERNEL_SUITE:-}" ]]; then
  package=$(cat "$vm/kernel-package")
fi
if [[ -z "$package" ]]; then
  private_apt || exit 1
  if [[ -n ${VM_KERNEL_SUITE:-} && ! $wanted =~ ^linux-image-[0-9] ]]; then
    package=$(apt-cache "${apt_options[@]}" depends "$wanted/$VM_KERNEL_SUITE" 2>/dev/null |
      awk '/Depends: linux-image-[0-9]/ {print $2; exit}') || true
  else
    package=$(concrete_package "$wanted") || true
  fi
fi
if [[ -z "$package" ]]; then
  echo "vm-image: no Debian package $wanted${VM_KERNEL_SUITE:+ in $VM_KERNEL_SUITE} (run apt-get update)" >&2
  exit 1
fi

if [[ ! -f "$vm/vmlinuz" || "$(cat "$vm/kernel-package" 2>/dev/null)" != "$package" ||
      "$(cat "$vm/module-list" 2>/dev/null)" != "${modules[*]}" ]]; then
  echo "vm-image: fetching $package"
  work=$(mktemp -d "$vm/kernel.XXXXXX")
  scratch+=("$work")
  # Quietly, and once more aloud should that fail, so that the log says why.
  (cd "$work" && { apt-get "${apt_options[@]}" download -q "$package" >/dev/null 2>&1 ||
                  apt-get "${apt_options[@]}" download "$package"; })
  dpkg -x "$work"/*.deb "$work/root"
  # Debian 13 keeps modules in /usr/lib/modules (merged /usr); depmod and
  # modprobe look in lib/modules under their base.
  [[ ! -d "$work/root/lib/modules" && -d "$work/root/usr/lib/modules" ]] && ln -s usr/lib "$work/root/lib"
  version=$(ls "$work/root/lib/modules/")
  depmod -b "$work/root" "$version"
  rm -rf "$vm/modules" && mkdir -p "$vm/modules"
  : >"$vm/modules/order"
  for m in "${modules[@]}"; do
    modprobe -d "$work/root" -S "$version" --show-depends "$m" | awk '$1 == "insmod" {print $2}'
  done | awk '!seen[$0]++' | while read -r ko; do
    # Compressed modules (Debian 13's .ko.xz) are unpacked: busybox's insmod
    # takes plain ones only.
    name=$(basename "$ko")
    case $name in
      *.ko.xz) xz -dc "$ko" >"$vm/modules/${name%.xz}" ;;
      *.ko.zst) zstd -qdc "$ko" >"$vm/modules/${name%.zst}" ;;
      *.ko.gz) gzip -dc "$ko" >"$vm/modules/${name%.gz}" ;;
      *) cp "$ko" "$vm/modules/" ;;
    esac
    echo "${name%.ko*}.ko" >>"$vm/modules/order"
  done
  cp "$work/root/boot/vmlinuz-$version" "$vm/vmlinuz.new"
  mv "$vm/vmlinuz.new" "$vm/vmlinuz"
  echo "$package" >"$vm/kernel-package"
  echo "$wanted ${VM_KERNEL_SUITE:-}" >"$vm/kernel-request"
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
