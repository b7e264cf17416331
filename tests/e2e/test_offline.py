"""plixctl on the demo account: the fake transport, the tour, the small
tools and the exit codes of setup and usage errors. No network, no key.

    test_offline.py --plixctl PATH [unittest options]
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import unittest

PLIXCTL = None
RUNNER = []  # what runs plixctl: nothing, or an emulator (Wine) with its settings
PATH_PREFIX = ""  # how plixctl names the build machine's files ("Z:" under Wine)


def host_path(path):
    return PATH_PREFIX + path
TORRENT = (b"d8:announce34:https://tracker.plix.test/announce4:infod6:lengthi1e"
           b"4:name5:a.mkv12:piece lengthi16384e6:pieces0:ee")


def plixctl(*args, env_extra=None):
    env = {k: v for k, v in os.environ.items() if k != "PLIX_API_KEY"}
    env.update(env_extra or {})
    return subprocess.run([*RUNNER, PLIXCTL, *args], capture_output=True, text=True, env=env,
                          timeout=120)


class Offline(unittest.TestCase):
    def test_demo_tour(self):
        run = plixctl("demo")
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        steps = run.stdout.split("\n== ")
        self.assertEqual(len(steps), 9)
        added = "Sita.Sings.the.Blues.2008.1080p.BluRay.x264.mkv"
        before, after = steps[2], steps[8]
        self.assertTrue(before.startswith("3. ") and after.startswith("9. "))
        self.assertNotIn(added, before)
        self.assertIn("downloader/" + added, after)
        self.assertIn("call plix_allow_writes(1) first", steps[6])

    def test_demo_account_without_a_key(self):
        # No key: the fake transport, whatever the command.
        run = plixctl("--json", "ls", "seedbox")
        self.assertEqual(run.returncode, 0, run.stderr)
        torrents = json.loads(run.stdout)
        self.assertEqual([t["path"] for t in torrents],
                         ["s5e0c47b1a9", "s5e91f3d2c8", "s5eb8a0e6f4"])
        run = plixctl("tree")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("Sintel.2010.2160p.WEB-DL.AAC.H265.mkv", run.stdout)
        # The fixture's torrent link goes the whole way: refused by the
        # downloader, fetched, uploaded to the seedbox.
        link = ("https://demo.plix.invalid/torrents/"
                "Night.of.the.Living.Dead.1968.1080p.BluRay.x264.torrent")
        run = plixctl("--allow-writes", "add", link)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("name: Night.of.the.Living.Dead.1968.1080p.BluRay.x264\n", run.stdout)
        # A key in the environment picks --live; --fake keeps the demo account.
        run = plixctl("--fake", "validate", env_extra={"PLIX_API_KEY": "someone-else"})
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("demo@plix.invalid", run.stdout)

    def test_tools(self):
        with tempfile.TemporaryDirectory() as d:
            torrent, page = os.path.join(d, "a.torrent"), os.path.join(d, "a.html")
            with open(torrent, "wb") as f:
                f.write(TORRENT)
            with open(page, "wb") as f:
                f.write(b"<!doctype html><html><body>nothing here</body></html>")
            magnet = "magnet:?xt=urn:btih:c9e15763f722f23e98a29decdfae341b98d53056"
            for args, code, out in [
                (("is-magnet", magnet), 0, "yes\n"),
                (("is-magnet", "https://example.org/x"), 1, "no\n"),
                (("is-torrent", host_path(torrent)), 0, "yes\n"),
                (("is-torrent", host_path(page)), 1, "no\n"),
                (("is-torrent", host_path(os.path.join(d, "missing"))), 3, ""),
                (("season", "Pioneer.One.S01E05.War.Is.Over.720p.mkv"), 0,
                 "season 1, episode 5 (S01E05)\n"),
                (("season", "Nosferatu"), 1, "no season or episode\n"),
                (("redact", "https://me:pw@h.test/x?apikey=SECRET&a=1"), 0,
                 "https://h.test/x?apikey=***&a=1\n"),
                (("--", "redact", "--not-an-option"), 0, "--not-an-option\n"),
            ]:
                with self.subTest(args=args):
                    run = plixctl(*args)
                    self.assertEqual((run.returncode, run.stdout), (code, out), run.stderr)

    def test_setup_and_usage_errors(self):
        with tempfile.TemporaryDirectory() as d:
            broken = os.path.join(d, "broken.json")
            with open(broken, "w") as f:
                f.write('{"key": "k", "routes": [{"path": "/x", "url": "https://y"}]}')
            empty_key = os.path.join(d, "empty.key")
            open(empty_key, "w").close()
            for args, code, message in [
                (("--library", host_path(os.path.join(d, "libnothing.so")), "ls"), 3,
                 "libnothing.so"),
                (("--fixture", host_path(broken), "ls"), 3,
                 "exactly one of \"path\" and \"url\""),
                (("--key-file", host_path(empty_key), "validate"), 3, "is empty"),
                (("--live", "validate"), 2, "--live needs an API key"),
                (("--fake", "--live", "ls"), 2, "exclude each other"),
                (("ls", "downloader", "seedbox"), 2, "ls takes at most one argument"),
                (("frobnicate",), 2, "unknown command frobnicate"),
                (("--timeout", "soon", "ls"), 2, "--timeout takes a number of seconds"),
                (("ls", "nowhere"), 12, "no such folder: nowhere"),
                (("add", "magnet:?xt=urn:btih:c9e15763f722f23e98a29decdfae341b98d53056"), 17,
                 "--allow-writes"),
            ]:
                with self.subTest(args=args):
                    run = plixctl(*args)
                    self.assertEqual(run.returncode, code, run.stderr)
                    self.assertEqual(run.stdout, "")
                    self.assertEqual(run.stderr.count("\n"), 1, run.stderr)
                    self.assertIn(message, run.stderr)

    def test_help_documents_every_exit_code(self):
        run = plixctl("--help")
        self.assertEqual(run.returncode, 0)
        codes = run.stdout.split("Exit codes")[1]
        for code in (0, 1, 2, 3, *range(11, 20)):
            self.assertRegex(codes, rf"\n  {code} +\S")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--plixctl", required=True)
    parser.add_argument("--runner", default="", help="a command prefix, its words joined by |")
    parser.add_argument("--path-prefix", default="")
    args, rest = parser.parse_known_args()
    PLIXCTL = os.path.abspath(args.plixctl)
    RUNNER = [w for w in args.runner.split("|") if w]
    PATH_PREFIX = args.path_prefix
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
