#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What the package tells desktops, software centres and man, as their own
# checkers read it: the desktop entry without a hint (one main category, so
# that menus show the application once), the AppStream metadata without a
# warning, and every manual page, English and French, without a warning.
# Usage: packaging_check.sh PACKAGING_FOLDER
set -euo pipefail
packaging=$1
status=0
said=$(desktop-file-validate "$packaging/ventaro-update.desktop" 2>&1) || status=1
[[ -z $said ]] || { echo "$said"; status=1; }
appstreamcli validate --pedantic --no-net "$packaging"/*.metainfo.xml || status=1
for page in "$packaging"/man/*.1 "$packaging"/man/fr/*.1; do
  said=$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || status=1
  [[ -z $said ]] || { echo "$page: $said"; status=1; }
done
exit $status
