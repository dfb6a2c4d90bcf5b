#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian package as a user of a fresh system would (apt-get
# bringing what it depends on), runs both programs, and removes it again:
# nothing of it may be left. Run inside a bare root of the package's release:
#
#   scripts/debian-root.sh --fresh trixie bash scripts/package-install-check.sh DEB
set -euo pipefail
deb=$(realpath "${1:?usage: $0 DEB}")
# shellcheck disable=SC1091 # the system's own
release=$(. /etc/os-release && echo "$PRETTY_NAME")
export DEBIAN_FRONTEND=noninteractive

apt-get update -qq
echo "== installing $(basename "$deb") on $release"
apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
installed=$(dpkg-query -W -f='${Package} ${Version}' ventaro-update)
echo "installed: $installed"
mapfile -t files < <(dpkg -L ventaro-update | while read -r f; do [[ -f $f || -L $f ]] && echo "$f"; done)

echo "== ventaro-update-cli --version"
ventaro-update-cli --version

echo "== the application, on Xvfb, for a second"
apt-get install -y -qq --no-install-recommends xvfb xauth >/dev/null
status=0
HOME=$(mktemp -d) xvfb-run -a timeout 2 ventaro-update >/tmp/app.log 2>&1 || status=$?
if [[ $status != 124 ]]; then
  cat /tmp/app.log
  echo "package-install-check: the application ended with status $status within a second" >&2
  exit 1
fi
echo "still running after a second: ended by timeout"

echo "== removing it"
apt-get purge -y -qq ventaro-update >/dev/null
if dpkg-query -W ventaro-update >/dev/null 2>&1; then
  echo "package-install-check: dpkg still knows ventaro-update after its purge" >&2
  exit 1
fi
left=()
for f in "${files[@]}"; do [[ -e $f || -L $f ]] && left+=("$f"); done
for d in /etc/ventaro-update /usr/share/ventaro-update /usr/share/doc/ventaro-update; do [[ -e $d ]] && left+=("$d"); done
if ((${#left[@]})); then
  echo "package-install-check: left after the purge: ${left[*]}" >&2
  exit 1
fi
echo "package-install-check: ${#files[@]} files installed, ran, and removed cleanly on $release"
