"""plixd end to end: plixd against the local HTTPS stand-in for the service
(service.py --account mpv, whose download URLs serve playable sounds and
subtitles, TLS verified), with real clients: curl for the protocol and the
bad inputs, rclone's webdav backend for the whole tree and a file through the
redirect, and mpv for an episode and a season's playlist.

    test_plixd.py --plixd PATH [--mpv PATH] [--probe PATH] [unittest options]

Every run checks that the API key is in no answer and no log line.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import service  # noqa: E402
import standin  # noqa: E402

KEY = "plixd E2E key+/&=3"
API_HOST = "debrid-link.com"
PLIXD = None
MPV = None
PASSWORD = "correct horse"
state = {}


def setUpModule():
    tmp = tempfile.TemporaryDirectory(prefix="plix-plixd-")
    state["tmp"] = tmp
    state["stand_in"] = standin.StandIn(tmp.name, KEY, API_HOST, account="mpv")
    users = os.path.join(tmp.name, "users")
    subprocess.run(["htpasswd", "-B", "-b", "-c", users, "ana", PASSWORD], check=True,
                   capture_output=True)
    state["users"] = users


def tearDownModule():
    try:
        state["stand_in"].stop()
    finally:
        state["tmp"].cleanup()


class Plixd:
    """One plixd process, stopped by stop()."""

    def __init__(self, *args, key=KEY, env_extra=None):
        stand_in = state["stand_in"]
        self.err_path = os.path.join(state["tmp"].name, f"plixd-{time.monotonic_ns()}.err")
        env = {k: v for k, v in os.environ.items()
               if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "plix_api_key")}
        if key is not None:
            env["PLIX_API_KEY"] = key
        env.update(env_extra or {})
        # Background work at a quick pace unless a test sets its own.
        pace = [] if "--rate" in args else ["--rate", "40"]
        self.command = [PLIXD, "--listen", "127.0.0.1:0", "--cacert", stand_in.cert,
                        "--connect-to", f"{API_HOST}:443:127.0.0.1:{stand_in.port}",
                        "--timeout", "10", *pace, *args]
        self.mark = stand_in.mark()
        self.err = open(self.err_path, "w+")
        self.proc = subprocess.Popen(self.command, stdout=subprocess.PIPE, stderr=self.err,
                                     env=env, text=True)
        line = self.proc.stdout.readline()
        if not line.startswith("plixd: serving "):
            self.proc.wait(timeout=10)
            raise RuntimeError("plixd did not start: " + line + self.log())
        self.url = line.split("plixd: serving ", 1)[1].strip()

    def log(self):
        if not self.err.closed:
            self.err.flush()
        with open(self.err_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def wait_for(self, text, seconds=30):
        deadline = time.monotonic() + seconds
        while text not in self.log():
            if time.monotonic() > deadline or self.proc.poll() is not None:
                raise AssertionError(f"plixd never said {text!r}:\n{self.log()}")
            time.sleep(0.05)

    def stop(self):
        standin.terminate(self.proc)
        self.proc.stdout.close()
        self.err.close()
        return self.proc.returncode

    def requests(self):
        return [r for r in state["stand_in"].requests_since(self.mark) if r["host"] == API_HOST]


class Answer:
    pass


def curl(url, method="GET", headers=(), data=None, user=None, follow=False, extra=()):
    """One request with curl; its status, headers (lower-case names) and body."""
    command = ["curl", "-s", "-S", "--max-time", "30", "-X", method, "-D", "-", "-o", "-",
               "--path-as-is", *extra]
    for h in headers:
        command += ["-H", h]
    if data is not None:
        command += ["--data-binary", data]
    if user:
        command += ["-u", user]
    if follow:
        command += ["-L", "--cacert", state["stand_in"].cert]
    command.append(url)
    proc = subprocess.run(command, capture_output=True, timeout=60)
    raw = proc.stdout
    a = Answer()
    a.status, a.headers, a.body = 0, {}, b""
    # The last response's head (after any 100 Continue or redirect).
    while raw.startswith(b"HTTP/"):
        head, _, raw = raw.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        a.status = int(lines[0].split()[1])
        a.headers = {k.lower(): v.strip() for k, _, v in (line.partition(":") for line in lines[1:])}
        if a.status == 100 or (follow and 300 <= a.status < 400 and raw.startswith(b"HTTP/")):
            continue
        break
    a.body = raw
    a.text = raw.decode("utf-8", errors="replace")
    return a


def hrefs(answer):
    return [urllib.parse.unquote(h) for h in re.findall(r"<d:href>([^<]*)</d:href>", answer.text)]


def names(answer):
    return [html_unescape(n) for n in re.findall(r"<d:displayname>([^<]*)</d:displayname>",
                                                  answer.text)]


def html_unescape(text):
    for a, b in (("&lt;", "<"), ("&gt;", ">"), ("&quot;", '"'), ("&apos;", "'"), ("&amp;", "&")):
        text = text.replace(a, b)
    return text


def q(path):
    return urllib.parse.quote(path)


class PlixdTest(unittest.TestCase):
    def setUp(self):
        self.servers = []
        # The mpv account's torrent of 10 000 videos makes 10 000 movie
        # folders, which every making of the catalog reads again: left out,
        # the tests run as fast under a sanitizer too.
        state["stand_in"].control(remove_torrent="tHUGE")

    def tearDown(self):
        try:
            for p in self.servers:
                code = p.stop()
                log = p.log()
                for secret in (KEY, urllib.parse.quote(KEY, safe=""), PASSWORD):
                    self.assertNotIn(secret, log, "a secret in the log")
                self.assertEqual(code, 0, log)
        finally:
            state["stand_in"].control(reset=True)

    def start(self, *args, **kwargs):
        p = Plixd(*args, **kwargs)
        self.servers.append(p)
        return p

    def assertClean(self, answer):
        for secret in (KEY, urllib.parse.quote(KEY, safe=""), PASSWORD):
            self.assertNotIn(secret.encode(), answer.body)
            self.assertNotIn(secret, json.dumps(answer.headers))

    def propfind(self, p, path, depth="1", body=None, **kwargs):
        a = curl(p.url.rstrip("/") + path, "PROPFIND", [f"Depth: {depth}"], body, **kwargs)
        self.assertClean(a)
        return a

    def test_tree_matches_the_account(self):
        p = self.start()
        p.wait_for("the whole account is listed")
        root = self.propfind(p, "/")
        self.assertEqual(root.status, 207)
        self.assertEqual(hrefs(root), ["/", "/downloader/", "/seedbox/", "/shows/", "/movies/"])
        seedbox = self.propfind(p, "/seedbox/")
        self.assertIn("Sintel.2010.2160p [downloading]", names(seedbox))
        self.assertIn("Big.Buck.Bunny", names(seedbox))
        # A season: the episodes in order, each subtitle beside its video
        # as <stem>.<lang>.<ext>; the .nfo and the cover left out.
        season = self.propfind(p, "/shows/Pioneer One/Season 01/".replace(" ", "%20"))
        self.assertEqual(names(season)[1:], [
            "Pioneer.One.S01E01.Earthfall.mkv", "Pioneer.One.S01E01.Earthfall.en.srt",
            "Pioneer.One.S01E02.The.Man.from.Mars.mkv", "Pioneer.One.S01E03.mkv",
            "Pioneer.One.S01E10.Finale.mkv"])
        # Every other ready video is a movie of its own; its subtitles, in
        # another case or folder too, beside it, and no one else's.
        movies = self.propfind(p, "/movies/")
        movie_names = set(names(movies))
        for title in ("Amélie Été 東京", "Big Buck Bunny", "Charade (1963)", "Movie",
                      "Movie Extended", "Show - 1", "Show - 10"):
            self.assertTrue(title in movie_names, title)
        self.assertFalse(any("Sintel" in n for n in movie_names))  # not ready: not organised
        self.assertEqual(names(self.propfind(p, "/movies/" + q("Show - 1") + "/"))[1:],
                         ["Show - 1.mkv", "Show - 1.en.srt", "Show - 1.fr.srt",
                          "Show - 1.pt-BR.srt"])
        self.assertEqual(names(self.propfind(p, "/movies/" + q("Show - 10") + "/"))[1:],
                         ["Show - 10.mkv", "Show - 10.srt"])
        self.assertEqual(names(self.propfind(p, "/movies/" + q("Movie Extended") + "/"))[1:],
                         ["Movie.Extended.mkv", "Movie.Extended.en.srt"])
        self.assertEqual(names(self.propfind(p, "/movies/Movie/"))[1:], ["Movie.mkv"])
        # The seedbox as the service has it: every file, folders as in the torrent.
        torrent = self.propfind(p, "/seedbox/Subtitled/")
        self.assertEqual(names(torrent)[1], "Subs")
        self.assertEqual(len(names(torrent)), 1 + 1 + 8)
        downloader = self.propfind(p, "/downloader/")
        # Names as the service gives them, made safe for a path.
        self.assertEqual(names(downloader)[1:],
                         [r["name"].replace("\\", "_") for r in state_downloader()])

    def test_protocol(self):
        p = self.start()
        p.wait_for("the whole account is listed")
        base = p.url.rstrip("/")
        a = curl(base + "/", "OPTIONS")
        self.assertEqual((a.status, a.headers.get("dav")), (200, "1"))
        self.assertIn("PROPFIND", a.headers.get("allow"))
        # Depth 0, and one file's own properties.
        a = self.propfind(p, "/seedbox/", depth="0")
        self.assertEqual(hrefs(a), ["/seedbox/"])
        a = self.propfind(p, "/seedbox/Big.Buck.Bunny/Big.Buck.Bunny.mp4", depth="0")
        self.assertIn(f"<d:getcontentlength>{service.SOUND_LENGTH}</d:getcontentlength>", a.text)
        self.assertIn("<d:getcontenttype>video/mp4</d:getcontenttype>", a.text)
        self.assertIn("<d:getlastmodified>", a.text)
        self.assertIn("<d:getetag>", a.text)
        # Named properties, an unknown one in a 404 propstat; propname.
        body = ('<?xml version="1.0"?><d:propfind xmlns:d="DAV:"><d:prop><d:displayname/>'
                '<d:resourcetype/><x:rating xmlns:x="urn:example"/></d:prop></d:propfind>')
        a = self.propfind(p, "/seedbox/", depth="1", body=body)
        self.assertEqual(a.status, 207)
        self.assertIn('<x:rating xmlns:x="urn:example"/></d:prop><d:status>HTTP/1.1 404 Not Found',
                      a.text)
        self.assertNotIn("getcontentlength", a.text)
        a = self.propfind(p, "/", depth="0",
                          body='<propfind xmlns="DAV:"><propname/></propfind>')
        self.assertIn("<d:displayname/>", a.text)
        # Infinity is refused; so is a Depth that is no depth.
        for depth in (None, "infinity"):
            a = curl(base + "/", "PROPFIND", [f"Depth: {depth}"] if depth else [])
            self.assertEqual(a.status, 403)
            self.assertIn("propfind-finite-depth", a.text)
        self.assertEqual(curl(base + "/", "PROPFIND", ["Depth: 2"]).status, 400)
        # Nothing writes, and no other method is known.
        for method in ("PUT", "DELETE", "MKCOL", "COPY", "MOVE", "PROPPATCH", "LOCK", "UNLOCK"):
            with self.subTest(method=method):
                self.assertEqual(curl(base + "/downloader/x.mkv", method, data="x").status, 403)
        self.assertEqual(curl(base + "/", "BREW").status, 405)
        # A file: a redirect to its download URL, asked for as it opens; HEAD
        # answers the size without asking the service.
        mark = len(p.requests())
        a = curl(base + "/seedbox/Big.Buck.Bunny/Big.Buck.Bunny.mp4", "HEAD", extra=["-I"])
        self.assertEqual((a.status, a.headers.get("content-length")),
                         (200, str(service.SOUND_LENGTH)))
        a = curl(base + "/seedbox/Big.Buck.Bunny/Big.Buck.Bunny.mp4")
        self.assertEqual(a.status, 302)
        self.assertTrue(a.headers["location"].startswith(f"https://localhost:"), a.headers)
        self.assertEqual(p.requests()[mark:], [], "a listed link is fresh: nothing asked")
        a = curl(base + "/seedbox/Big.Buck.Bunny/Big.Buck.Bunny.mp4", follow=True)
        self.assertEqual((a.status, a.body[:4]), (200, b"RIFF"))
        self.assertEqual(curl(base + "/seedbox/Nope/").status, 404)
        # A folder for a browser: every name escaped.
        state["stand_in"].control(add_link="<script>alert(1)</script>.mkv")
        p.stop()
        p2 = self.start()
        a = curl(p2.url + "downloader/")
        self.assertEqual(a.status, 200)
        self.assertNotIn("<script>", a.text)
        self.assertIn("&lt;script&gt;", a.text)

    def test_bad_input(self):
        p = self.start()
        base = p.url.rstrip("/")
        for path in ("/../etc/passwd", "/seedbox/%2e%2e/%2e%2e/", "/seedbox/%2E%2E",
                     "/a%00b", "/%zz", "/./seedbox"):
            with self.subTest(path=path):
                self.assertIn(curl(base + path).status, (400, 404))
        self.assertEqual(curl(base + "/", "PROPFIND", ["Depth: 1"], "<not xml").status, 400)
        self.assertEqual(curl(base + "/", "PROPFIND", ["Depth: 1"],
                              '<!DOCTYPE x [<!ENTITY a "b">]><propfind xmlns="DAV:"/>').status,
                         400)
        big = os.path.join(state["tmp"].name, "big.xml")
        with open(big, "wb") as f:
            f.write(b"<" + b"a" * (100 * 1024))
        self.assertEqual(curl(base + "/", "PROPFIND", ["Depth: 1"], "@" + big).status, 413)
        self.assertEqual(curl(base + "/", headers=["X-Long: " + "a" * 70000]).status, 431)
        # plixd goes on serving after all of it.
        self.assertEqual(self.propfind(p, "/", "0").status, 207)

    def test_listings_are_cached_and_shared(self):
        p = self.start("--rate", "0.2")  # background work barely moves
        self.propfind(p, "/")
        # Eight clients ask at once for a torrent not listed yet: one request.
        before = len([r for r in p.requests() if ["ids", "tSUB"] in r["query"]])
        results = []
        threads = [threading.Thread(target=lambda: results.append(
            self.propfind(p, "/seedbox/Subtitled/").status)) for _ in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(results, [207] * 8)
        asked = [r for r in p.requests() if ["ids", "tSUB"] in r["query"]]
        self.assertEqual(len(asked) - before, 1)
        # Browsing what is known sends nothing.
        mark = len(p.requests())
        for _ in range(3):
            for path in ("/", "/seedbox/", "/seedbox/Subtitled/", "/downloader/"):
                self.assertEqual(self.propfind(p, path).status, 207)
        self.assertEqual(p.requests()[mark:], [])

    def test_background_work_keeps_to_its_rate_and_refresh(self):
        p = self.start("--rate", "5", "--refresh", "2")
        p.wait_for("the whole account is listed")
        listed = p.requests()
        times = [r["time"] for r in listed]
        # At most the rate in any second (plus the one at its edge).
        for i, t in enumerate(times):
            self.assertLessEqual(len([u for u in times[i:] if u < t + 1.0]), 6, listed)
        # A new torrent shows within a refresh.
        state["stand_in"].control(add_torrent={"id": "tNEW", "name": "Brand.New.S02",
                                               "files": ["Brand.New.S02E01.mkv"]})
        # (Its episode reaches /shows once its files are listed, within the
        # rate and the catalog's next making.)
        deadline = time.monotonic() + 20
        while "Brand.New.S02" not in names(self.propfind(p, "/seedbox/")) or \
                self.propfind(p, "/shows/Brand%20New/Season%2002/").status != 207:
            self.assertLess(time.monotonic(), deadline, "the new torrent never showed")
            time.sleep(0.3)

    def test_flood_stops_background_work_while_browsing_goes_on(self):
        p = self.start("--rate", "20", "--refresh", "1")
        p.wait_for("the whole account is listed")
        state["stand_in"].control(faults=[{"match": "/api/v2/seedbox/list", "status": 400, "body": {
            "success": False, "error": "floodDetected", "error_description": "Too many"}}])
        p.wait_for("the service asked plixd to slow down on seedbox/list (floodDetected)")
        time.sleep(3)  # three refreshes' time
        flooded = [r for r in p.requests() if r.get("fault")]
        self.assertEqual(len(flooded), 1, "after the flood answer nothing more is sent there")
        self.assertEqual(p.log().count("floodDetected"), 1, "said once")
        self.assertEqual(self.propfind(p, "/seedbox/Big.Buck.Bunny/").status, 207)
        self.assertEqual(curl(p.url + "seedbox/Big.Buck.Bunny/Big.Buck.Bunny.mp4").status, 302)
        # A service that refuses the machine's address says so in words.
        state["stand_in"].control(faults=[{"match": "/api/v2/", "status": 403, "body": {
            "success": False, "error": "serverNotAllowed", "error_description": "VPN"}}])
        refused = self.start()
        refused.wait_for("the service refuses calls from this machine's address (serverNotAllowed)")

    def test_passwords_tokens_and_the_network(self):
        p = self.start("--users", state["users"])
        p.wait_for("the whole account is listed")
        base = p.url.rstrip("/")
        # A wrong or missing password is 401 for any path, existing or not.
        for path in ("/", "/seedbox/", "/no/such/path", "/seedbox/Big.Buck.Bunny/"):
            for user in (None, "ana:wrong", "bob:" + PASSWORD):
                with self.subTest(path=path, user=user):
                    a = curl(base + path, "PROPFIND", ["Depth: 1"], user=user)
                    self.assertEqual(a.status, 401)
                    self.assertIn("Basic", a.headers.get("www-authenticate", ""))
                    self.assertNotIn(b"Big.Buck", a.body)
        ok = self.propfind(p, "/", user="ana:" + PASSWORD)
        self.assertEqual(ok.status, 207)
        # A season's playlist plays without a password: each entry carries a
        # token that opens its own file, and nothing else.
        season = "/shows/Pioneer%20One/Season%2001/"
        playlist = curl(base + season + "?m3u", user="ana:" + PASSWORD)
        self.assertEqual(playlist.status, 200)
        self.assertClean(playlist)
        urls = [line for line in playlist.text.splitlines() if line.startswith("http")]
        self.assertEqual(len(urls), 4)
        self.assertTrue(all("?t=" in u for u in urls))
        self.assertEqual(curl(urls[0]).status, 302)
        token = urls[0].split("?t=")[1]
        other = urls[1].split("?t=")[0]
        self.assertEqual(curl(f"{other}?t={token}").status, 401)
        self.assertEqual(curl(f"{base}{season}?t={token}", "PROPFIND", ["Depth: 1"]).status, 401)
        self.assertNotIn(token, p.log())
        # Anywhere but loopback, plixd does not start without --users.
        run = subprocess.run([PLIXD, "--listen", "0.0.0.0:0"], capture_output=True, text=True,
                             env={**os.environ, "PLIX_API_KEY": KEY}, timeout=20)
        self.assertEqual(run.returncode, 2)
        self.assertIn("not a loopback address", run.stderr)
        # With --users but plain HTTP there it warns (this address is not the
        # machine's, so nothing listens).
        run = subprocess.run([PLIXD, "--listen", "192.0.2.1:0", "--users", state["users"]],
                             capture_output=True, text=True, env={**os.environ, "PLIX_API_KEY": KEY},
                             timeout=20)
        self.assertEqual(run.returncode, 3)
        self.assertEqual(run.stderr.count("passwords cross the network readable"), 1)

    def test_no_key_tls_demo_and_a_clean_stop(self):
        run = subprocess.run([PLIXD], capture_output=True, text=True, timeout=20,
                             env={k: v for k, v in os.environ.items() if k != "PLIX_API_KEY"})
        self.assertEqual(run.returncode, 3)
        self.assertIn("no API key", run.stderr)
        demo = self.start("--demo", key=None)
        self.assertEqual(self.propfind(demo, "/shows/", "1").status, 207)
        self.assertEqual(demo.requests(), [], "the demo sends nothing to the service")
        cert, key = state["stand_in"].cert, state["stand_in"].key
        p = self.start("--tls-cert", cert, "--tls-key", key)
        self.assertTrue(p.url.startswith("https://127.0.0.1:"))
        a = curl(p.url, "PROPFIND", ["Depth: 0"], extra=["--cacert", cert])
        self.assertEqual(a.status, 207)
        self.assertEqual(p.stop(), 0)
        self.assertIn("stopped", p.log())

    def test_proxy_streams_with_ranges(self):
        p = self.start("--proxy")
        p.wait_for("the whole account is listed")
        url = p.url + "seedbox/Big.Buck.Bunny/Big.Buck.Bunny.mp4"
        whole = curl(url)
        self.assertEqual(whole.status, 200)
        sound = service.wav_sound()
        self.assertEqual(whole.body, sound)
        part = curl(url, headers=["Range: bytes=4-11"])
        self.assertEqual((part.status, part.body), (206, sound[4:12]))
        self.assertEqual(part.headers["content-range"], f"bytes 4-11/{len(sound)}")
        tail = curl(url, headers=["Range: bytes=-8"])
        self.assertEqual(tail.status, 206)
        self.assertEqual(curl(url, headers=["Range: bytes=5000-"]).status, 416)
        stale = curl(url, headers=["Range: bytes=0-3", 'If-Range: "0000000000000000"'])
        self.assertEqual(stale.status, 200)
        same = curl(url, headers=["Range: bytes=0-3", "If-Range: " + whole.headers["etag"]])
        self.assertEqual((same.status, same.body), (206, sound[0:4]))

    def test_rclone_lists_the_tree_and_reads_a_file(self):
        if not shutil.which("rclone"):
            self.skipTest("no rclone")
        p = self.start()
        p.wait_for("the whole account is listed")
        env = {**os.environ, "RCLONE_CONFIG": os.path.join(state["tmp"].name, "rclone.conf")}
        remote = [f"--webdav-url={p.url}", "--ca-cert", state["stand_in"].cert]
        run = subprocess.run(["rclone", "lsjson", "-R", ":webdav:", *remote], capture_output=True,
                             text=True, env=env, timeout=120)
        self.assertEqual(run.returncode, 0, run.stderr)
        listed = {e["Path"]: e for e in json.loads(run.stdout)}
        self.assertTrue(listed["shows/Pioneer One/Season 01"]["IsDir"])
        self.assertEqual(listed["shows/Pioneer One/Season 01/Pioneer.One.S01E03.mkv"]["Size"],
                         service.SOUND_LENGTH)
        self.assertIn("seedbox/Subtitled/Subs/show - 1.FR.srt", listed)
        self.assertIn("movies/Show - 1/Show - 1.pt-BR.srt", listed)
        run = subprocess.run(["rclone", "cat", ":webdav:shows/Pioneer One/Season 01/"
                              "Pioneer.One.S01E01.Earthfall.en.srt", *remote],
                             capture_output=True, env=env, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stdout, service.SUBTITLE)

    def test_mpv_plays_an_episode_and_a_season(self):
        if not MPV:
            self.skipTest("no mpv")
        p = self.start()
        p.wait_for("the whole account is listed")
        cert = state["stand_in"].cert
        common = [MPV, "--no-config", "--ytdl=no", "--vo=null", "--ao=null", "--idle=no",
                  "--tls-verify=yes", f"--tls-ca-file={cert}",
                  f"--script={os.path.join(HERE, 'mpv', 'probe.lua')}"]
        episode = p.url + q("shows/Pioneer One/Season 01/Pioneer.One.S01E02.The.Man.from.Mars.mkv")
        run = subprocess.run([*common, episode], capture_output=True, text=True, timeout=120)
        played = [json.loads(line.split("PROBE ", 1)[1]) for line in run.stdout.splitlines()
                  if "PROBE " in line]
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertEqual(len(played), 1)
        run = subprocess.run([*common, p.url + q("shows/Pioneer One/Season 01/") + "?m3u"],
                             capture_output=True, text=True, timeout=120)
        played = [json.loads(line.split("PROBE ", 1)[1]) for line in run.stdout.splitlines()
                  if "PROBE " in line]
        self.assertEqual([urllib.parse.unquote(x["path"]).rsplit("/", 1)[1] for x in played], [
            "Pioneer.One.S01E01.Earthfall.mkv", "Pioneer.One.S01E02.The.Man.from.Mars.mkv",
            "Pioneer.One.S01E03.mkv", "Pioneer.One.S01E10.Finale.mkv"])


def state_downloader():
    downloader, _, _, _ = service.media_account(state["stand_in"].port)
    return downloader


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--plixd", required=True)
    parser.add_argument("--mpv")
    args, rest = parser.parse_known_args()
    PLIXD = os.path.abspath(args.plixd)
    MPV = args.mpv
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
