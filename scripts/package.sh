#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from build/ (scripts/build.sh: the tree the tests
# ran on), checks it with lintian, and unpacks it into a scratch root to list
# what it installs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --tests
bash scripts/build.sh
rm -f build/ventaro-update_*.deb  # a package of an earlier version is not this one
(cd build && cpack -G DEB >/dev/null)
debs=(build/ventaro-update_*.deb)
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
