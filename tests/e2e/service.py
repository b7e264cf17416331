"""A stand-in for the Debrid-Link API over HTTPS, for plixctl's end-to-end tests.

It answers the endpoints the plug-in calls with the service's answer shapes
(the success/value envelope, downloader rows, seedbox torrents and their
files, add results, refusals) and, under a second host name, serves a small
torrent file and an HTML page. Every request is logged as one JSON line, in
the order received, so a test can check what reached the service.

    service.py --cert C --key K --port-file F --log L --api-key KEY --api-host H

It binds 127.0.0.1 on a free port and writes the port to the port file once
it accepts connections. The tests import it for the account's data.
"""

import argparse
import email.parser
import email.policy
import json
import os
import ssl
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

FILES_HOST = "files.plix.test"
HOSTER = "https://hoster.plix.test/f/"

ACCOUNT = {"username": "e2e-user", "email": "e2e@plix.test", "premiumLeft": 1209600,
           "accountType": 1, "pseudo": "e2e-user"}

DOWNLOADER = [
    {"id": "dl1", "name": "Charade.1963.1080p.BluRay.x264.mkv", "size": 2147483648,
     "downloadUrl": "https://cdn.plix.test/dl/dl1/Charade.1963.1080p.BluRay.x264.mkv"},
    {"id": "dl2", "name": "His.Girl.Friday.1940.720p.BluRay.x264.mkv", "size": 1073741824,
     "downloadUrl": "https://cdn.plix.test/dl/dl2/His.Girl.Friday.1940.720p.BluRay.x264.mkv"},
    {"id": "dl3", "name": "Sherlock.Holmes.1954.S01E03.The.Case.of.the.Texas.Cowgirl.mkv",
     "size": 262144000,
     "downloadUrl": "https://cdn.plix.test/dl/dl3/Sherlock.Holmes.1954.S01E03.mkv"},
]


def _files(tid, names):
    return [{"id": f"{tid}-{i}", "name": n, "size": 100000000 + i,
             "downloadUrl": f"https://cdn.plix.test/sb/{tid}/{n}"} for i, n in enumerate(names)]


TORRENTS = [
    {"id": "tA1", "name": "Pioneer.One.S01.1080p.WEB.x264", "status": 6, "totalSize": 5368709120,
     "files": _files("tA1", [f"Pioneer.One.S01E0{e}.1080p.mkv" for e in range(1, 4)])},
    {"id": "tB2", "name": "Metropolis.1927.Restored.1080p.BluRay", "status": 4,
     "totalSize": 8589934592,
     "files": _files("tB2", ["Metropolis.1927.Restored.1080p.BluRay.mkv",
                             "Metropolis.1927.Restored.en.srt"])},
    # Large enough that its listing outgrows any fixed buffer a host would pick.
    {"id": "tBIG", "name": "The.Complete.Archive", "status": 6, "totalSize": 800 * 100000000,
     "files": _files("tBIG", [f"Archive.Reel.{i:04d}." + "x" * 180 + ".mkv"
                              for i in range(800)])},
]

# A small single-file torrent, free of NUL bytes (bodies travel as text).
TORRENT_FILE = (b"d8:announce35:https://tracker.plix.test/announce4:infod6:lengthi734003200e"
                b"4:name31:Sita.Sings.the.Blues.2008.mkv12:piece lengthi1048576e6:pieces0:ee")
HTML_PAGE = b"<!doctype html><html><body><h1>Sita Sings the Blues</h1></body></html>"

MAGNET_ADDED = {"id": "mg1", "name": "Night.of.the.Living.Dead.1968.mkv", "size": 1503238553,
                "downloadUrl": "https://cdn.plix.test/dl/mg1/Night.of.the.Living.Dead.1968.mkv"}
HOSTER_ADDED = {"id": "hs1", "name": "Nosferatu.1922.1080p.mkv", "size": 987654321,
                "downloadUrl": "https://cdn.plix.test/dl/hs1/Nosferatu.1922.1080p.mkv"}
SEEDBOX_ADDED = {"id": "tNEW", "name": "Sita.Sings.the.Blues.2008", "status": 0,
                 "files": [{"id": "tNEW-0", "name": "Sita.Sings.the.Blues.2008.mkv",
                            "size": 734003200,
                            "downloadUrl": "https://cdn.plix.test/sb/tNEW/Sita.mkv"}]}

BAD_TOKEN = {"success": False, "error": "badToken", "error_description": "Bad API key"}


def ok(value):
    return {"success": True, "value": value}


def refusal(code, text):
    return {"success": False, "error": code, "error_description": text}


def torrent_row(t):
    return {k: v for k, v in t.items() if k != "files"}


class Handler(BaseHTTPRequestHandler):
    server_version = "plix-e2e/1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.handle_request(b"")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.handle_request(self.rfile.read(length))

    def handle_request(self, body):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qsl(url.query, keep_blank_values=True)
        host = (self.headers.get("Host") or "").split(":")[0]
        entry = {"method": self.command, "host": host, "path": url.path, "query": query,
                 "content_type": self.headers.get("Content-Type") or ""}
        if entry["content_type"].startswith("multipart/form-data"):
            entry["part"] = self.form_part(entry["content_type"], body)
        self.server.log(entry)
        if host == FILES_HOST:
            return self.serve_file(url.path)
        if host != self.server.api_host or not url.path.startswith("/api/v2/"):
            return self.send(404, {"success": False, "error": "notFound"})
        if dict(query).get("apikey") != self.server.api_key:
            return self.send(401, BAD_TOKEN)
        self.api(self.command, url.path[len("/api/v2"):], dict(query), entry.get("part"))

    def api(self, method, path, q, part):
        if (method, path) == ("GET", "/account/infos"):
            return self.send(200, ok(ACCOUNT))
        if (method, path) == ("GET", "/downloader/list"):
            return self.send(200, {"success": True, "value": DOWNLOADER,
                                   "pagination": {"page": 0, "pages": 1, "next": -1}})
        if (method, path) == ("GET", "/seedbox/list"):
            if "ids" in q:
                found = [t for t in TORRENTS if t["id"] == q["ids"]]
                return self.send(200, ok(found))
            return self.send(200, ok([torrent_row(t) for t in TORRENTS]))
        if (method, path) == ("POST", "/downloader/add"):
            link = q.get("url", "")
            if q.get("password") != "":
                return self.send(400, refusal("badArguments", "password missing"))
            if link.startswith("magnet:?"):
                return self.send(200, ok(MAGNET_ADDED))
            if link == HOSTER + "limit":
                return self.send(200, refusal("maxLink", "Daily link limit reached"))
            if link.startswith(HOSTER):
                return self.send(200, ok(HOSTER_ADDED))
            return self.send(200, refusal("unsupportedHoster", "This hoster is not supported"))
        if (method, path) == ("POST", "/seedbox/add"):
            if not part or part["name"] != "file" or part["data"] != TORRENT_FILE.decode():
                return self.send(400, refusal("badArguments", "no torrent file"))
            return self.send(200, ok(SEEDBOX_ADDED))
        return self.send(404, {"success": False, "error": "notFound"})

    def serve_file(self, path):
        if path == "/files/test.torrent":
            return self.send(200, TORRENT_FILE, "application/x-bittorrent")
        if path == "/files/moved.torrent":
            self.send_response(302)
            self.send_header("Location", f"https://{FILES_HOST}/files/test.torrent")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return None
        if path == "/files/page.html":
            return self.send(200, HTML_PAGE, "text/html")
        return self.send(404, b"not found", "text/plain")

    @staticmethod
    def form_part(content_type, body):
        message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
            b"Content-Type: " + content_type.encode() + b"\r\n\r\n" + body)
        parts = list(message.iter_parts()) if message.is_multipart() else []
        if len(parts) != 1:
            return {"name": None, "filename": None, "data": None, "parts": len(parts)}
        p = parts[0]
        return {"name": p.get_param("name", header="content-disposition"),
                "filename": p.get_filename(), "type": p.get_content_type(),
                "data": p.get_payload(decode=True).decode("latin-1"), "parts": 1}

    def send(self, status, answer, content_type="application/json"):
        data = answer if isinstance(answer, bytes) else json.dumps(answer).encode()
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


class Service(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, args):
        super().__init__(("127.0.0.1", 0), Handler)
        self.api_key = args.api_key
        self.api_host = args.api_host
        self.log_path = args.log
        self.log_lock = threading.Lock()
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        self.socket = context.wrap_socket(self.socket, server_side=True)

    def log(self, entry):
        with self.log_lock, open(self.log_path, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")

    def handle_error(self, request, client_address):
        # A client that drops a TLS handshake is not the service's fault;
        # anything else is, and shows in its error output.
        if not isinstance(sys.exc_info()[1], (ssl.SSLError, ConnectionError)):
            super().handle_error(request, client_address)


def main():
    p = argparse.ArgumentParser()
    for name in ("--cert", "--key", "--port-file", "--log", "--api-key", "--api-host"):
        p.add_argument(name, required=True)
    args = p.parse_args()
    service = Service(args)
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(service.server_address[1]))
    os.replace(tmp, args.port_file)
    service.serve_forever()


if __name__ == "__main__":
    main()
