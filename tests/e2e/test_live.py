"""The live transport of the project's hosts (tools/live) against the local
HTTPS stand-in: which requests are sent again and when, the time-out that
bounds a whole exchange, and cancelling one from another thread. Each case
is one run of tests/live_fetch.cpp, built on the platform's stack (libcurl,
or WinHTTP under Wine).

    test_live.py --live-fetch PATH [--runner WINE...] [--path-prefix Z:]
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import standin  # noqa: E402

KEY = "live E2E key"
API_HOST = "debrid-link.com"
LIVE_FETCH = None
RUNNER = []
PATH_PREFIX = ""
state = {}


def setUpModule():
    tmp = tempfile.TemporaryDirectory(prefix="plix-live-")
    state["tmp"] = tmp
    state["stand_in"] = standin.StandIn(tmp.name, KEY, API_HOST)


def tearDownModule():
    try:
        state["stand_in"].stop()
    finally:
        state["tmp"].cleanup()


class Fetched:
    pass


def fetch(path, *options, key=True):
    """One exchange for path on the API host; what live_fetch printed."""
    stand_in = state["stand_in"]
    url = f"https://{API_HOST}/api/v2{path}"
    if key:
        url += ("&" if "?" in url else "?") + "apikey=" + KEY.replace(" ", "%20")
    mark = stand_in.mark()
    started = time.monotonic()
    proc = subprocess.run([*RUNNER, LIVE_FETCH, "--cacert", PATH_PREFIX + stand_in.cert,
                           "--connect-to", f"{API_HOST}:443:127.0.0.1:{stand_in.port}",
                           *options, url], capture_output=True, text=True, timeout=120)
    f = Fetched()
    f.seconds = time.monotonic() - started
    f.lines = proc.stdout.splitlines()
    f.first = f.lines[0] if f.lines else proc.stderr
    f.values = dict(line.split(" ", 1) for line in f.lines[1:] if " " in line)
    f.requests = [r for r in stand_in.requests_since(mark) if r["method"] != "HEAD"]
    return f


class Live(unittest.TestCase):
    def tearDown(self):
        state["stand_in"].control(reset=True)

    def faults(self, *rules):
        state["stand_in"].control(faults=list(rules))

    def test_reads_are_sent_again_writes_never(self):
        refusal = {"success": False, "error": "internalError"}
        for fault, sent, first in [
            ({"status": 503, "body": refusal}, 2, "HTTP 200"),
            ({"status": 500, "body": "oops"}, 2, "HTTP 200"),
            ({"status": 429, "body": refusal, "headers": {"Retry-After": "1"}}, 2, "HTTP 200"),
            ({"drop": True}, 2, "HTTP 200"),
            ({"status": 404, "body": {"success": False, "error": "notFound"}}, 1, "HTTP 404"),
            ({"status": 400, "body": {"success": False, "error": "floodDetected"}}, 1, "HTTP 400"),
            ({"status": 429, "body": {"success": False, "error": "floodDetected"}}, 1, "HTTP 429"),
        ]:
            with self.subTest(fault=fault):
                self.faults({"match": "GET /api/v2/account/infos", "times": 1, **fault})
                f = fetch("/account/infos")
                self.assertEqual((f.first, f.values["sent"]), (first, str(sent)), f.lines)
                self.assertEqual(len(f.requests), sent)
        # A repeat waits as long as the answer asks.
        self.faults({"match": "account/infos", "times": 1, "status": 503, "body": "",
                     "headers": {"Retry-After": "2"}})
        f = fetch("/account/infos")
        self.assertEqual(f.first, "HTTP 200")
        self.assertGreaterEqual(f.seconds, 2)
        # At most twice again; then the last answer stands.
        self.faults({"match": "account/infos", "status": 503, "body": ""})
        f = fetch("/account/infos")
        self.assertEqual((f.first, f.values["sent"], len(f.requests)), ("HTTP 503", "3", 3))
        # A POST, which may have changed the account, is never repeated.
        for fault in [{"status": 503, "body": ""}, {"drop": True}]:
            with self.subTest(post=fault):
                self.faults({"match": "POST /api/v2/downloader/add", **fault})
                f = fetch("/downloader/add?url=x", "--post")
                self.assertEqual(f.values["sent"], "1")
                self.assertEqual(len(f.requests), 1)

    def test_a_long_wait_is_not_waited_for_and_says_how_long(self):
        self.faults({"match": "account/infos", "status": 429, "body": {
            "success": False, "error": "tooManyRequests"}, "headers": {"Retry-After": "3600"}})
        f = fetch("/account/infos")
        self.assertEqual((f.first, f.values["sent"]), ("HTTP 429", "1"))
        self.assertEqual(f.values.get("wait"), "3600")
        self.assertLess(f.seconds, 10)

    def test_the_time_out_bounds_the_whole_exchange(self):
        # Each attempt stalls: the repeats share one time-out.
        self.faults({"match": "account/infos", "stall": 3, "status": 503, "body": ""})
        f = fetch("/account/infos", "--timeout", "4")
        self.assertLess(f.seconds, 8)
        self.assertLessEqual(int(f.values["sent"]), 2)
        # A stalled answer ends at the time-out.
        self.faults({"match": "account/infos", "stall": 30})
        f = fetch("/account/infos", "--timeout", "2")
        self.assertNotEqual(f.first, "HTTP 200")
        self.assertLess(f.seconds, 8)

    def test_cancel_ends_the_exchange_at_once(self):
        self.faults({"match": "account/infos", "stall": 30})
        f = fetch("/account/infos", "--timeout", "60", "--cancel-after", "500")
        print(f"  cancelled after 0.5 s of a stall: ended after {f.seconds:.2f} s",
              file=sys.stderr)
        self.assertEqual(f.first, "cancelled")
        self.assertLess(f.seconds, 20 if RUNNER else 5)
        # Also while waiting to send a read again.
        self.faults({"match": "account/infos", "status": 503, "body": "",
                     "headers": {"Retry-After": "10"}})
        f = fetch("/account/infos", "--timeout", "60", "--cancel-after", "500")
        self.assertEqual(f.first, "cancelled")
        self.assertEqual(f.values["sent"], "1")
        self.assertLess(f.seconds, 20 if RUNNER else 5)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--live-fetch", required=True)
    parser.add_argument("--runner", default="")
    parser.add_argument("--path-prefix", default="")
    args, rest = parser.parse_known_args()
    LIVE_FETCH = os.path.abspath(args.live_fetch)
    RUNNER = [part for part in args.runner.split("|") if part]
    PATH_PREFIX = args.path_prefix
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
