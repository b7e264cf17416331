"""mpv with the plix plug-in against a local HTTPS stand-in for the service
(service.py --account mpv): Debian's mpv, headless, plays the account's
addresses, and what it played is read from a probe script's lines and from
what the stand-in received.

    test_mpv.py --mpv PATH --plugin PATH [unittest options]

The stand-in serves the API under the service's host name (the plug-in
reaches it through plix-connect-to and trusts it through plix-cacert) and
the media under localhost, which mpv opens itself with TLS verified. Every
run checks that the key appears in no output, no log and no URL.
"""

import argparse
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import service  # noqa: E402
import standin  # noqa: E402

KEY = "mpv E2E key+/&=9"
API_HOST = "debrid-link.com"
MPV = None
PLUGIN = None
state = {}


def setUpModule():
    tmp = tempfile.TemporaryDirectory(prefix="plix-mpv-")
    state["tmp"] = tmp
    stand_in = standin.StandIn(tmp.name, KEY, API_HOST, account="mpv")
    state["stand_in"] = stand_in
    state["cert"] = stand_in.cert
    state["port"] = stand_in.port
    state["downloader"], state["torrents"], _, _ = service.media_account(state["port"])


def tearDownModule():
    try:
        state["stand_in"].stop()
    finally:
        state["tmp"].cleanup()


def requests_since(mark):
    return state["stand_in"].requests_since(mark)


class Run:
    pass


class Mpv(unittest.TestCase):
    def mpv(self, *addresses, key=KEY, opts=(), probe_max=0, log_file=None, env_extra=None,
            config_dir=None, args=()):
        env = {k: v for k, v in os.environ.items()
               if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "plix_api_key")}
        if key is not None:
            env["PLIX_API_KEY"] = key
        env.update(env_extra or {})
        script_opts = [f"plix-cacert={state['cert']}",
                       f"plix-connect-to={API_HOST}:443:127.0.0.1:{state['port']}",
                       "plix-timeout=20", f"probe-max={probe_max}", *opts]
        config = [f"--config-dir={config_dir}"] if config_dir else ["--no-config"]
        command = [MPV, *config, "--ytdl=no", "--vo=null", "--ao=null", "--idle=no",
                   "--no-resume-playback", "--tls-verify=yes", f"--tls-ca-file={state['cert']}",
                   f"--script={PLUGIN}", f"--script={os.path.join(HERE, 'mpv', 'probe.lua')}",
                   "--script-opts=" + ",".join(script_opts), *args]
        if log_file:
            command += [f"--log-file={log_file}", "--msg-level=all=debug"]
        mark = state["stand_in"].mark()
        started = time.monotonic()
        proc = subprocess.run(command + list(addresses), capture_output=True, text=True,
                              env=env, timeout=300, cwd=state["tmp"].name)
        run = Run()
        run.code, run.out, run.err = proc.returncode, proc.stdout, proc.stderr
        run.seconds = time.monotonic() - started
        run.requests = requests_since(mark)
        run.played = [json.loads(line.split("PROBE ", 1)[1])
                      for line in (proc.stdout + proc.stderr).splitlines() if "PROBE " in line]
        run.said = [line[line.index("plix: "):] for line in (proc.stdout + proc.stderr).splitlines()
                    if "plix: " in line]
        # A failed entry fails quietly: never mpv's word that the scheme has
        # no protocol handler, or was left out when mpv was built.
        self.assertNotIn("No protocol handler", proc.stdout + proc.stderr)
        self.assertNotIn("disabled at compile-time", proc.stdout + proc.stderr)
        texts = [run.out, run.err]
        if log_file:
            with open(log_file, encoding="utf-8", errors="replace") as f:
                texts.append(f.read())
        for secret in (KEY, urllib.parse.quote(KEY, safe=""), urllib.parse.quote_plus(KEY)):
            for text in texts:
                self.assertNotIn(secret, text, "the key leaked")
        for r in run.requests:
            self.assertFalse(r["key_in_query"], r)
            if r["host"] == API_HOST:
                self.assertTrue(r["auth_header"] and r["key_ok"] or key != KEY, r)
            else:
                self.assertFalse(r["auth_header"], r)
        return run

    def titles(self, run):
        return [p["title"] for p in run.played]

    def media(self, run):
        """The media paths mpv fetched, in order (subtitles left out)."""
        return [urllib.parse.unquote(r["path"]) for r in run.requests
                if r["host"] == service.MEDIA_HOST and not r["path"].endswith(".srt")]

    def test_downloader_plays_media_in_order(self):
        run = self.mpv("debridlink://downloader")
        self.assertEqual(run.code, 0, run.out + run.err)
        expected = [r["name"] for r in state["downloader"] if not r["name"].endswith(".nfo")]
        self.assertEqual(self.titles(run), expected)
        self.assertEqual([p["path"] for p in run.played],
                         [f"debridlink://downloader/{r['id']}" for r in state["downloader"]
                          if not r["name"].endswith(".nfo")])
        self.assertEqual(len(self.media(run)), 3)
        # The playlist's own titles: quotes, backslashes, non-ASCII kept.
        self.assertEqual([e["title"] for e in run.played[0]["playlist"]], expected)

    def test_root_then_folders(self):
        run = self.mpv("debridlink://", probe_max=4)
        self.assertEqual(self.titles(run)[:3],
                         [r["name"] for r in state["downloader"] if not r["name"].endswith(".nfo")])
        self.assertEqual(run.played[3]["path"], "debridlink://seedbox/tS1/tS1-4")

    def test_torrent_in_season_order_with_subtitles(self):
        run = self.mpv("debridlink://seedbox/tS1")
        self.assertEqual(run.code, 0, run.out + run.err)
        self.assertEqual(self.titles(run), ["Pioneer.One.S01E01.Earthfall.mkv",
                                            "Pioneer.One.S01E02.The.Man.from.Mars.mkv",
                                            "Pioneer.One.S01E03.mkv",
                                            "Pioneer.One.S01E10.Finale.mkv"])
        self.assertEqual([m.rsplit("/", 1)[1] for m in self.media(run)], self.titles(run))
        # The episode's subtitle file is attached to it, and to it alone.
        subs = [p["subs"] for p in run.played]
        self.assertEqual(len(subs[0]), 1)
        self.assertTrue(subs[0][0].endswith("/Pioneer.One.S01E01.Earthfall.en.srt"), subs[0])
        self.assertEqual(subs[1:], [[], [], []])
        # The episodes reuse the torrent's listing: the seedbox and the
        # torrent are each listed once for the whole season.
        api = [(r["path"], r["query"]) for r in run.requests if r["host"] == API_HOST]
        self.assertEqual(api, [("/api/v2/seedbox/list", [["page", "-1"], ["perPage", "-1"]]),
                               ("/api/v2/seedbox/list", [["ids", "tS1"]])])
        # Every file: the .nfo, the cover and the subtitle join the list.
        run = self.mpv("debridlink://seedbox/tS1", opts=["plix-all-files=yes"], probe_max=1)
        self.assertEqual(run.played[0]["count"], 7)
        self.assertIn("cover.jpg", [e["title"] for e in run.played[0]["playlist"]])

    def test_seedbox_titles_and_a_torrent_not_ready(self):
        run = self.mpv("debridlink://seedbox", probe_max=1)
        entries = run.played[0]["playlist"]
        self.assertIn({"title": "Sintel.2010.2160p [downloading]",
                       "filename": "debridlink://seedbox/tDL"}, entries)
        self.assertIn({"title": "Big.Buck.Bunny", "filename": "debridlink://seedbox/tSEED"},
                      entries)
        run = self.mpv("debridlink://seedbox/tDL")
        self.assertEqual(run.code, 2)
        self.assertIn("plix: debridlink://seedbox/tDL: Sintel.2010.2160p is not ready to play yet "
                      "(downloading)", run.said)
        self.assertEqual(self.media(run), [])
        # Seeding counts as ready.
        run = self.mpv("debridlink://seedbox/tSEED")
        self.assertEqual((run.code, self.titles(run)), (0, ["Big.Buck.Bunny.mp4"]))

    def test_large_torrent_is_one_playlist(self):
        run = self.mpv("debridlink://seedbox/tHUGE", probe_max=1)
        self.assertEqual(run.played[0]["count"], 10000)
        # (A playlist this long floods the probe script's event queue, which
        # may drop the first file's event: the stand-in's log tells.)
        self.assertTrue(self.media(run)[0].endswith("/Archive/Reel.00000.mkv"), self.media(run))
        print(f"  10 000 files: mpv started, listed and played the first in {run.seconds:.2f} s",
              file=sys.stderr)
        self.assertLess(run.seconds, 30)

    def test_failures_are_one_line_and_the_entry_fails(self):
        for address, key, message in [
            ("debridlink://seedbox/tNONE", KEY, "no torrent tNONE in the seedbox"),
            ("debridlink://downloader", "wrong-key-5678", "Debrid-Link error badToken"),
            ("debridlink://downloader", None, "no API key: set PLIX_API_KEY or plix-key-file"),
            ("debridlink://elsewhere", KEY, "no such address"),
        ]:
            with self.subTest(address=address, key=key):
                run = self.mpv(address, key=key)
                self.assertEqual(run.code, 2, run.out + run.err)
                # One line (the terminal shows the OSD's copy of it too).
                self.assertEqual(len(set(run.said)), 1, run.said)
                self.assertIn(message, run.said[0])
                self.assertTrue(run.said[0].startswith(f"plix: {address}: "))
                if key is None:
                    self.assertEqual(run.requests, [], "no key, nothing sent")
        # The service out of reach, or silent: one line within the time-out.
        with socket.socket() as closed, socket.socket() as silent:
            closed.bind(("127.0.0.1", 0))
            silent.bind(("127.0.0.1", 0))
            silent.listen(4)  # accepts, and never answers
            for port, message in [(closed.getsockname()[1], "curl: "),
                                  (silent.getsockname()[1], "curl: ")]:
                with self.subTest(port=port):
                    run = self.mpv("debridlink://downloader",
                                   opts=[f"plix-connect-to={API_HOST}:443:127.0.0.1:{port}",
                                         "plix-timeout=2"])
                    self.assertEqual(run.code, 2, run.out + run.err)
                    self.assertEqual(len(set(run.said)), 1, run.said)
                    self.assertIn(message, run.said[0])
                    self.assertIn("apikey=***", run.said[0])
                    self.assertLess(run.seconds, 15)
        # One failing entry among good ones: mpv moves on and says so (3).
        run = self.mpv("debridlink://seedbox/tDL", "debridlink://seedbox/tSEED")
        self.assertEqual((run.code, self.titles(run)), (3, ["Big.Buck.Bunny.mp4"]))

    def test_key_file_and_debug_log(self):
        key_file = os.path.join(state["tmp"].name, "plix.key")
        with open(key_file, "w") as f:
            f.write(KEY + "\n")
        log = os.path.join(state["tmp"].name, "mpv.log")
        run = self.mpv("debridlink://seedbox/tSEED", key=None, opts=[f"plix-key-file={key_file}"],
                       log_file=log)
        self.assertEqual((run.code, self.titles(run)), (0, ["Big.Buck.Bunny.mp4"]))
        with open(log, encoding="utf-8", errors="replace") as f:
            self.assertIn("Big.Buck.Bunny.mp4", f.read())
        # Options from script-opts/plix.conf in mpv's config folder.
        home = os.path.join(state["tmp"].name, "config")
        os.makedirs(os.path.join(home, "script-opts"), exist_ok=True)
        with open(os.path.join(home, "script-opts", "plix.conf"), "w") as f:
            f.write(f"# plix\nkey-file={key_file}\nall-files=yes\n")
        run = self.mpv("debridlink://seedbox/tS1", key=None, probe_max=1, config_dir=home)
        self.assertEqual(run.played[0]["count"], 7)

    def test_subtitles_belong_to_their_video_with_their_language(self):
        ids = {f["name"]: f["id"] for t in state["torrents"] if t["id"] == "tSUB"
               for f in t["files"]}
        videos = ["Show - 1.mkv", "Show - 10.mkv", "Movie.mkv", "Movie.Extended.mkv"]
        run = self.mpv(*[f"debridlink://seedbox/tSUB/{ids[v]}" for v in videos])
        self.assertEqual((run.code, self.titles(run)), (0, videos), run.out + run.err)

        def tracks(played):
            return [(urllib.parse.unquote(t["file"]).rsplit("/", 1)[1], t["lang"], t["title"],
                     t["selected"]) for t in played["tracks"]]
        self.assertEqual(tracks(run.played[0]), [
            ("Show - 1.en.srt", "en", "English", True),
            ("show - 1.FR.srt", "fr", "French", False),  # in a folder, in another case
            ("Show - 1.pt-BR.srt", "pt-BR", "Portuguese (BR)", False)])
        self.assertEqual(tracks(run.played[1]), [("Show - 10.srt", "", "Show - 10.srt", True)])
        self.assertEqual(tracks(run.played[2]), [])  # the extended cut's is not its own
        self.assertEqual(tracks(run.played[3]), [("Movie.Extended.en.srt", "en", "English", True)])
        # --slang chooses among them.
        for slang, shown in [("fr", "show - 1.FR.srt"), ("pt-BR,en", "Show - 1.pt-BR.srt"),
                             ("de,eng", "Show - 1.en.srt")]:
            with self.subTest(slang=slang):
                run = self.mpv(f"debridlink://seedbox/tSUB/{ids['Show - 1.mkv']}",
                               args=[f"--slang={slang}"])
                self.assertEqual([t[0] for t in tracks(run.played[0]) if t[3]], [shown])
        run = self.mpv(f"debridlink://seedbox/tSUB/{ids['Show - 1.mkv']}", args=["--sid=no"])
        self.assertEqual([t for t in tracks(run.played[0]) if t[3]], [])

    def test_every_downloader_link_and_links_added_later(self):
        stand_in = state["stand_in"]
        try:
            stand_in.control(add_links=49)  # 53 links: two pages
            run = self.mpv("debridlink://downloader", probe_max=1)
            entries = run.played[0]["playlist"]
            self.assertEqual(len(entries), 52)  # every link but the .nfo
            self.assertEqual(entries[-1]["filename"], "debridlink://downloader/dl4")
            pages = [r["query"][0][1] for r in run.requests
                     if r["path"] == "/api/v2/downloader/list"]
            self.assertEqual(pages, ["0", "1"])
            # Links added on the site push the last ones onto a further page;
            # an entry of the playlist made before still plays.
            stand_in.control(add_links=5)
            run = self.mpv("debridlink://downloader/dl4")
            self.assertEqual((run.code, self.titles(run)), (0, ["Nosferatu.1922.flac"]))
        finally:
            stand_in.control(reset=True)
        # An entry whose file is gone is named by its title, not its id.
        playlist = ("memory://#EXTM3U\n#EXTINF:0,Gone.Film.mkv\n"
                    "debridlink://seedbox/tS1/tS1-99\n")
        run = self.mpv(playlist)
        self.assertIn("plix: debridlink://seedbox/tS1/tS1-99: no file Gone.Film.mkv in the torrent",
                      run.said)

    def test_quit_and_next_during_a_stall(self):
        stand_in = state["stand_in"]
        try:
            stand_in.control(faults=[{"match": "ids=tS1", "stall": 30}])
            run = self.mpv("debridlink://seedbox/tS1/tS1-4", opts=["probe-quit-after=1"])
            print(f"  quit during a 30 s stall: mpv exited after {run.seconds:.2f} s",
                  file=sys.stderr)
            self.assertEqual(run.code, 4)
            self.assertLess(run.seconds, 5)
            self.assertEqual(run.said, [], "quitting is not a failure to report")
            run = self.mpv("debridlink://seedbox/tS1/tS1-4", "debridlink://seedbox/tSEED",
                           opts=["probe-next-after=1"])
            print(f"  next during a 30 s stall: the next entry played after {run.seconds:.2f} s",
                  file=sys.stderr)
            self.assertEqual((run.code, self.titles(run)), (0, ["Big.Buck.Bunny.mp4"]))
            self.assertLess(run.seconds, 5)
        finally:
            stand_in.control(reset=True)

    def test_a_service_that_hiccups(self):
        stand_in = state["stand_in"]
        listing = "GET /api/v2/downloader/list"
        try:
            # One 503, one 429 with Retry-After, one dropped connection: each
            # read is sent again and the entry plays.
            for fault in [{"status": 503, "body": "busy"},
                          {"status": 429, "body": {"success": False, "error": "tooManyRequests"},
                           "headers": {"Retry-After": "1"}},
                          {"drop": True}]:
                with self.subTest(fault=fault):
                    stand_in.control(faults=[{"match": listing, "times": 1, **fault}])
                    run = self.mpv("debridlink://downloader", probe_max=1)
                    self.assertEqual(run.code, 0, run.out + run.err)
                    self.assertEqual(len(self.titles(run)), 1)
                    listed = [r for r in run.requests if r["path"] == "/api/v2/downloader/list"]
                    self.assertEqual([bool(r.get("fault")) for r in listed], [True, False])
                    if "status" in fault and fault["status"] == 429:
                        self.assertGreater(run.seconds, 1)
            # The service down in the middle of a season: three entries fail,
            # and the playlist stops there instead of running through the rest.
            stand_in.control(faults=[{"match": "/api/v2/", "status": 503, "body": "down"}])
            season = [f"debridlink://seedbox/tS1/tS1-{i % 7}" for i in range(20)]
            run = self.mpv(*season)
            api = [r for r in run.requests if r["host"] == API_HOST]
            print(f"  20 entries with the service down: {len(api)} requests, "
                  f"{run.seconds:.2f} s", file=sys.stderr)
            self.assertLessEqual(len(api), 6)
            self.assertIn("plix: the service failed for 3 entries in a row; the playlist stops "
                          "here", run.said)
            self.assertEqual(len({line for line in run.said if "HTTP 503" in line}), 3)
            # floodDetected, whatever its status: never sent again, and the
            # playlist stops at once.
            for status in (400, 429, 503):
                with self.subTest(flood=status):
                    stand_in.control(faults=[{"match": "/api/v2/", "status": status, "body": {
                        "success": False, "error": "floodDetected",
                        "error_description": "Too many requests"}}])
                    run = self.mpv(*season[:5])
                    api = [r for r in run.requests if r["host"] == API_HOST]
                    self.assertEqual(len(api), 1)
                    self.assertIn("plix: the service asked plix to slow down (floodDetected); "
                                  "the playlist stops here", run.said)
        finally:
            stand_in.control(reset=True)

    def test_adding_is_off_unless_asked(self):
        hoster = f"{service.HOSTER}film"
        magnet = "magnet:?xt=urn:btih:" + "c9e15763f722f23e98a29decdfae341b98d53056"
        for address in (f"debridlink://add/{hoster}", magnet):
            with self.subTest(address=address):
                run = self.mpv(address)
                self.assertEqual(run.code, 2)
                self.assertEqual(run.requests, [], "adding is off: nothing sent")
                self.assertIn("plix-add=yes", run.said[0])
        # A value that is no yes or no leaves adding off, and is not repeated.
        run = self.mpv(magnet, magnet, opts=["plix-add=maybe-secret"])
        self.assertEqual(run.requests, [])
        self.assertIn("plix: plix-add takes yes or no; ignored", run.said)
        # Said once, not once per entry (the OSD's copy aside).
        self.assertLessEqual(run.said.count("plix: plix-add takes yes or no; ignored"), 2)
        self.assertNotIn("maybe-secret", run.out + run.err)
        for address, title in [(f"debridlink://add/{hoster}", "Nosferatu.1922.1080p.mkv"),
                               (magnet, "Night.of.the.Living.Dead.1968.mkv")]:
            with self.subTest(address=address):
                run = self.mpv(address, opts=["plix-add=yes"])
                self.assertEqual((run.code, self.titles(run)), (0, [title]), run.out + run.err)
                added = [r for r in run.requests if r["path"] == "/api/v2/downloader/add"]
                self.assertEqual(len(added), 1)
                self.assertIn(f"plix: added {title}", run.said)
        # Added, but nothing to play yet: said so, and the entry fails.
        run = self.mpv(magnet + "&dn=pending", opts=["plix-add=yes"])
        self.assertEqual(run.code, 2)
        self.assertIn("added pending; it is not ready to play yet", run.said[0])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--mpv", required=True)
    parser.add_argument("--plugin", required=True)
    args, rest = parser.parse_known_args()
    MPV = args.mpv
    PLUGIN = os.path.abspath(args.plugin)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
