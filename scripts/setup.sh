#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs every Debian package the project needs; skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  clang libclang-rt-14-dev clang-format clang-tidy shellcheck
  libzip-dev libdeflate-dev zip libssl-dev nlohmann-json3-dev
  libhidapi-dev libsystemd-dev
  libasound2-dev
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
  libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  srecord hyperfine
  xvfb xauth weston qt6-wayland
  dbus-daemon dbus-bin python3-dbusmock
  at-spi2-core orca python3-pyatspi gir1.2-atspi-2.0 xdotool x11-utils
  minisign
  dpkg-dev lintian
  qemu-system-x86 busybox-static kmod cpio
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
