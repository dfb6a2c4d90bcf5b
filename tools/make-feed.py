#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Makes and signs a firmware feed from a folder of update packages.

    tools/make-feed.py --cli ventaro-update-cli --key FEED.key --public-key FEED.pub
                       [--trust PACKAGE_KEY.pub]... [--serial N] [--days 30]
                       [--lowest-safe KIND=VERSION]... FOLDER

Every *.zalmirupdate in FOLDER is read by the updater itself (`inspect`) and
must be signed by a trusted package key; FOLDER/feed.json lists them with
addresses relative to the feed, and FOLDER/feed.json.minisig signs it with the
feed key. The result is then checked as a user's computer checks it (`check`
against file://FOLDER/feed.json). Publish the folder as it is, over HTTPS.
"""
import argparse, datetime, hashlib, json, os, pathlib, subprocess, sys, tempfile, urllib.parse


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--cli", required=True)
    p.add_argument("--key", required=True, help="the feed's minisign secret key")
    p.add_argument("--public-key", required=True, help="the feed's minisign public key")
    p.add_argument("--trust", action="append", default=[], help="a package key beyond the computer's own")
    p.add_argument("--serial", type=int, default=int(datetime.datetime.now().timestamp()))
    p.add_argument("--days", type=int, default=30, help="how long the feed stays valid")
    p.add_argument("--lowest-safe", action="append", default=[], metavar="KIND=VERSION")
    p.add_argument("folder", type=pathlib.Path)
    a = p.parse_args()
    if a.days < 1:
        p.error("--days must be at least 1: a feed that has already expired is refused")
    trust = [arg for key in a.trust for arg in ("--trust", key)]
    packages = []
    for path in sorted(a.folder.glob("*.zalmirupdate")):
        read = subprocess.run([a.cli, "inspect", *trust, str(path)], capture_output=True, text=True)
        if read.returncode != 0:
            sys.exit(f"{path}: {read.stderr.strip()}")
        info = json.loads(read.stdout)
        if info["signature"]["status"] != "signed":
            sys.exit(f"{path}: not signed by a trusted package key ({info['signature']['status']})")
        data = path.read_bytes()
        for kind in ("ventaro", "ruvo"):
            if info[kind]:
                packages.append({"kind": kind, "version": info["version_string"],
                                 "released": info["release_date"],
                                 "url": urllib.parse.quote(path.name), "size": len(data), "sha256": hashlib.sha256(data).hexdigest(),
                                 "notes": {lang: next((l.strip("# ") for l in text.splitlines() if l.strip()), "")
                                           for lang, text in info["notes"].items() if text}})
    now = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
    stamp = lambda t: t.strftime("%Y-%m-%dT%H:%M:%SZ")
    feed = {"serial": a.serial, "issued": stamp(now), "expires": stamp(now + datetime.timedelta(days=a.days)),
            "lowest-safe": dict(item.split("=", 1) for item in a.lowest_safe), "packages": packages}
    target = a.folder / "feed.json"
    target.write_text(json.dumps(feed, indent=2, ensure_ascii=False) + "\n", encoding="utf-8")
    subprocess.run(["minisign", "-S", "-s", a.key, "-m", str(target), "-t", f"serial:{a.serial}"], check=True,
                   stdout=subprocess.DEVNULL)
    with tempfile.TemporaryDirectory() as state:  # a computer that never read a feed
        env = dict(os.environ, XDG_STATE_HOME=state, XDG_CACHE_HOME=state)
        check = subprocess.run([a.cli, "check", "--json", "--feed", target.resolve().as_uri(),
                                "--trust-feed", a.public_key], capture_output=True, text=True, env=env)
    if check.returncode not in (0, 100):
        # A feed the updater refuses is not left where it could be published.
        for made in (target, target.with_name(target.name + ".minisig")):
            made.unlink(missing_ok=True)
        sys.exit(f"the feed does not pass the updater's check: {check.stderr.strip()}")
    print(f"{target}: serial {a.serial}, {len(packages)} package(s), expires {feed['expires']}")


if __name__ == "__main__":
    main()
