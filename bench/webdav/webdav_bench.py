"""plixd beside rclone serve webdav, on the same folder and the same load.

    webdav_bench.py --plixd PATH [--seconds N] [--torrents N --files-each M --links L]

Starts the stand-in service with a large account (5 000 torrents of 20
episodes each and 1 500 downloader links by default), plixd against it with
a high --rate, and, for the reference, rclone serve webdav over a local tree
of empty files that mirrors plixd's downloader folder. wrk sends depth-1
PROPFINDs of that folder to each with 16 connections. It prints a Markdown
table: requests a second of both, the ratio, plixd's resident memory once
the whole account is listed (and at its highest), the time of a depth-1
PROPFIND of /seedbox
(5 000 entries, first and cached), how long the whole listing took, and
the most requests plixd sent the service in any one second.

Everything listens on 127.0.0.1 and stops when the run ends.
"""

import argparse
import html
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
import standin  # noqa: E402

KEY = "bench key"
API_HOST = "debrid-link.com"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def rss_mib(pid, field="VmRSS"):
    """A process's resident memory now (VmRSS), or at its highest (VmHWM)."""
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024
    return float("nan")


def wrk(url, seconds, connections=16):
    run = subprocess.run(["wrk", "-t2", f"-c{connections}", f"-d{seconds}s",
                          "-s", os.path.join(HERE, "propfind.lua"), url],
                         capture_output=True, text=True, timeout=seconds + 60)
    found = re.search(r"Requests/sec:\s+([0-9.]+)", run.stdout)
    errors = re.search(r"Non-2xx or 3xx responses: (\d+)", run.stdout)
    if not found:
        raise RuntimeError("wrk: " + run.stdout + run.stderr)
    return float(found.group(1)), int(errors.group(1)) if errors else 0


def propfind_seconds(url):
    run = subprocess.run(["curl", "-s", "-o", "/dev/null", "-w", "%{http_code} %{time_total}",
                          "-X", "PROPFIND", "-H", "Depth: 1", url], capture_output=True,
                         text=True, timeout=120)
    code, seconds = run.stdout.split()
    if code != "207":
        raise RuntimeError(f"PROPFIND {url}: {code}")
    return float(seconds)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--plixd", required=True)
    p.add_argument("--seconds", type=int, default=10)
    p.add_argument("--torrents", type=int, default=5000)
    p.add_argument("--files-each", type=int, default=20)
    p.add_argument("--links", type=int, default=1500)
    p.add_argument("--rate", type=float, default=200)
    args = p.parse_args()
    for tool in ("wrk", "rclone"):
        if not shutil.which(tool):
            sys.exit(f"webdav_bench: {tool} is missing (make deps-bench installs it)")

    tmp = tempfile.TemporaryDirectory(prefix="plix-webdav-bench-")
    procs = []
    stand_in = None
    try:
        stand_in = standin.StandIn(tmp.name, KEY, API_HOST, account="big", extra_args=[
            "--torrents", str(args.torrents), "--files-each", str(args.files_each),
            "--links", str(args.links)])
        err = open(os.path.join(tmp.name, "plixd.err"), "w+")
        started = time.monotonic()
        plixd = subprocess.Popen([args.plixd, "--listen", "127.0.0.1:0", "--rate", str(args.rate),
                                  "--refresh", "3600", "--cacert", stand_in.cert, "--connect-to",
                                  f"{API_HOST}:443:127.0.0.1:{stand_in.port}"],
                                 stdout=subprocess.PIPE, stderr=err, text=True,
                                 env={**os.environ, "PLIX_API_KEY": KEY})
        procs.append(plixd)
        url = plixd.stdout.readline().split()[-1]
        while True:
            err.flush()
            with open(err.name) as f:
                if "the whole account is listed" in f.read():
                    break
            if plixd.poll() is not None or time.monotonic() - started > 1800:
                raise RuntimeError("plixd did not list the account")
            time.sleep(0.5)
        listed_in = time.monotonic() - started
        times = sorted(r["time"] for r in stand_in.requests_since(0) if r["host"] == API_HOST)
        most = max(len([u for u in times[i:] if u < t + 1.0]) for i, t in enumerate(times))
        rss_listed = rss_mib(plixd.pid)
        seedbox_first = propfind_seconds(url + "seedbox/")
        seedbox_cached = min(propfind_seconds(url + "seedbox/") for _ in range(5))

        # The reference: the downloader folder as local empty files.
        tree = os.path.join(tmp.name, "tree", "downloader")
        os.makedirs(tree)
        listing = subprocess.run(["curl", "-s", url + "downloader/"], capture_output=True,
                                 text=True).stdout
        names = [html.unescape(n) for n in
                 re.findall(r'<a href="/downloader/[^"?]+">([^<]+)</a>', listing)]
        for n in names:
            open(os.path.join(tree, n), "w").close()
        port = free_port()
        rclone = subprocess.Popen(["rclone", "serve", "webdav", "--addr", f"127.0.0.1:{port}",
                                   os.path.join(tmp.name, "tree")],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  env={**os.environ, "RCLONE_CONFIG": os.path.join(tmp.name, "rc")})
        procs.append(rclone)
        deadline = time.monotonic() + 30
        while subprocess.run(["curl", "-s", "-o", "/dev/null", "-X", "PROPFIND", "-H",
                              "Depth: 0", f"http://127.0.0.1:{port}/"]).returncode != 0:
            if time.monotonic() > deadline:
                raise RuntimeError("rclone serve webdav did not start")
            time.sleep(0.2)

        ours, our_errors = wrk(url + "downloader/", args.seconds)
        theirs, their_errors = wrk(f"http://127.0.0.1:{port}/downloader/", args.seconds)
        rss_after = rss_mib(plixd.pid)
        rss_peak = rss_mib(plixd.pid, "VmHWM")
        n = len(names)
        print(f"| What | plixd | rclone serve webdav |")
        print(f"|---|---|---|")
        print(f"| depth-1 PROPFIND of a {n}-entry folder, 16 connections | "
              f"{ours:.0f} requests/s | {theirs:.0f} requests/s |")
        print(f"| ratio | {ours / theirs:.1f}x | 1x |")
        print(f"| failed answers under load | {our_errors} | {their_errors} |")
        print(f"| resident memory, {args.torrents} torrents x {args.files_each} files + "
              f"{args.links} links listed | {rss_listed:.0f} MiB ({rss_after:.0f} MiB after the "
              f"load; {rss_peak:.0f} MiB at the highest, while plix reads the whole seedbox's "
              f"answer) | |")
        print(f"| depth-1 PROPFIND of /seedbox ({args.torrents} entries) | "
              f"{seedbox_first * 1000:.1f} ms first, {seedbox_cached * 1000:.1f} ms again | |")
        print(f"| the whole account listed | {listed_in:.0f} s, {len(times)} requests, at most "
              f"{most} in one second (--rate {args.rate:g}) | |")
        return 0
    finally:
        for proc in procs:
            standin.terminate(proc)
        if stand_in:
            stand_in.stop()
        tmp.cleanup()


if __name__ == "__main__":
    sys.exit(main())
