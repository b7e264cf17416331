"""plixctl --live end to end: the plug-in, plixctl's libcurl transport and a
local HTTPS stand-in for the service (service.py).

    test_plixctl.py --plixctl PATH [unittest options]

The module makes a throwaway self-signed certificate for the service's host
names, starts the service on a free port of 127.0.0.1 and stops it (by pid)
when the tests end. plixctl keeps the real URLs; --connect-to sends them to
the local port. Every run checks that the API key shows in no output.
"""

import argparse
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import service  # noqa: E402  (the account's data)
import standin  # noqa: E402

KEY = "E2E key+/&=7"  # needs percent-encoding in a URL
WRONG_KEY = "wrong-key-1234"
PLIXCTL = None
CURL_HOST = None  # examples/curl_host.c; None where it is not built (Windows)
WINHTTP_HOST = None  # examples/winhttp_host.c, where it is built
LIVE_NOCHECK = None  # the WinHTTP transport whose certificate check never runs
SANITIZED = False  # plixctl built with a sanitizer, whose heap measures differently
RUNNER = []  # what runs plixctl: nothing, or an emulator (Wine) with its settings
PATH_PREFIX = ""  # how plixctl names the build machine's files ("Z:" under Wine)
STACK = "libcurl"  # plixctl's HTTP stack: libcurl or WinHTTP


def host_path(path):
    return PATH_PREFIX + path
state = {}


def setUpModule():
    tmp = tempfile.TemporaryDirectory(prefix="plix-e2e-")
    state["tmp"] = tmp
    d = tmp.name
    version = subprocess.run([*RUNNER, PLIXCTL, "version"], capture_output=True, text=True,
                             check=True)
    base = next(line.split()[1] for line in version.stdout.splitlines()
                if line.startswith("service "))
    state["api_host"] = urllib.parse.urlsplit(base).hostname
    state["files"] = make_torrents(d)
    stand_in = standin.StandIn(d, KEY, state["api_host"], files_dir=state["files"])
    state["stand_in"] = stand_in
    state["cert"], state["port"], state["log"] = stand_in.cert, stand_in.port, stand_in.log


def make_torrents(d):
    """A real torrent file made by mktorrent over two generated files. Its
    piece hashes are binary, and hold NUL bytes."""
    content = os.path.join(d, "Sita.Sings.the.Blues.2008")
    os.mkdir(content)
    with open(os.path.join(content, "Sita.Sings.the.Blues.2008.mkv"), "wb") as f:
        f.write(bytes((i * 7919 + (i >> 9) * 104729) % 251 for i in range(1 << 21)))
    with open(os.path.join(content, "Sita.Sings.the.Blues.2008.en.srt"), "w") as f:
        f.write("1\n00:00:01,000 --> 00:00:04,000\nOnce upon a time\n" * 64)
    files = os.path.join(d, "files")
    os.mkdir(files)
    subprocess.run(["mktorrent", "-a", "https://tracker.plix.test/announce", "-l", "15", "-d",
                    "-o", os.path.join(files, "sita.torrent"), content],
                   check=True, capture_output=True)
    return files


def real_torrent():
    with open(os.path.join(state["files"], "sita.torrent"), "rb") as f:
        return f.read()


def tearDownModule():
    try:
        state["stand_in"].stop()
    finally:
        state["tmp"].cleanup()


def requests_since(mark, probes=False):
    """The requests the service logged after mark (a count of log lines);
    without probes, leaving out the bare "HEAD /" a transport that checks the
    certificate itself opens each connection with (checked by is_probe)."""
    if not os.path.exists(state["log"]):
        return []
    with open(state["log"], encoding="utf-8") as f:
        seen = [json.loads(line) for line in f.readlines()[mark:]]
    return seen if probes else [r for r in seen if r["method"] != "HEAD"]


def is_probe(r):
    """A connection's opening probe: HEAD /, no key anywhere."""
    return (r["method"], r["path"], r["auth_header"], r["key_in_query"]) == ("HEAD", "/", False,
                                                                             False)


def log_mark():
    return len(requests_since(0, probes=True))


class Run:
    def __init__(self, proc):
        self.code = proc.returncode
        self.out = proc.stdout
        self.err = proc.stderr

    def json(self):
        return json.loads(self.out)


class Live(unittest.TestCase):
    def plixctl(self, *args, key=KEY, cacert=True, port=None, env_extra=None, proxy=False):
        env = {k: v for k, v in os.environ.items()
               if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy",
                                    "plix_api_key")}
        if key is not None:
            env["PLIX_API_KEY"] = key
        env.update(env_extra or {})
        port = port or state["port"]
        command = [*RUNNER, PLIXCTL, "--live"]
        if cacert:
            command += ["--cacert", host_path(state["cert"])]
        if not proxy:
            for host in (state["api_host"], *service.HOSTS):
                command += ["--connect-to", f"{host}:443:127.0.0.1:{port}"]
        mark = log_mark()
        started = time.monotonic()
        with subprocess.Popen(command + list(args), stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, env=env) as proc:
            # Output is read by threads, so the child's own rusage can be
            # taken with wait4 (its peak memory, not the test's).
            out, err = {}, {}
            readers = [threading.Thread(target=lambda: out.setdefault("t", proc.stdout.read())),
                       threading.Thread(target=lambda: err.setdefault("t", proc.stderr.read()))]
            for r in readers:
                r.start()
            _, status, usage = os.wait4(proc.pid, 0)
            proc.returncode = os.waitstatus_to_exitcode(status)
            for r in readers:
                r.join(timeout=120)
        proc.stdout, proc.stderr = out.get("t", ""), err.get("t", "")
        run = Run(proc)
        run.seconds = time.monotonic() - started
        run.peak_kib = usage.ru_maxrss
        # The key, raw or as it travels in URLs, never reaches any output.
        for secret in (KEY, urllib.parse.quote(KEY, safe="")):
            self.assertNotIn(secret, run.out + run.err, f"key leaked by {args}")
        # The key travels in the Authorization header of API requests only,
        # never in a URL (unless asked), never to another host.
        in_query = "--key-in-query" in args
        for r in requests_since(mark, probes=True):
            if r["method"] == "HEAD":
                self.assertTrue(is_probe(r), r)
                continue
            if r["host"] == state["api_host"] and key is not None:
                self.assertEqual((r["auth_header"], r["key_in_query"]), (not in_query, in_query),
                                 r)
            elif r["host"] != state["api_host"]:
                self.assertFalse(r["auth_header"] or r["key_in_query"], r)
        return run

    def assertFails(self, run, code, message):
        self.assertEqual(run.code, code, run.err)
        self.assertEqual(run.out, "")
        self.assertEqual(run.err.count("\n"), 1, "one line on stderr")
        self.assertIn(message, run.err)

    def test_validate(self):
        expected = {"RuntimeType": "DEBRIDLINK", "ID": "", "AccountEmail": service.ACCOUNT["email"],
                    "AccountName": service.ACCOUNT["username"],
                    "PremiumLeft": str(service.ACCOUNT["premiumLeft"])}
        run = self.plixctl("--json", "validate")
        self.assertEqual(run.code, 0, run.err)
        self.assertEqual(run.json(), expected)
        run = self.plixctl("validate")
        self.assertEqual(run.code, 0, run.err)
        self.assertIn(service.ACCOUNT["email"], run.out)
        self.assertIn("14 days", run.out)

        with tempfile.NamedTemporaryFile("w", suffix=".key") as f:
            f.write(KEY + "\n")
            f.flush()
            run = self.plixctl("--key-file", host_path(f.name), "validate", key=WRONG_KEY)
            self.assertEqual(run.code, 0, "--key-file wins over the environment: " + run.err)

        run = self.plixctl("validate", key=WRONG_KEY)
        self.assertFails(run, 11, "badToken")

        # The key may stay in the URL, as the plug-in writes it.
        mark = log_mark()
        run = self.plixctl("--json", "--key-in-query", "validate")
        self.assertEqual((run.code, run.json()), (0, expected), run.err)
        self.assertEqual([(r["query"], r["key_ok"]) for r in requests_since(mark)],
                         [([["apikey", "(key)"]], True)])

        # A redirect to another host leaves the key behind: libcurl follows
        # it without the header; WinHTTP follows no redirect of a request
        # that carries the key.
        mark = log_mark()
        run = self.plixctl("validate", key=service.REDIRECT_KEY)
        seen = [(r["host"], r["path"], r["auth_header"]) for r in requests_since(mark)]
        if STACK == "WinHTTP":
            self.assertFails(run, 15, "account/infos answered HTTP 302")
            self.assertEqual(seen, [(state["api_host"], "/api/v2/account/infos", True)])
        else:
            self.assertFails(run, 11, "badToken")
            self.assertEqual(seen, [(state["api_host"], "/api/v2/account/infos", True),
                                    (service.FILES_HOST, "/echo", False)])

    def test_every_listing(self):
        mark = log_mark()
        run = self.plixctl("--json", "ls")
        self.assertEqual(run.code, 0, run.err)
        self.assertEqual([i["path"] for i in run.json()], ["downloader", "seedbox"])
        self.assertEqual(requests_since(mark), [], "the root needs no request")

        run = self.plixctl("--json", "ls", "downloader")
        self.assertEqual(run.code, 0, run.err)
        self.assertEqual(run.json(), [
            {"name": r["name"], "path": r["downloadUrl"], "folder": False, "size": r["size"],
             "locator": r["downloadUrl"], "id": r["id"]} for r in service.DOWNLOADER])

        run = self.plixctl("--json", "ls", "seedbox")
        self.assertEqual(run.code, 0, run.err)
        self.assertEqual(run.json(), [
            {"name": t["name"], "path": "s" + t["id"], "folder": True, "size": t["totalSize"],
             "status": t["status"], "id": t["id"], "locator": "s" + t["id"]}
            for t in service.TORRENTS])

        torrent = service.TORRENTS[1]
        run = self.plixctl("--json", "ls", "s" + torrent["id"])
        self.assertEqual(run.code, 0, run.err)
        self.assertEqual([(i["name"], i["locator"], i["size"]) for i in run.json()],
                         [(f["name"], f["downloadUrl"], f["size"]) for f in torrent["files"]])

        # The requests as the service saw them: the listings' own query,
        # the key in the header.
        seen = [(r["method"], r["path"], r["query"], r["key_ok"]) for r in requests_since(mark)]
        self.assertEqual(seen, [
            ("GET", "/api/v2/downloader/list", [["page", "0"], ["perPage", "50"]], True),
            ("GET", "/api/v2/seedbox/list", [["page", "-1"], ["perPage", "-1"]], True),
            ("GET", "/api/v2/seedbox/list", [["ids", torrent["id"]]], True),
        ])

        run = self.plixctl("ls", "seedbox")
        self.assertEqual(run.code, 0, run.err)
        lines = run.out.splitlines()
        self.assertEqual(lines[0].split(), ["TYPE", "SIZE", "STATUS", "NAME", "PATH"])
        self.assertEqual([line.split()[3] for line in lines[1:]],
                         ["checking+downloading", "downloading", "seeding"])
        self.assertEqual(lines[2].split(), ["dir", "8.0", "GiB", "downloading", torrent["name"],
                                            "s" + torrent["id"]])

        run = self.plixctl("ls", "nowhere")
        self.assertFails(run, 12, "no such folder: nowhere")

    def test_every_downloader_page(self):
        stand_in = state["stand_in"]
        try:
            stand_in.control(add_links=97)  # 100 links: pages 0 and 1 full, page 2 empty
            mark = log_mark()
            run = self.plixctl("--json", "ls", "downloader")
            self.assertEqual(run.code, 0, run.err)
            names = [i["name"] for i in run.json()]
            self.assertEqual(len(names), 100)
            self.assertEqual(names[-3:], [r["name"] for r in service.DOWNLOADER])
            self.assertEqual([r["query"][0] for r in requests_since(mark)],
                             [["page", "0"], ["page", "1"], ["page", "2"]])
            # One page alone, and the table of them all.
            run = self.plixctl("--json", "ls", "downloader/1")
            self.assertEqual([i["name"] for i in run.json()], names[50:])
            run = self.plixctl("ls", "downloader")
            self.assertEqual(len(run.out.splitlines()), 101)
            # stream finds a link on any page.
            row = service.DOWNLOADER[2]
            run = self.plixctl("stream", "downloader/" + row["name"])
            self.assertEqual(run.out, row["downloadUrl"] + "\n")
            self.assertFails(self.plixctl("ls", "downloader/x"), 12, "no such folder: downloader/x")
        finally:
            stand_in.control(reset=True)

    def test_large_listing(self):
        big = service.TORRENTS[2]
        run = self.plixctl("--json", "ls", "s" + big["id"])
        self.assertEqual(run.code, 0, run.err)
        self.assertGreater(len(run.out), 300 * 1024)
        self.assertEqual([i["name"] for i in run.json()], [f["name"] for f in big["files"]])

    def test_tree(self):
        run = self.plixctl("tree")
        self.assertEqual(run.code, 0, run.err)
        names = [line.strip().split("  ")[0] for line in run.out.splitlines()]
        expected = ["downloader/", *[r["name"] for r in service.DOWNLOADER], "seedbox/"]
        for t in service.TORRENTS:
            expected += [t["name"] + "/", *[f["name"] for f in t["files"]]]
        self.assertEqual(names, expected)

    def test_stream(self):
        row = service.DOWNLOADER[1]
        file = service.TORRENTS[0]["files"][2]
        for entry, url in [
            ("downloader/" + row["name"], row["downloadUrl"]),
            ("s" + service.TORRENTS[0]["id"] + "/" + file["name"], file["downloadUrl"]),
            (json.dumps({"name": "x", "locator": "https://cdn.plix.test/x?a=1&b=\"2\""}),
             "https://cdn.plix.test/x?a=1&b=\"2\""),
        ]:
            with self.subTest(entry=entry):
                run = self.plixctl("stream", entry)
                self.assertEqual(run.code, 0, run.err)
                self.assertEqual(run.out, url + "\n")

        self.assertFails(self.plixctl("stream", "downloader/No.Such.File.mkv"), 12,
                         "no entry No.Such.File.mkv in downloader")
        self.assertFails(self.plixctl("stream", "{\"name\":1}"), 12,
                         "entry has no locator/link/path")

    def test_download_paths(self):
        magnet = "magnet:?xt=urn:btih:" + "c9e15763f722f23e98a29decdfae341b98d53056" + "&dn=x y"
        plain = f"https://{service.FILES_HOST}/files/test.torrent"
        real = f"https://{service.FILES_HOST}/files/sita.torrent"
        moved = f"https://{service.FILES_HOST}/files/moved.torrent"
        page = f"https://{service.FILES_HOST}/files/page.html"
        api = state["api_host"]
        add = ("POST", api, "/api/v2/downloader/add")
        seedbox = ("POST", api, "/api/v2/seedbox/add")
        real_hash, real_meta = service.torrent_info(real_torrent())
        plain_hash, plain_meta = service.torrent_info(service.TORRENT_FILE)
        not_a_link = "Link is not a magnet, a redirect-to-magnet or a torrent file"
        cases = [
            # link, exit code, what plixctl prints, the requests the service sees
            (magnet, 0, service.MAGNET_ADDED["downloadUrl"], [add]),
            (service.HOSTER + "abc", 0, service.HOSTER_ADDED["downloadUrl"], [add]),
            # A torrent file without NUL bytes arrives whole and is uploaded.
            (plain, 0, service.added_torrent(plain_hash, plain_meta)["files"][0]["downloadUrl"],
             [add, ("GET", service.FILES_HOST, "/files/test.torrent"), seedbox]),
            # A real one is cut at its first NUL byte on the way: the service
            # is asked to fetch it by its link.
            (real, 0, service.added_torrent(real_hash, real_meta)["files"][0]["downloadUrl"],
             [add, ("GET", service.FILES_HOST, "/files/sita.torrent"), seedbox]),
            (moved, 0, service.added_torrent(real_hash, real_meta)["files"][0]["downloadUrl"],
             [add, ("GET", service.FILES_HOST, "/files/moved.torrent"),
              ("GET", service.FILES_HOST, "/files/sita.torrent"), seedbox]),
            (page, 15, not_a_link, [add, ("GET", service.FILES_HOST, "/files/page.html")]),
            # The service's own codes: limits are final, the rest lead to a
            # fetch of the link.
            (service.HOSTER + "limit", 13, "maxLink", [add]),
            (service.HOSTER + "flood", 13, "downloader/add: Debrid-Link error floodDetected", [add]),
            (service.HOSTER + "hostlimit", 13, "downloader/add: Debrid-Link error maxLinkHost",
             [add]),
            (f"https://{service.HOSTER_HOST}/unsupported", 15, not_a_link,
             [add, ("GET", service.HOSTER_HOST, "/unsupported")]),
            (service.HOSTER + "down", 14, "downloader/add: Debrid-Link error notDebrid",
             [add, ("GET", service.HOSTER_HOST, "/f/down")]),
        ]
        for link, code, shown, requests in cases:
            with self.subTest(link=link):
                mark = log_mark()
                run = self.plixctl("--allow-writes", "add", link)
                self.assertEqual(run.code, code, run.err)
                self.assertIn(shown, run.out if code == 0 else run.err)
                seen = requests_since(mark)
                self.assertEqual([(r["method"], r["host"], r["path"]) for r in seen], requests)
                first = seen[0]
                self.assertEqual(first["query"], [["url", link], ["password", ""]])
                self.assertEqual(first["content_type"], "application/x-www-form-urlencoded")
                if seen[-1]["path"] != "/api/v2/seedbox/add":
                    continue
                self.assertEqual(seen[-1]["info_hash"], plain_hash if link == plain else real_hash)
                if link == plain:
                    part = seen[-1]["part"]
                    self.assertEqual((part["parts"], part["name"], part["filename"], part["type"]),
                                     (1, "file", "upload.torrent", "application/x-bittorrent"))
                    self.assertEqual(part["data"], service.TORRENT_FILE.decode("latin-1"))
                    self.assertEqual(seen[-1]["query"], [])
                else:
                    self.assertEqual(seen[-1]["query"], [["url", link]])
                    self.assertEqual(seen[-1]["content_type"], "application/x-www-form-urlencoded")

        # The real file does hold NUL bytes, and uploaded cut the service
        # refuses it.
        data = real_torrent()
        self.assertIn(b"\0", data)
        self.assertIsNone(service.torrent_info(data[:data.index(b"\0")]))

        run = self.plixctl("--json", "--allow-writes", "add", service.HOSTER + "abc")
        self.assertEqual(run.code, 0, run.err)
        self.assertEqual(run.json(), {
            "InstantURL": service.HOSTER_ADDED["downloadUrl"],
            "InstantName": service.HOSTER_ADDED["name"],
            "InstantSize": service.HOSTER_ADDED["size"],
            "Payload": {"Files": [service.HOSTER_ADDED]}})

        mark = log_mark()
        self.assertFails(self.plixctl("add", magnet), 17, "--allow-writes")
        self.assertEqual(requests_since(mark), [], "a closed gate sends nothing")

    def test_transport_failures(self):
        # TLS is verified: without the test certificate the exchange fails.
        run = self.plixctl("validate", cacert=False)
        self.assertFails(run, 14, "curl: " if STACK == "libcurl" else "certificate")
        self.assertIn("apikey=***", run.err)
        # Nothing listens on a closed port: the transport's one line comes back.
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            closed = s.getsockname()[1]
        run = self.plixctl("ls", "downloader", port=closed)
        self.assertFails(run, 14, "curl: " if STACK == "libcurl" else "WinHTTP error ")
        if STACK == "libcurl":
            # curl's proxy environment is honoured: a proxy that is not there fails.
            run = self.plixctl("validate",
                               env_extra={"https_proxy": f"http://127.0.0.1:{closed}"})
            self.assertFails(run, 14, f"port {closed}")
        # So is a proxy named with --proxy.
        run = self.plixctl("--proxy", f"http://127.0.0.1:{closed}", "validate", proxy=True)
        self.assertEqual(run.code, 14, run.err)

    def test_bounded_answers(self):
        # A link to a film is fetched to see whether it is a torrent file:
        # the transport stops at 64 MiB, at once, and frees what it read.
        baseline = self.plixctl("validate").peak_kib
        for name, extra, message in [
            ("endless.mkv", [], "the answer of files.plix.test is larger than 64 MiB"),
            ("stalled.mkv", ["--timeout", "3"], "WinHTTP error" if STACK == "WinHTTP"
             else "curl: "),
        ]:
            with self.subTest(name=name):
                link = f"https://{service.FILES_HOST}/files/{name}"
                run = self.plixctl(*extra, "--allow-writes", "add", link)
                self.assertFails(run, 14, message)
                self.assertLess(run.seconds, 30)
                # Far below twice the bound: the body is held once, never
                # copied (a sanitizer's heap keeps freed blocks and copies).
                if not SANITIZED:
                    self.assertLess(run.peak_kib - baseline, 96 * 1024, run.peak_kib)
                print(f"  {name}: {run.seconds:.1f} s, peak {run.peak_kib // 1024} MiB "
                      f"({baseline // 1024} MiB for validate)", file=sys.stderr)

    def test_certificate_checked_before_anything_is_sent(self):
        # A CA that did not sign the service's certificate: the request is
        # refused during the handshake, before the key or any request line.
        other = os.path.join(state["tmp"].name, "other-ca.pem")
        if not os.path.exists(other):
            subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                            "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                            "-subj", "/CN=another CA", "-keyout", other + ".key", "-out", other,
                            "-addext", "subjectAltName=DNS:" + state["api_host"]],
                           check=True, capture_output=True)
        mark = log_mark()
        run = self.plixctl("--cacert", host_path(other), "validate", cacert=False)
        self.assertFails(run, 14, "certificate" if STACK == "WinHTTP" else "curl: ")
        self.assertEqual([r for r in requests_since(mark, probes=True) if not is_probe(r)], [])
        if LIVE_NOCHECK:
            # A check that never ran refuses the request too.
            mark = log_mark()
            url = f"https://{state['api_host']}/api/v2/account/infos?apikey=x"
            proc = subprocess.run([*RUNNER, LIVE_NOCHECK, "--cacert", host_path(state["cert"]),
                                   "--connect-to",
                                   f"{state['api_host']}:443:127.0.0.1:{state['port']}", url],
                                  capture_output=True, text=True, timeout=120)
            self.assertEqual(proc.returncode, 1, proc.stdout + proc.stderr)
            self.assertIn("certificate cannot be checked", proc.stdout)
            self.assertEqual(requests_since(mark, probes=True), [])

    def test_proxy(self):
        # Through an HTTP CONNECT proxy, TLS still verified end to end and
        # against the service's name.
        with ConnectProxy(state["port"]) as proxy:
            run = self.plixctl("--proxy", f"http://127.0.0.1:{proxy.port}", "--json", "validate",
                               proxy=True)
            self.assertEqual(run.code, 0, run.err)
            self.assertEqual(run.json()["AccountEmail"], service.ACCOUNT["email"])
            # (a transport that checks the certificate itself opens its
            # connection with a probe first, so the tunnel may be asked twice)
            self.assertEqual(set(proxy.targets), {f"{state['api_host']}:443"})

    def test_command_line(self):
        self.assertFails(self.plixctl("validate", key=None), 2, "--live needs an API key")
        run = self.plixctl("--key", "E2E-typed-key", "validate")
        self.assertFails(run, 2, "never taken on the command line")
        self.assertNotIn("E2E-typed-key", run.err)


class ConnectProxy:
    """An HTTP CONNECT proxy on a free port of 127.0.0.1 that tunnels every
    target to the stand-in's port and records the targets asked for."""

    def __init__(self, port):
        self.to = port
        self.targets = []
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(8)
        self.port = self.server.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.server.close()

    def serve(self):
        while True:
            try:
                client, _ = self.server.accept()
            except OSError:
                return
            threading.Thread(target=self.tunnel, args=(client,), daemon=True).start()

    def tunnel(self, client):
        with client:
            head = b""
            while b"\r\n\r\n" not in head:
                chunk = client.recv(4096)
                if not chunk:
                    return
                head += chunk
            line = head.split(b"\r\n", 1)[0].decode("latin-1").split()
            if len(line) < 2 or line[0] != "CONNECT":
                client.sendall(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
                return
            self.targets.append(line[1])
            with socket.create_connection(("127.0.0.1", self.to)) as upstream:
                client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
                rest = head.split(b"\r\n\r\n", 1)[1]
                if rest:
                    upstream.sendall(rest)
                pipes = [threading.Thread(target=self.pipe, args=(a, b), daemon=True)
                         for a, b in ((client, upstream), (upstream, client))]
                for p in pipes:
                    p.start()
                for p in pipes:
                    p.join()

    @staticmethod
    def pipe(src, dst):
        try:
            while True:
                data = src.recv(65536)
                if not data:
                    break
                dst.sendall(data)
        except OSError:
            pass
        try:
            dst.shutdown(socket.SHUT_WR)
        except OSError:
            pass


@unittest.skipUnless({"--curl-host", "--winhttp-host"} & set(sys.argv), "no example host built")
class ExampleHost(unittest.TestCase):
    """The complete hosts of examples/ (libcurl, WinHTTP), against the same
    stand-in."""

    def run_host(self, *args, key=KEY):
        env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
        env["PLIX_API_KEY"] = key
        if WINHTTP_HOST:
            command = [*RUNNER, WINHTTP_HOST, "--server", f"127.0.0.1:{state['port']}", "--pin",
                       host_path(state["cert"])]
        else:
            command = [CURL_HOST, "--cacert", state["cert"]]
            for host in (state["api_host"], *service.HOSTS):
                command += ["--connect-to", f"{host}:443:127.0.0.1:{state['port']}"]
        return subprocess.run(command + list(args), capture_output=True, text=True, env=env,
                              timeout=120)

    def test_validate_list_and_upload(self):
        mark = log_mark()
        link = f"https://{service.FILES_HOST}/files/test.torrent"
        run = self.run_host(link)
        self.assertEqual(run.returncode, 0, run.stderr)
        lines = run.stdout.splitlines()
        self.assertEqual([line.split(":")[0] for line in lines],
                         ["validate", "downloader", "download"])
        answers = [json.loads(line.split(": ", 1)[1]) for line in lines]
        self.assertEqual(answers[0]["AccountEmail"], service.ACCOUNT["email"])
        self.assertEqual([i["id"] for i in answers[1]], [r["id"] for r in service.DOWNLOADER])
        self.assertEqual(answers[2]["InstantName"], "Sita.Sings.the.Blues.2008.mkv")
        seen = requests_since(mark)
        api = [r for r in seen if r["host"] == state["api_host"]]
        self.assertEqual(len(api), 4)
        for r in api:
            self.assertEqual((r["auth_header"], r["key_in_query"], r["key_ok"]),
                             (True, False, True), r)
        self.assertFalse(any(r["auth_header"] for r in seen if r["host"] != state["api_host"]))
        part = api[-1]["part"]
        self.assertEqual((part["parts"], part["name"], part["filename"]),
                         (1, "file", "upload.torrent"))
        self.assertEqual(api[-1]["info_hash"], service.torrent_info(service.TORRENT_FILE)[0])
        for secret in (KEY, urllib.parse.quote(KEY, safe="")):
            self.assertNotIn(secret, run.stdout + run.stderr)

    @unittest.skipUnless("--winhttp-host" in sys.argv, "the pin is the WinHTTP host's")
    def test_wrong_pin_sends_nothing(self):
        other = os.path.join(state["tmp"].name, "pin-other.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                        "/CN=not the service", "-keyout", other + ".key", "-out", other],
                       check=True, capture_output=True)
        mark = log_mark()
        env = {k: v for k, v in os.environ.items() if not k.lower().endswith("_proxy")}
        env["PLIX_API_KEY"] = KEY
        run = subprocess.run([*RUNNER, WINHTTP_HOST, "--server", f"127.0.0.1:{state['port']}",
                              "--pin", host_path(other)], capture_output=True, text=True,
                             env=env, timeout=120)
        self.assertEqual(run.returncode, 14, run.stderr)
        self.assertIn("the certificate check failed", run.stderr)
        self.assertEqual([r for r in requests_since(mark, probes=True) if not is_probe(r)], [])

    def test_refused_key(self):
        run = self.run_host(key=WRONG_KEY)
        self.assertEqual(run.returncode, 11)
        self.assertIn("validate failed (-1)", run.stderr)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--plixctl", required=True)
    parser.add_argument("--curl-host")
    parser.add_argument("--winhttp-host")
    parser.add_argument("--live-nocheck")
    parser.add_argument("--sanitize", default="")
    parser.add_argument("--runner", default="", help="a command prefix, its words joined by |")
    parser.add_argument("--path-prefix", default="")
    parser.add_argument("--stack", default="libcurl", choices=["libcurl", "WinHTTP"])
    args, rest = parser.parse_known_args()
    PLIXCTL = os.path.abspath(args.plixctl)
    CURL_HOST = os.path.abspath(args.curl_host) if args.curl_host else None
    WINHTTP_HOST = os.path.abspath(args.winhttp_host) if args.winhttp_host else None
    LIVE_NOCHECK = os.path.abspath(args.live_nocheck) if args.live_nocheck else None
    SANITIZED = bool(args.sanitize)
    RUNNER = [w for w in args.runner.split("|") if w]
    PATH_PREFIX = args.path_prefix
    STACK = args.stack
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
