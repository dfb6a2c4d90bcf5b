#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command of this repository inside a root of another Debian release,
# as a user of that release would build and test the project.
#
#   scripts/debian-root.sh RELEASE COMMAND [ARG]...       e.g. trixie bash scripts/test.sh
#   scripts/debian-root.sh --fresh RELEASE COMMAND [ARG]...
#
# The root is made with mmdebstrap from the mirror this system's own apt
# sources name, then the project's scripts/setup.sh installs what it needs
# inside; both are kept as tarballs in the cache folder (ZAL_CACHE_DIR, by
# default ~/.cache/ventaro-update-ci), so that later runs only unpack them. The
# repository is seen inside at its own path, and its `build` folder is the
# release's own (.roots/RELEASE-build), so that the host's is untouched. ccache keeps its cache per release in the cache folder.
# --fresh: a bare root of the release (apt only, nothing of the project's), in a
# new scratch folder removed afterwards, for trying the Debian package as a user
# would install it. The command's exit status is the script's.
# shellcheck disable=SC2016 # the scripts given to bash -c expand their own arguments
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"

fresh=0
if [[ ${1:-} == --fresh ]]; then
  fresh=1
  shift
fi
release=${1:?usage: $0 [--fresh] RELEASE COMMAND [ARG]...}
shift
(($#)) || { echo "usage: $0 [--fresh] RELEASE COMMAND [ARG]..." >&2; exit 2; }
cache="${ZAL_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ventaro-update-ci}"
mkdir -p "$cache"

[[ $(id -u) == 0 ]] || { echo "debian-root: making and entering a root needs root (sudo $0 ...)" >&2; exit 1; }
if ! command -v mmdebstrap >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
fi

# shellcheck source=scripts/debian-sources.sh
source "$repo/scripts/debian-sources.sh"
host_release=$(host_codename)
archive=$(debian_mirror "$host_release" | head -n 1) || true
security=$(debian_mirror "$host_release-security" | head -n 1) || true
[[ -n $archive ]] || { echo "debian-root: the system's apt sources name no mirror for $host_release" >&2; exit 1; }

# The bare root, as a tarball: the release with its updates and security fixes.
base="$cache/$release-base.tar"
if [[ ! -f $base ]]; then
  echo "debian-root: making a $release root from $archive"
  sources=("deb $archive $release main" "deb $archive $release-updates main")
  [[ -n $security ]] && sources+=("deb $security $release-security main")
  mmdebstrap --quiet --format=tar --variant=apt --include=ca-certificates,sudo "$release" "$base.new" "${sources[@]}"
  mv "$base.new" "$base"
fi

# Mounts what a command needs into ROOT in this (private) mount namespace.
enter() {
  local root=$1
  shift
  cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
  # Packages installed in a root start no services of theirs.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d" && chmod 755 "$root/usr/sbin/policy-rc.d"
  mount --rbind /dev "$root/dev"
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
  mount -t tmpfs tmpfs "$root/run"
  mkdir -p "$root/$repo"
  mount --bind "$repo" "$root/$repo"
}

# Runs COMMAND in ROOT, from the repository's folder, with a plain environment.
run_in() {
  local root=$1
  shift
  chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" CI="${CI:-}" ZAL_ROOT_RELEASE="$release" \
    CCACHE_BASEDIR="$repo" CCACHE_NOHASHDIR=1 \
    /bin/bash -c 'cd "$0" && exec "$@"' "$repo" "$@"
}
export -f enter run_in
export repo release

if ((fresh)); then
  scratch=$(mktemp -d "$cache/$release-fresh.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
  tar -xf "$base" -C "$scratch"
  unshare --mount --propagation private bash -c 'enter "$0" && run_in "$0" "$@"' "$scratch" "$@"
  exit
fi

# The project's root: the bare root with what scripts/setup.sh installs, made
# again when setup.sh changes.
key=$(sha256sum "$repo/scripts/setup.sh" | cut -c1-12)
project="$cache/$release-project-$key.tar"
if [[ ! -f $project ]]; then
  echo "debian-root: installing the project's packages into the $release root"
  scratch=$(mktemp -d "$cache/$release-setup.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
  tar -xf "$base" -C "$scratch"
  unshare --mount --propagation private bash -c 'enter "$0" && run_in "$0" bash scripts/setup.sh --tests' "$scratch"
  rm -rf "${scratch:?}/var/cache/apt/archives/"*.deb "$scratch/var/lib/apt/lists/"*_Packages
  tar -cf "$project.new" -C "$scratch" .
  mv "$project.new" "$project"
  find "$cache" -maxdepth 1 -name "$release-project-*.tar" ! -name "${project##*/}" -delete
  rm -rf "$scratch"
  trap - EXIT
fi

# Unpacked once per clone (and again when the tarball is newer), in .roots/.
root="$repo/.roots/$release"
if [[ ! -f "$root/.unpacked" || "$project" -nt "$root/.unpacked" ]]; then
  rm -rf "$root"
  mkdir -p "$root"
  tar -xf "$project" -C "$root"
  touch "$root/.unpacked"
fi
mkdir -p "$repo/.roots/$release-build" "$cache/$release-ccache"
export CCACHE_HOST_DIR="$cache/$release-ccache"
unshare --mount --propagation private bash -c '
  root=$0
  enter "$root"
  mkdir -p "$repo/build" "$root/$repo/build"
  mount --bind "$repo/.roots/$release-build" "$root/$repo/build"
  mkdir -p "$root/root/.cache/ccache"
  mount --bind "$CCACHE_HOST_DIR" "$root/root/.cache/ccache"
  run_in "$root" "$@"' "$root" "$@"
