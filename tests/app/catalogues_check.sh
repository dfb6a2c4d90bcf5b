#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every text a user reads is in every catalogue, translated: lupdate, run on
# the sources as the build runs it, changes no catalogue, none has an
# unfinished translation, and each translation keeps its text's placeholders
# (%1, %2...), which the programs fill with what the user must be told.
# Usage: catalogues_check.sh LUPDATE SOURCES_LIST OPTIONS... -- CATALOGUE.ts...
set -euo pipefail

lupdate=$1
sources=$2
shift 2
options=()
while [[ $1 != -- ]]; do
  options+=("$1")
  shift
done
shift

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for catalogue in "$@"; do
  copy=$work/$(basename "$catalogue")
  cp "$catalogue" "$copy"
  "$lupdate" -silent "${options[@]}" "@$sources" -ts "$copy"
  if ! diff -u "$catalogue" "$copy"; then
    echo "$catalogue is behind the sources: build the target update_translations and translate what it adds" >&2
    status=1
  fi
  if grep -n 'type="unfinished"' "$catalogue"; then
    echo "$catalogue has texts without a translation" >&2
    status=1
  fi
  if ! python3 - "$catalogue" <<'EOF'
import re, sys, xml.etree.ElementTree as tree
lost = 0
for message in tree.parse(sys.argv[1]).iter("message"):
    source = message.findtext("source") or ""
    translation = message.findtext("translation") or ""
    if sorted(re.findall(r"%\d", source)) != sorted(re.findall(r"%\d", translation)):
        print(f"{sys.argv[1]}: the placeholders of {source!r} differ in {translation!r}", file=sys.stderr)
        lost += 1
sys.exit(1 if lost else 0)
EOF
  then
    status=1
  fi
done
exit $status
