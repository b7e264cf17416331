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
import signal
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

KEY = "mpv E2E key+/&=9"
API_HOST = "debrid-link.com"
MPV = None
PLUGIN = None
state = {}


def setUpModule():
    tmp = tempfile.TemporaryDirectory(prefix="plix-mpv-")
    state["tmp"] = tmp
    d = tmp.name
    cert, key = os.path.join(d, "cert.pem"), os.path.join(d, "key.pem")
    names = [API_HOST, *service.HOSTS, service.MEDIA_HOST]
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj", "/CN=plix mpv",
                    "-keyout", key, "-out", cert, "-addext",
                    "subjectAltName=" + ",".join("DNS:" + n for n in names) + ",IP:127.0.0.1"],
                   check=True, capture_output=True)
    state["cert"] = cert
    state["log"] = os.path.join(d, "requests.log")
    port_file = os.path.join(d, "port")
    state["service_err"] = open(os.path.join(d, "service.err"), "w+")
    proc = subprocess.Popen([sys.executable, os.path.join(HERE, "service.py"), "--cert", cert,
                             "--key", key, "--port-file", port_file, "--log", state["log"],
                             "--api-key", KEY, "--api-host", API_HOST, "--account", "mpv"],
                            stdout=subprocess.DEVNULL, stderr=state["service_err"])
    state["proc"] = proc
    deadline = time.monotonic() + 15
    while not os.path.exists(port_file):
        if proc.poll() is not None or time.monotonic() > deadline:
            raise RuntimeError("the test service did not start")
        time.sleep(0.05)
    with open(port_file) as f:
        state["port"] = int(f.read())
    state["downloader"], state["torrents"], _, _ = service.media_account(state["port"])


def tearDownModule():
    proc = state["proc"]
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    state["service_err"].seek(0)
    errors = state["service_err"].read()
    state["service_err"].close()
    state["tmp"].cleanup()
    if errors:
        raise RuntimeError("the test service failed:\n" + errors)


def requests_since(mark):
    if not os.path.exists(state["log"]):
        return []
    with open(state["log"], encoding="utf-8") as f:
        return [json.loads(line) for line in f.readlines()[mark:]]


class Run:
    pass


class Mpv(unittest.TestCase):
    def mpv(self, *addresses, key=KEY, opts=(), probe_max=0, log_file=None, env_extra=None,
            config_dir=None):
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
                   "--script-opts=" + ",".join(script_opts)]
        if log_file:
            command += [f"--log-file={log_file}", "--msg-level=all=debug"]
        mark = len(requests_since(0))
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
        run = self.mpv(magnet, opts=["plix-add=maybe-secret"])
        self.assertEqual((run.code, run.requests), (2, []))
        self.assertIn("plix: plix-add takes yes or no; ignored", run.said)
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
