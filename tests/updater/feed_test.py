#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The firmware feed against a loopback HTTPS server that misbehaves on request.

    feed_test.py BUILD_DIR [CASE]...     (no case: every case but "stalled")
    feed_test.py BUILD_DIR bench         (bench/feed_unchanged.sh)

Certificates come from a throwaway CA made here with openssl; the servers
listen on 127.0.0.1 only and the whole run is stopped after five minutes.
"""
import contextlib, hashlib, http.server, json, os, pathlib, shutil, socket, socketserver, ssl, subprocess, sys, tempfile
import threading, time, zipfile

BUILD = pathlib.Path(sys.argv[1]).resolve()
SOURCE = pathlib.Path(__file__).resolve().parents[2]
CLI = str(BUILD / "ventaro-update-cli")
PACKAGE_KEY = str(SOURCE / "keys/test/ventaro-test.pub")
work = pathlib.Path(tempfile.mkdtemp(prefix="feed-test-"))
threading.Timer(300, lambda: os._exit(3)).start()  # never outlives a stuck transfer
served = {}  # path -> bytes
behaviour = {"mode": None, "requests": []}


def run(*command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, cwd=work, **kwargs)


def certificate(name, ca, address="127.0.0.1"):
    run("openssl", "req", "-x509" if ca == name else "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
        "-nodes", "-keyout", f"{name}.key", "-out", f"{name}.{'pem' if ca == name else 'csr'}", "-days", "1",
        "-subj", f"/CN={name}")
    if ca != name:
        (work / "san").write_text(f"subjectAltName=IP:{address}\n")
        run("openssl", "x509", "-req", "-in", f"{name}.csr", "-CA", f"{ca}.pem", "-CAkey", f"{ca}.key",
            "-CAcreateserial", "-out", f"{name}.pem", "-days", "1", "-extfile", "san")


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        behaviour["requests"].append(self.path)
        mode, body = behaviour["mode"], served.get(self.path.lstrip("/"))
        if mode == "redirect-http":
            return self.answer(302, b"", {"Location": "http://127.0.0.1:1/feed.json"})
        if body is None:
            return self.answer(404, b"")
        etag = '"%s"' % hashlib.sha256(body).hexdigest()[:16]
        if self.headers.get("If-None-Match") == etag:
            return self.answer(304, b"", {"ETag": etag})
        if mode == "huge" and self.path.endswith(".json"):
            self.send_response(200)
            self.end_headers()  # no length: the client must count
            for _ in range(160):
                self.wfile.write(b" " * 65536)
            return
        if mode == "stalled" or (mode == "cut" and not self.path.endswith(".minisig")):
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            for byte in body[: 45 if mode == "stalled" else len(body) // 2]:
                self.wfile.write(bytes([byte]))
                self.wfile.flush()
                time.sleep(1 if mode == "stalled" else 0)
            self.close_connection = True
            return
        self.answer(200, body, {"ETag": etag})

    def answer(self, status, body, headers={}):
        self.send_response(status)
        for name, value in {"Content-Length": str(len(body)), **headers}.items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)


def https_server(cert):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(work / f"{cert}.pem", work / f"{cert}.key")
    # The handshake on the handler's thread: a client that never finishes one must not block accepting.
    server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    server.handle_error = lambda *args: None  # clients hanging up on a misbehaving server
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return f"https://127.0.0.1:{server.server_address[1]}/feed.json"


class Proxy(socketserver.ThreadingTCPServer):
    daemon_threads, tunnels = True, []


def pipe(source, sink):
    with contextlib.suppress(OSError):  # either side hanging up ends the tunnel
        while data := source.recv(65536):
            sink.sendall(data)
        sink.shutdown(socket.SHUT_WR)


class ProxyHandler(socketserver.StreamRequestHandler):
    def handle(self):
        target = self.rfile.readline().split()[1].decode()
        while self.rfile.readline() not in (b"\r\n", b""):
            pass
        Proxy.tunnels.append(target)
        host, port = target.rsplit(":", 1)
        upstream = socket.create_connection((host, int(port)))
        self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
        threading.Thread(target=pipe, args=(upstream, self.connection), daemon=True).start()
        pipe(self.connection, upstream)


def publish(serial=10, change=None, key="feed"):
    """The sample package in a feed, as the maker's tool makes it, then changed and signed again."""
    folder = work / "published"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir()
    shutil.copy(BUILD / "sample.zalmirupdate", folder)
    run(sys.executable, str(SOURCE / "tools/make-feed.py"), "--cli", CLI, "--key", "feed.key", "--public-key",
        "feed.pub", "--trust", PACKAGE_KEY, "--serial", str(serial), str(folder))
    if change:
        feed = json.loads((folder / "feed.json").read_text())
        change(feed)
        (folder / "feed.json").write_text(json.dumps(feed))
        run("minisign", "-S", "-s", f"{key}.key", "-m", str(folder / "feed.json"))
    served.clear()
    served.update({f.name: f.read_bytes() for f in folder.iterdir()})


def listing(**fields):
    return lambda feed: feed["packages"][0].update(fields)


def ventaro_removed():
    """The sample package without its Ventaro firmware, signed again: a package of the wrong kind."""
    with zipfile.ZipFile(BUILD / "sample.zalmirupdate") as old, zipfile.ZipFile(work / "ruvo.zip", "w") as new:
        for entry in old.infolist():
            if not entry.filename.startswith(("ventaro", "manifest")):
                new.writestr(entry, old.read(entry))
    run(str(SOURCE / "tools/sign-package.sh"), str(SOURCE / "keys/test/ventaro-test.key"), "ruvo.zip")
    data = (work / "ruvo.zip").read_bytes()
    (work / "published/sample.zalmirupdate").write_bytes(data)
    return {"size": len(data), "sha256": hashlib.sha256(data).hexdigest()}


for name in ("ca", "other-ca"):
    certificate(name, name)
certificate("server", "ca")
certificate("elsewhere", "ca", address="127.0.0.2")
certificate("unknown", "other-ca")
run("minisign", "-G", "-W", "-p", "feed.pub", "-s", "feed.key")
shutil.copy(SOURCE / "keys/test/ventaro-test.key", work / "package.key")
GOOD, ELSEWHERE, UNKNOWN = https_server("server"), https_server("elsewhere"), https_server("unknown")
proxy = Proxy(("127.0.0.1", 0), ProxyHandler)
threading.Thread(target=proxy.serve_forever, daemon=True).start()
sample = json.loads(run(CLI, "inspect", "--trust", PACKAGE_KEY, str(BUILD / "sample.zalmirupdate")).stdout)
older = "%d.%d.%d" % (sample["version"][0], sample["version"][1], sample["version"][2] + 1)

CHECK = ["check", "--json", "--trust-feed", "feed.pub", "--ca-file", "ca.pem", "--feed"]
LATEST = ["update", "--latest", "--simulate", "ventaro", "--trust", PACKAGE_KEY] + CHECK[2:]
DOWNLOAD_REFUSED = "is not the one the list of firmware describes"
# name: (what is published, extra setup, command, exit status, text in the output)
CASES = {
    "valid": (publish, None, CHECK + [GOOD], 100, '"version":"%s"' % sample["version_string"]),
    "unchanged": (None, CHECK + [GOOD], CHECK + [GOOD], 100, '"unchanged":true'),
    "replayed": (lambda: publish(9), CHECK + [GOOD], CHECK + [GOOD], 1, "older (number 9) than one already read"),
    "expired": (lambda: publish(change=lambda f: f.update(expires="2020-01-02T00:00:00Z", issued="2020-01-01T00:00:00Z")),
                None, CHECK + [GOOD], 1, "out of date (it expired on 2020-01-02)"),
    "future": (lambda: publish(change=lambda f: f.update(issued="2099-01-01T00:00:00Z", expires="2099-02-01T00:00:00Z")),
               None, CHECK + [GOOD], 1, "clock may be wrong"),
    "package key": (lambda: publish(change=lambda f: None, key="package"), None, CHECK + [GOOD], 1,
                    "not a trusted feed key"),
    "tampered": (lambda: (publish(), served.update({"feed.json": served["feed.json"].replace(b"2", b"3", 1)})),
                 None, CHECK + [GOOD], 1, "changed after the maker signed it"),
    "unsigned": (lambda: (publish(), served.pop("feed.json.minisig")), None, CHECK + [GOOD], 1, "answered 404"),
    "local feed missing": (None, None, CHECK + ["file:///nonexistent/feed.json"], 1, "is not where its address says"),
    "too large": ("huge", None, CHECK + [GOOD], 1, "more than 65536 bytes"),
    "stalled": ("stalled", None, CHECK + [GOOD], 1, "stopped sending, or sent too slowly"),
    "redirect to http": ("redirect-http", None, CHECK + [GOOD], 1, "not a secure (https://) address"),
    "http address": (publish, None, CHECK + [GOOD.replace("https", "http")], 1, "not a secure (https://) address"),
    "another host's certificate": (publish, None, CHECK + [ELSEWHERE], 1, "could not prove who it is"),
    "unknown CA": (publish, None, CHECK + [UNKNOWN], 1, "could not prove who it is"),
    "closed midway": ("cut", None, CHECK + [GOOD], 1, "the transfer broke off"),
    "not configured": (publish, None, CHECK[:-1], 1, "No list of firmware is configured"),
    "proxy": (publish, "proxy", CHECK + [GOOD], 100, '"offers":[{"kind":"ventaro"'),
    "wrong size": (lambda: publish(change=listing(size=1000)), None, LATEST + [GOOD], 1, DOWNLOAD_REFUSED),
    "wrong hash": (lambda: publish(change=listing(sha256="0" * 64)), None, LATEST + [GOOD], 1, DOWNLOAD_REFUSED),
    "wrong kind": (lambda: publish(change=lambda f: f["packages"][0].update(ventaro_removed())), None,
                   LATEST + [GOOD], 1, DOWNLOAD_REFUSED),
    "refused download as JSON": (lambda: publish(change=listing(sha256="0" * 64)), None,
                                 ["update", "--json"] + LATEST[1:] + [GOOD], 1, '"error":"download-refused"'),
    "older than listed": (lambda: publish(change=listing(version=older)), None, LATEST + [GOOD], 1, DOWNLOAD_REFUSED),
    "package on this computer": (lambda: publish(change=listing(url="file:///etc/passwd")), None, LATEST + [GOOD], 1,
                                 "not a secure (https://) address"),
    "update from the feed": (publish, None, LATEST + [GOOD, "--record"], 0, "Update succeeded: Ventaro"),
    "installed is newest": (publish, LATEST + [GOOD, "--record"], CHECK + [GOOD], 100, '"offers":[{"kind":"ruvo"'),
}


def run_case(name):
    published, before, command, status, text = CASES[name]
    state = work / name.replace(" ", "-")
    env = dict(os.environ, XDG_STATE_HOME=str(state), XDG_CACHE_HOME=str(state / "cache"), LANG="C")
    for variable in ("https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"):
        env.pop(variable, None)
    behaviour["mode"] = None
    publish()
    if before == "proxy":
        env["https_proxy"] = "http://127.0.0.1:%d" % proxy.server_address[1]
    elif before:
        subprocess.run([CLI, *before], cwd=work, env=env, capture_output=True, timeout=120)
    if callable(published):
        published()
    elif published:
        behaviour["mode"] = published
    behaviour["requests"].clear()
    result = subprocess.run([CLI, *command], cwd=work, env=env, capture_output=True, text=True, timeout=120)
    output = result.stdout + result.stderr
    problems = []
    if result.returncode != status or text not in output:
        problems.append(f"exit {result.returncode} (expected {status}), expected {text!r} in:\n{output}")
    if "--json" in command:
        try:
            [json.loads(line) for line in result.stdout.splitlines()]
        except ValueError:
            problems.append(f"--json printed something else than JSON:\n{result.stdout}")
    if name == "unchanged" and (behaviour["requests"] != ["/feed.json.minisig"] or
                                json.loads(result.stdout)["bytes_received"] > 1024):
        problems.append(f"more than one small request: {behaviour['requests']} {result.stdout}")
    if name == "proxy" and not Proxy.tunnels:
        problems.append("the proxy from the environment was not used")
    leftovers = list((state / "cache").glob("*/*")) if DOWNLOAD_REFUSED in text else []
    if leftovers:
        problems.append(f"a refused download was kept: {leftovers}")
    print(("ok   " if not problems else "FAIL ") + name + "".join("\n    " + p for p in problems), flush=True)
    return not problems


def bench(times=20):
    """The unchanged check as a user's daily check makes it: its bytes and its time on loopback."""
    env = dict(os.environ, XDG_STATE_HOME=str(work / "bench"), XDG_CACHE_HOME=str(work / "bench"))
    publish()
    subprocess.run([CLI, *CHECK, GOOD], cwd=work, env=env, capture_output=True, check=False)
    runs = []
    for _ in range(times):
        start = time.perf_counter()
        out = subprocess.run([CLI, *CHECK, GOOD], cwd=work, env=env, capture_output=True, text=True).stdout
        runs.append((time.perf_counter() - start, json.loads(out)["bytes_received"]))
    runs.sort()
    print(f"unchanged check: median {runs[times // 2][0] * 1000:.1f} ms (whole CLI run), {runs[0][1]} bytes")
    os._exit(0)


if sys.argv[2:] == ["bench"]:
    bench()
names = sys.argv[2:] or [name for name in CASES if name != "stalled"]
passed = sum(run_case(name) for name in names)
print(f"{passed}/{len(names)} cases hold")
shutil.rmtree(work, ignore_errors=True)
os._exit(0 if passed == len(names) else 1)
