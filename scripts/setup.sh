#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages that building and running the programs need, and
# with --tests those that the tests, the sanitizers and the packaging need too;
# skips what is already there. Works on Debian 12 (bookworm) and 13 (trixie),
# and says which release lacks a package when one is missing.
#
#   scripts/setup.sh [--tests]
set -euo pipefail

tests=0
case ${1:-} in
  --tests) tests=1 ;;
  "") ;;
  *) echo "usage: $0 [--tests]" >&2; exit 2 ;;
esac

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
# shellcheck disable=SC1091 # the system's own
release=$(. /etc/os-release && echo "${PRETTY_NAME:-$ID}")

# The version of Debian's default clang (14 on bookworm, 19 on trixie): its
# sanitizer runtimes are a package of that version.
clang_version() {
  apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n 1
  return 0
}
version=$(clang_version)
if [[ -z $version ]]; then
  # A machine whose package lists were never fetched.
  $sudo apt-get update -qq
  version=$(clang_version)
fi
[[ -n $version ]] || { echo "setup: $release offers no clang package" >&2; exit 1; }

packages=(
  build-essential cmake ninja-build ccache pkg-config
  libzip-dev libdeflate-dev libssl-dev nlohmann-json3-dev
  libhidapi-dev libsystemd-dev
  libasound2-dev libsqlite3-dev libcurl4-openssl-dev
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n qt6-wayland
  libgl-dev
  minisign
  xvfb xauth
)
if ((tests)); then
  packages+=(
    clang "libclang-rt-$version-dev" clang-format clang-tidy shellcheck
    zip srecord hyperfine stress-ng
    libgtest-dev libgmock-dev libbenchmark-dev
    weston
    dbus-daemon dbus-bin python3-dbusmock
    at-spi2-core orca python3-pyatspi gir1.2-atspi-2.0 xdotool x11-utils
    dpkg-dev lintian
    qemu-system-x86 busybox-static kmod cpio xz-utils zstd
  )
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  unavailable=()
  for p in "${missing[@]}"; do
    candidate=$(apt-cache policy "$p" 2>/dev/null | sed -n 's/^ *Candidate: //p')
    [[ -n $candidate && $candidate != "(none)" ]] || unavailable+=("$p")
  done
  if ((${#unavailable[@]})); then
    echo "setup: $release has no package ${unavailable[*]}; the project is built on Debian 12 and 13" >&2
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
