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

HERE = os.path.dirname(os.path.abspath(__file__))
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
            two_lines = os.path.join(d, "two.key")
            with open(two_lines, "w") as f:
                f.write("first-key\nsecond-key\n")
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
                # Files that cannot be used, and time-outs past one day.
                (("--key-file", host_path(d), "validate"), 3, "cannot read"),
                (("--fixture", host_path(d), "ls"), 3, "cannot read"),
                (("is-torrent", host_path(d)), 3, "cannot read"),
                (("--key-file", host_path(two_lines), "validate"), 3, "more than one line"),
                (("--timeout", "86401", "ls"), 2, "one day"),
                (("--connect-timeout", "99999999999999999999", "ls"), 2, "one day"),
            ]:
                with self.subTest(args=args):
                    run = plixctl(*args)
                    self.assertEqual(run.returncode, code, run.stderr)
                    self.assertEqual(run.stdout, "")
                    self.assertEqual(run.stderr.count("\n"), 1, run.stderr)
                    self.assertIn(message, run.stderr)
                    self.assertNotIn("second-key", run.stderr)

    def test_help_and_readme_agree_on_exit_codes(self):
        run = plixctl("--help")
        self.assertEqual(run.returncode, 0)
        helped = {}
        for line in run.stdout.split("Exit codes\n")[1].splitlines():
            code, _, meaning = line.strip().partition(" ")
            if code.isdigit():
                last = int(code)
                helped[last] = meaning.strip()
            else:
                helped[last] += " " + line.strip()
        self.assertEqual(sorted(helped), [0, 1, 2, 3, *range(11, 20)])
        with open(os.path.join(HERE, "..", "..", "README.md"), encoding="utf-8") as f:
            readme = f.read()
        table = readme.split("| Exit | Meaning |")[1].split("\n\n")[0]
        documented = {}
        for row in table.splitlines()[2:]:
            cells = [c.strip() for c in row.strip("|").split("|")]
            documented[int(cells[0])] = cells[1]
        self.assertEqual(documented, helped)
        # help, --help and --version answer on stdout; a bare plixctl prints
        # a short usage on stderr.
        self.assertEqual(plixctl("help").stdout, run.stdout)
        version = plixctl("--version")
        self.assertEqual((version.returncode, version.stdout), (0, plixctl("version").stdout))
        bare = plixctl()
        self.assertEqual((bare.returncode, bare.stdout), (2, ""))
        self.assertIn("usage: plixctl", bare.stderr)
        self.assertLess(bare.stderr.count("\n"), 6)

    def test_blank_key_says_it_falls_back(self):
        for blank in ("", "  \t"):
            run = plixctl("validate", env_extra={"PLIX_API_KEY": blank})
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertEqual(run.stderr, "plixctl: no API key: the demo account, offline\n")
        self.assertEqual(plixctl("validate").stderr, "")

    def test_folder_paths_round_trip(self):
        torrents = json.loads(plixctl("--json", "ls", "seedbox").stdout)
        # Finished torrents say so: status 100 beside 100 percent.
        self.assertEqual([t["status"] for t in torrents], [100, 100, 4])
        first = torrents[0]["path"]
        listed = plixctl("ls", first).stdout
        for form in (f"/{first}", f"{first}/", f"seedbox/{first}", f"/seedbox/{first}/"):
            with self.subTest(form=form):
                run = plixctl("ls", form)
                self.assertEqual((run.returncode, run.stdout), (0, listed), run.stderr)
        paths = [line.split()[-1] for line in listed.splitlines()[1:]]
        for path in paths[:2] + ["seedbox/" + paths[0], "/" + paths[1]]:
            with self.subTest(path=path):
                run = plixctl("stream", path)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertTrue(run.stdout.startswith("https://"))
        run = plixctl("ls", "s999")
        self.assertEqual((run.returncode, run.stderr), (12, "plixctl: no torrent folder s999\n"))
        run = plixctl("ls", "seedbox/s999")
        self.assertEqual((run.returncode, run.stderr), (12, "plixctl: no torrent folder s999\n"))

    def test_control_characters_are_escaped(self):
        # Names from the service and from torrent makers reach a terminal:
        # tables and trees escape them, --json keeps them exact.
        evil = "Evil\x1b[31mRed\nsecond line\tand\x07bell\u0085"
        fixture = {"key": "k", "magnet": "magnet:?xt=urn:btih:" + "0" * 40, "routes": [
            {"path": "/downloader/list?page=0&perPage=50", "body": {"success": True, "value": []}},
            {"path": "/seedbox/list?page=-1&perPage=-1",
             "body": {"success": True, "value": [{"id": "t1", "name": evil, "status": 100,
                                                  "totalSize": 1}]}},
            {"path": "/seedbox/list?ids=t1",
             "body": {"success": True, "value": [{"id": "t1", "name": evil, "files": [
                 {"id": "t1-0", "name": evil + ".mkv", "size": 5,
                  "downloadUrl": "https://dl.test/1"}]}]}}]}
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "evil.json")
            with open(path, "w") as f:
                json.dump(fixture, f)
            shown = "Evil\\e[31mRed\\nsecond line\\tand\\x07bell\\u0085"
            for args in (("ls", "seedbox"), ("ls", "st1"), ("tree",)):
                with self.subTest(args=args):
                    run = plixctl("--fixture", host_path(path), *args)
                    self.assertEqual(run.returncode, 0, run.stderr)
                    self.assertIn(shown, run.stdout)
                    for raw in ("\x1b", "\x07", "\t", "\u0085"):
                        self.assertNotIn(raw, run.stdout)
                    self.assertNotIn("second line", run.stdout.replace("\\nsecond line", ""))
            run = plixctl("--fixture", host_path(path), "--json", "ls", "st1")
            self.assertEqual(json.loads(run.stdout)[0]["name"], evil + ".mkv")
            run = plixctl("--fixture", host_path(path), "stream", "st1/" + shown + ".mkv")
            self.assertEqual((run.returncode, run.stdout), (0, "https://dl.test/1\n"), run.stderr)


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
