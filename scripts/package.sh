#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from a Release build, checks it with lintian, and
# unpacks it into a scratch root to list what it installs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
# The hardening Debian builds its own packages with.
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DZAL_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
  -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now" >/dev/null
cmake --build build-release
rm -f build-release/ventaro-update_*.deb  # a package of an earlier version is not this one
(cd build-release && cpack -G DEB >/dev/null)
debs=(build-release/ventaro-update_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "cpack made no single package: ${debs[*]}"; exit 1; }
deb=${debs[0]}
echo "== $deb"
dpkg-deb --field "$deb" Package Version Depends Recommends Section
echo "== lintian"
lintian --fail-on error --info "$deb" || { echo "lintian found errors"; exit 1; }
echo "== files"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
(cd "$root" && find . -type f -o -type l | sort)
