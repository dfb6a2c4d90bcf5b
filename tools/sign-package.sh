#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Signs an update package: writes manifest.sha256 (the SHA-256 of every other
# entry, as sha256sum writes it, sorted by name), signs it with minisign and
# puts both into the package, replacing an earlier signature.
#
#   tools/sign-package.sh SECRET_KEY PACKAGE [SIGNER]
#
# SIGNER, the name the updater shows ("Signed by SIGNER"), goes into the
# signature's trusted comment. A secret key with a password asks for it.
set -euo pipefail

[[ $# -ge 2 && $# -le 3 ]] || { echo "usage: $0 SECRET_KEY PACKAGE [SIGNER]" >&2; exit 2; }
key=$1 package=$2 signer=${3:-}
command -v minisign >/dev/null || { echo "$0: minisign is not installed (apt-get install minisign)" >&2; exit 1; }
[[ -f $package ]] || { echo "$0: $package: no such file" >&2; exit 1; }
[[ -z $signer || $signer != *[$'\t\n']* ]] || { echo "$0: the signer's name is one line without tabs" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$package" "$work/manifest.sha256" <<'PY'
import hashlib, sys, zipfile
package, manifest = sys.argv[1], sys.argv[2]
lines = {}
with zipfile.ZipFile(package) as archive:
    for info in archive.infolist():
        if info.filename in ("manifest.sha256", "manifest.sha256.minisig") or info.is_dir():
            continue
        if info.filename in lines or "\n" in info.filename or "\r" in info.filename:
            sys.exit(f"{package}: cannot list the entry {info.filename!r} (twice, or with a line end in its name)")
        lines[info.filename] = hashlib.sha256(archive.read(info)).hexdigest()
names = sorted(lines, key=lambda name: name.encode())
with open(manifest, "w", encoding="utf-8", newline="\n") as out:
    out.writelines(f"{lines[name]}  {name}\n" for name in names)
PY

comment="file:manifest.sha256"
[[ -z $signer ]] || comment="signer:$signer"$'\t'"$comment"
minisign -S -s "$key" -m "$work/manifest.sha256" -x "$work/manifest.sha256.minisig" -t "$comment" \
  -c "signature of the update package's manifest" >/dev/null

python3 - "$package" "$work" <<'PY'
import os, shutil, sys, zipfile
package, work = sys.argv[1], sys.argv[2]
signed = os.path.join(work, "signed.zip")
with zipfile.ZipFile(package) as old, zipfile.ZipFile(signed, "w", zipfile.ZIP_DEFLATED) as new:
    for info in old.infolist():
        if info.filename not in ("manifest.sha256", "manifest.sha256.minisig"):
            new.writestr(info, old.read(info))
    for name in ("manifest.sha256", "manifest.sha256.minisig"):
        new.write(os.path.join(work, name), name)
shutil.copyfile(signed, package)
PY
echo "Signed $package${signer:+ for $signer}."
