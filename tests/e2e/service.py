"""A stand-in for the Debrid-Link API over HTTPS, for the end-to-end tests.

It behaves as the service does in the field: the key from an
"Authorization: Bearer" header or an "apikey" parameter; envelopes with
"pagination" beside listings; torrents and downloader rows with their real
members; refusals with the service's own codes, most with a 4xx status and
some inside a 200 answer; seedbox/add taking a "url" (a magnet, or a torrent
file's address, which it fetches itself) or a multipart "file" upload that
must be one whole bencoded dictionary, else 400 notAddTorrent.

Under a second host name it serves torrent files (real ones, made by
mktorrent, from --files-dir), an HTML page, and two hostile answers: one
that never ends (/files/endless.mkv, up to 1 GiB or 60 s) and one that
stalls after its first bytes (/files/stalled.mkv, for up to 30 s); under a
third, a hoster's pages. Every request is logged as one JSON line, in the order received, so
a test can check what reached the service (never the key itself).

    service.py --cert C --key K --port-file F --log L --api-key KEY --api-host H
               [--files-dir D] [--account plixctl|mpv|big]
               [--torrents N --files-each M --links L]   (the big account's size)

It binds 127.0.0.1 on a free port and writes the port to the port file once
it accepts connections. The tests import it for the account's data.
"""

import argparse
import email.parser
import time
import email.policy
import hashlib
import json
import os
import ssl
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

FILES_HOST = "files.plix.test"
CONTROL_HOST = "control.plix.test"
HOSTER_HOST = "hoster.plix.test"
HOSTER = f"https://{HOSTER_HOST}/f/"
HOSTS = (FILES_HOST, HOSTER_HOST, CONTROL_HOST)
# Any API request made with this key is redirected to FILES_HOST's /echo,
# which records whether the key followed it there.
REDIRECT_KEY = "E2E-redirect-key"

ACCOUNT = {"username": "e2e-user", "email": "e2e@plix.test", "premiumLeft": 1209600,
           "accountType": 1, "registerDate": 1262304000, "serverDetected": False,
           "settings": {"twofa": False}}


def _row(rid, name, size, created):
    return {"id": rid, "name": name, "url": HOSTER + rid, "host": HOSTER_HOST,
            "downloadUrl": f"https://cdn.plix.test/dl/{rid}/{name}", "size": size,
            "chunk": 4, "created": created, "expired": False}


DOWNLOADER = [
    _row("dl1", "Charade.1963.1080p.BluRay.x264.mkv", 2147483648, 1767225600),
    _row("dl2", "His.Girl.Friday.1940.720p.BluRay.x264.mkv", 1073741824, 1767139200),
    _row("dl3", "Sherlock.Holmes.1954.S01E03.The.Case.of.the.Texas.Cowgirl.mkv", 262144000,
         1767052800),
]


def _files(tid, names):
    return [{"id": f"{tid}-{i}", "name": n, "size": 100000000 + i, "downloadPercent": 100,
             "downloadUrl": f"https://cdn.plix.test/sb/{tid}/{n}"} for i, n in enumerate(names)]


def _torrent(tid, name, status, size, files, hash_seed):
    # A finished (100) or seeding (8) torrent is whole; any other is not yet.
    percent = 100 if status == 100 or status & 8 else 42
    files = [{**f, "downloadPercent": percent} for f in files]
    return {"id": tid, "name": name, "hashString": hashlib.sha1(hash_seed.encode()).hexdigest(),
            "created": 1767225600, "totalSize": size,
            "downloadPercent": percent, "status": status, "wait": False,
            "peersConnected": 3, "uploadRatio": 0.5, "serverId": "srv1",
            "downloadSpeed": 0, "uploadSpeed": 0, "isZip": False, "error": 0,
            "errorString": "", "trackers": [{"announce": "https://tracker.plix.test/announce"}],
            "files": files}


TORRENTS = [
    _torrent("tA1", "Pioneer.One.S01.1080p.WEB.x264", 6, 5368709120,
             _files("tA1", [f"Pioneer.One.S01E0{e}.1080p.mkv" for e in range(1, 4)]), "a"),
    _torrent("tB2", "Metropolis.1927.Restored.1080p.BluRay", 4, 8589934592,
             _files("tB2", ["Metropolis.1927.Restored.1080p.BluRay.mkv",
                            "Metropolis.1927.Restored.en.srt"]), "b"),
    # Large enough that its listing outgrows any fixed buffer a host would
    # pick; the bulk listing shows it as one zip, as the service does.
    _torrent("tBIG", "The.Complete.Archive", 8, 800 * 100000000,
             _files("tBIG", [f"Archive.Reel.{i:04d}." + "x" * 180 + ".mkv"
                             for i in range(800)]), "c"),
]

# A small single-file torrent free of NUL bytes: it travels whole as text.
TORRENT_FILE = (b"d8:announce34:https://tracker.plix.test/announce4:infod6:lengthi734003200e"
                b"4:name29:Sita.Sings.the.Blues.2008.mkv12:piece lengthi1048576e6:pieces0:ee")
HTML_PAGE = b"<!doctype html><html><body><h1>Sita Sings the Blues</h1></body></html>"

MAGNET_ADDED = {"id": "mg1", "name": "Night.of.the.Living.Dead.1968.mkv", "size": 1503238553,
                "downloadUrl": "https://cdn.plix.test/dl/mg1/Night.of.the.Living.Dead.1968.mkv"}
HOSTER_ADDED = _row("hs1", "Nosferatu.1922.1080p.mkv", 987654321, 1767225600)

# downloader/add of these hoster links is refused: (status, code, description).
HOSTER_REFUSALS = {
    "limit": (200, "maxLink", "Daily link limit reached"),
    "flood": (400, "floodDetected", "Too many requests, retry in an hour"),
    "hostlimit": (200, "maxLinkHost", "Daily limit for this hoster reached"),
    "down": (200, "notDebrid", "The hoster seems to be down"),
}

BAD_TOKEN = {"success": False, "error": "badToken", "error_description": "Bad API key"}

# The account the mpv tests play (--account mpv): every download URL points
# at the stand-in itself under MEDIA_HOST, which serves a short WAV sound
# (any name) or a subtitle text (.srt), so a real player can open them.
MEDIA_HOST = "localhost"


def media_size(name):
    """The bytes the media host serves for a file of that name."""
    return len(SUBTITLE) if name.endswith(".srt") else SOUND_LENGTH


def media_account(port):
    base = f"https://{MEDIA_HOST}:{port}/media"

    def row(rid, name):
        return {**_row(rid, name, media_size(name), 1767225600),
                "downloadUrl": f"{base}/dl/{rid}/{urllib.parse.quote(name)}"}

    def files(tid, names):
        return [{"id": f"{tid}-{i}", "name": n, "size": media_size(n), "downloadPercent": 100,
                 "downloadUrl": f"{base}/sb/{tid}/{i}/{urllib.parse.quote(n)}"}
                for i, n in enumerate(names)]

    season = ["Pioneer.One.S01E10.Finale.mkv", "Pioneer.One.S01E02.The.Man.from.Mars.mkv",
              "Pioneer.One.S01.nfo", "Pioneer.One.S01E01.Earthfall.en.srt",
              "Pioneer.One.S01E01.Earthfall.mkv", "cover.jpg", "Pioneer.One.S01E03.mkv"]
    huge = [f"Archive/Reel.{i:05d}.mkv" for i in range(10000)]
    # Subtitles that belong to their video and some that do not.
    subtitled = ["Show - 1.mkv", "Show - 10.mkv", "Show - 1.en.srt", "Show - 10.srt",
                 "Subs/show - 1.FR.srt", "Show - 1.pt-BR.srt", "Movie.mkv", "Movie.Extended.mkv",
                 "Movie.Extended.en.srt"]
    downloader = [row("dl1", 'Charade "1963" \\ Director\'s Cut.mkv'),
                  row("dl2", "readme.nfo"),
                  row("dl3", "Amélie.Été.東京.mp4"),
                  row("dl4", "Nosferatu.1922.flac")]
    torrents = [
        _torrent("tS1", "Pioneer.One.S01", 100, 7000, files("tS1", season), "s1"),
        _torrent("tDL", "Sintel.2010.2160p", 4, 9000, files("tDL", ["Sintel.mkv"]), "dl"),
        _torrent("tSEED", "Big.Buck.Bunny", 8, 1000, files("tSEED", ["Big.Buck.Bunny.mp4"]), "sd"),
        _torrent("tHUGE", "The.Huge.Archive", 100, 10000, files("tHUGE", huge), "hg"),
        _torrent("tSUB", "Subtitled", 100, 9000, files("tSUB", subtitled), "sb"),
    ]
    magnet = {**MAGNET_ADDED, "downloadUrl": f"{base}/mg/Night.of.the.Living.Dead.1968.mkv"}
    hoster = {**HOSTER_ADDED, "downloadUrl": f"{base}/hs/Nosferatu.1922.1080p.mkv"}
    return downloader, torrents, magnet, hoster


def big_account(port, torrents, files_each, links):
    """A large account for the benchmarks: torrents of files_each episodes
    each, and a downloader of links; every download URL on the media host."""
    base = f"https://{MEDIA_HOST}:{port}/media"
    downloader = [{**_row(f"L{i:05d}", f"Link.{i:05d}.1080p.mkv", SOUND_LENGTH, 1767225600),
                   "downloadUrl": f"{base}/dl/L{i:05d}/Link.{i:05d}.1080p.mkv"}
                  for i in range(links)]
    out = []
    for t in range(torrents):
        tid = f"T{t:05d}"
        show = f"Show.{t // 10:04d}"
        season = t % 10 + 1
        names = [f"{show}.S{season:02d}E{e + 1:02d}.1080p.WEB.x264.mkv" for e in range(files_each)]
        files = [{"id": f"{tid}-{i}", "name": n, "size": SOUND_LENGTH, "downloadPercent": 100,
                  "downloadUrl": f"{base}/sb/{tid}/{i}/{n}"} for i, n in enumerate(names)]
        out.append(_torrent(tid, f"{show}.S{season:02d}.1080p.WEB.x264", 100,
                            sum(f["size"] for f in files), files, tid))
    return downloader, out


def wav_sound():
    """0.2 s of a 440 Hz tone, 8 kHz mono, as a WAV file."""
    import io
    import math
    import wave
    out = io.BytesIO()
    with wave.open(out, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(8000)
        w.writeframes(b"".join(int(8000 * math.sin(2 * math.pi * 440 * i / 8000)).to_bytes(
            2, "little", signed=True) for i in range(1600)))
    return out.getvalue()


SUBTITLE = b"1\n00:00:00,000 --> 00:00:00,200\nOnce upon a time\n"
SOUND_LENGTH = len(wav_sound())


def ok(value):
    return {"success": True, "value": value}


def page_of(rows, page=0, per_page=None):
    """One page of rows as the service lists it; every row when per_page is None."""
    if per_page is None:
        return {"success": True, "value": rows,
                "pagination": {"page": 0, "pages": 1, "next": -1, "previous": -1}}
    pages = max(1, -(-len(rows) // per_page))
    value = rows[page * per_page:(page + 1) * per_page] if page >= 0 else []
    return {"success": True, "value": value,
            "pagination": {"page": page, "pages": pages,
                           "next": page + 1 if page + 1 < pages else -1,
                           "previous": page - 1 if page > 0 else -1}}


def refusal(code, text):
    return {"success": False, "error": code, "error_description": text}


# ------------------------------------------------------------------ bencode

def bdecode(data, at=0, spans=None, depth=0):
    """The value at data[at:] and where it ends. spans, when given, receives
    the (start, end) of the top-level dictionary's values by key. Raises
    ValueError on anything that is not bencode."""
    if at >= len(data):
        raise ValueError("cut short")
    c = data[at:at + 1]
    if c == b"i":
        end = data.index(b"e", at)
        return int(data[at + 1:end]), end + 1
    if c in (b"l", b"d"):
        at += 1
        items = []
        while data[at:at + 1] != b"e":
            if at >= len(data):
                raise ValueError("cut short")
            start = at
            item, at = bdecode(data, at, None, depth + 1)
            if spans is not None and c == b"d" and len(items) % 2 == 1 and depth == 0:
                spans[items[-1]] = (start, at)
            items.append(item)
        if c == b"l":
            return items, at + 1
        if len(items) % 2 or not all(isinstance(k, bytes) for k in items[::2]):
            raise ValueError("bad dictionary")
        return dict(zip(items[::2], items[1::2])), at + 1
    if c.isdigit():
        colon = data.index(b":", at)
        n = int(data[at:colon])
        if colon + 1 + n > len(data):
            raise ValueError("cut short")
        return data[colon + 1:colon + 1 + n], colon + 1 + n
    raise ValueError("not bencode")


def torrent_info(data):
    """The info-hash and the metainfo of a whole torrent file, or None."""
    spans = {}
    try:
        meta, end = bdecode(data, 0, spans)
    except (ValueError, IndexError):
        return None
    if end != len(data) or not isinstance(meta, dict) or b"info" not in spans:
        return None
    start, stop = spans[b"info"]
    return hashlib.sha1(data[start:stop]).hexdigest(), meta


def added_torrent(info_hash, meta):
    info = meta[b"info"]
    name = info.get(b"name", b"").decode("utf-8", "replace")
    files = info.get(b"files") or [{b"length": info.get(b"length", 0), b"path": [name.encode()]}]
    tid = "t" + info_hash[:8]
    listed = [{"id": f"{tid}-{i}", "name": "/".join(p.decode("utf-8", "replace")
                                                    for p in f[b"path"]),
               "size": f[b"length"], "downloadPercent": 0} for i, f in enumerate(files)]
    for f in listed:
        f["downloadUrl"] = f"https://cdn.plix.test/sb/{tid}/{f['name']}"
    return {"id": tid, "name": name, "hashString": info_hash, "status": 1,
            "totalSize": sum(f["size"] for f in listed), "downloadPercent": 0, "files": listed}


class Handler(BaseHTTPRequestHandler):
    server_version = "plix-e2e/1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.handle_request(b"")

    def do_HEAD(self):
        # A transport that checks the certificate itself opens the
        # connection with a bare "HEAD /" first; it is logged like the rest.
        self.server.log({"method": "HEAD", "host": (self.headers.get("Host") or "").split(":")[0],
                         "path": urllib.parse.urlsplit(self.path).path, "query": [],
                         "content_type": "", "auth_header": "Authorization" in self.headers,
                         "key_in_query": "apikey=" in self.path, "key_ok": False})
        self.send_response(404)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.handle_request(self.rfile.read(length))

    def handle_request(self, body):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qsl(url.query, keep_blank_values=True)
        host = (self.headers.get("Host") or "").split(":")[0]
        authorization = self.headers.get("Authorization")
        bearer = authorization[7:] if authorization and authorization.startswith("Bearer ") \
            else None
        in_query = dict(query).get("apikey")
        key = bearer if bearer is not None else in_query
        # The log names the parameters but never holds the key itself.
        entry = {"method": self.command, "host": host, "path": url.path, "time": time.time(),
                 "query": [[k, "(key)" if k == "apikey" else v] for k, v in query],
                 "content_type": self.headers.get("Content-Type") or "",
                 "auth_header": authorization is not None, "key_in_query": in_query is not None,
                 "key_ok": key == self.server.api_key}
        if entry["content_type"].startswith("multipart/form-data"):
            entry["part"] = self.form_part(entry["content_type"], body)
        self.entry = entry
        try:
            if host == CONTROL_HOST and url.path == "/control":
                entry["control"] = True
                return self.send(200, self.server.control(json.loads(body or b"{}")))
            if host == self.server.api_host:
                fault = self.server.fault_for(f"{self.command} {url.path}?{url.query}")
                if fault is not None:
                    entry["fault"] = fault
                    if fault.get("drop"):
                        self.close_connection = True
                        return None
                    if "stall" in fault:
                        time.sleep(fault["stall"])
                    if "status" in fault:
                        return self.send(fault["status"], fault.get("body", ""),
                                         headers=fault.get("headers"))
            if host == FILES_HOST:
                return self.serve_file(url.path)
            if host == MEDIA_HOST and url.path.startswith("/media/"):
                if url.path.endswith(".srt"):
                    return self.send(200, SUBTITLE, "application/x-subrip")
                return self.send(200, self.server.sound, "audio/wav")
            if host == HOSTER_HOST:
                return self.send(200, HTML_PAGE, "text/html")
            if host != self.server.api_host or not url.path.startswith("/api/v2/"):
                return self.send(404, refusal("unknowR", "no such endpoint"))
            if key == REDIRECT_KEY:
                return self.redirect(f"https://{FILES_HOST}/echo")
            if key != self.server.api_key:
                return self.send(401, BAD_TOKEN)
            return self.api(self.command, url.path[len("/api/v2"):], dict(query),
                            entry.get("part"))
        finally:
            self.server.log(entry)

    def api(self, method, path, q, part):
        if (method, path) == ("GET", "/account/infos"):
            return self.send(200, ok(ACCOUNT))
        if (method, path) == ("GET", "/downloader/list"):
            try:
                page, per_page = int(q.get("page", 0)), int(q.get("perPage", 20))
            except ValueError:
                return self.send(400, refusal("badArguments", "page and perPage are numbers"))
            return self.send(200, page_of(self.server.downloader, page,
                                          max(1, min(per_page, 100))))
        if (method, path) == ("GET", "/seedbox/list"):
            torrents = self.server.torrents
            if "ids" in q:
                with self.server.fault_lock:
                    if self.server.by_id is None:
                        self.server.by_id = {t["id"]: t for t in torrents}
                    found = self.server.by_id.get(q["ids"])
                return self.send(200, page_of([found] if found else []))
            # The whole list is written once for every state of the account.
            with self.server.fault_lock:
                bulk = self.server.bulk
            if bulk is None:
                bulk = json.dumps(page_of([self.bulk_row(t) for t in torrents])).encode()
                with self.server.fault_lock:
                    self.server.bulk = bulk
            return self.send(200, bulk)
        if (method, path) == ("POST", "/downloader/add"):
            return self.add_link(q)
        if (method, path) == ("POST", "/seedbox/add"):
            return self.add_torrent(q, part)
        return self.send(404, refusal("unknowR", "no such endpoint"))

    @staticmethod
    def bulk_row(t):
        if len(t["files"]) < 100:
            return t
        zipped = {"id": t["id"] + "-zip", "name": t["name"] + ".zip", "size": t["totalSize"],
                  "downloadPercent": 100,
                  "downloadUrl": f"https://cdn.plix.test/sb/{t['id']}/{t['name']}.zip"}
        return {**t, "isZip": True, "files": [zipped]}

    def add_link(self, q):
        link = q.get("url", "")
        if "password" in q and q["password"] != "":
            return self.send(400, refusal("badArguments", "bad password"))
        if link.startswith("magnet:?"):
            if "dn=pending" in link:  # added, but nothing to play yet
                return self.send(200, ok({**MAGNET_ADDED, "name": "pending", "downloadUrl": ""}))
            return self.send(200, ok(self.server.magnet_added))
        if link.startswith(HOSTER):
            refused = HOSTER_REFUSALS.get(link[len(HOSTER):])
            if refused:
                return self.send(refused[0], refusal(*refused[1:]))
            return self.send(200, ok(self.server.hoster_added))
        return self.send(400, refusal("hostNotValid", "This hoster is not supported"))

    def add_torrent(self, q, part):
        if "url" in q:
            link = q["url"]
            if link.startswith("magnet:?"):
                return self.send(200, ok(self.server.magnet_added))
            # The service fetches the file itself; here that is a look-up.
            data = self.server.fetch(link)
        elif part and part["name"] == "file":
            data = part["data"]
        else:
            data = None
        found = torrent_info(data) if data is not None else None
        if not found:
            return self.send(400, refusal("notAddTorrent", "The torrent could not be added"))
        self.entry["info_hash"] = found[0]
        return self.send(200, ok(added_torrent(*found)))

    def serve_file(self, path):
        if path == "/echo":
            return self.send(401, BAD_TOKEN)
        if path in ("/files/endless.mkv", "/files/stalled.mkv"):
            return self.hostile(path == "/files/endless.mkv")
        moved = self.server.moved.get(path)
        if moved:
            return self.redirect(f"https://{FILES_HOST}{moved}")
        data = self.server.files.get(path)
        if data is not None:
            return self.send(200, data, "application/x-bittorrent")
        if path == "/files/page.html":
            return self.send(200, HTML_PAGE, "text/html")
        return self.send(404, b"not found", "text/plain")

    def hostile(self, endless):
        """A film's worth of bytes without end, or a few bytes and then
        silence, until the client gives up (both bounded in time)."""
        self.send_response(200)
        self.send_header("Content-Type", "video/x-matroska")
        self.end_headers()
        chunk = bytes(range(256)) * 4096  # 1 MiB
        deadline = time.monotonic() + (60 if endless else 30)
        try:
            if not endless:
                self.wfile.write(chunk[:1024])
                self.wfile.flush()
            sent = 0
            while time.monotonic() < deadline and sent < (1 << 30):
                if endless:
                    self.wfile.write(chunk)
                    sent += len(chunk)
                else:
                    time.sleep(0.1)
        except (BrokenPipeError, ConnectionError, ssl.SSLError, OSError):
            pass
        self.close_connection = True

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
                "data": p.get_payload(decode=True), "parts": 1}

    def redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def send(self, status, answer, content_type="application/json", headers=None):
        data = answer if isinstance(answer, bytes) else \
            answer.encode() if isinstance(answer, str) else json.dumps(answer).encode()
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        for name, value in (headers or {}).items():
            self.send_header(name, value)
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
        # Files served under https://FILES_HOST/files/<name>.
        self.files = {"/files/test.torrent": TORRENT_FILE}
        for name in sorted(os.listdir(args.files_dir)) if args.files_dir else []:
            with open(os.path.join(args.files_dir, name), "rb") as f:
                self.files["/files/" + name] = f.read()
        real = next((p for p in sorted(self.files) if p != "/files/test.torrent"),
                    "/files/test.torrent")
        self.moved = {"/files/moved.torrent": real}
        self.account = args.account
        self.big = (args.torrents, args.files_each, args.links)
        self.bulk = None
        self.by_id = None
        self.faults = []
        self.fault_lock = threading.Lock()
        self.added_links = 0
        self.reset()
        if args.account in ("mpv", "big"):
            self.sound = wav_sound()
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        self.socket = context.wrap_socket(self.socket, server_side=True)

    def reset(self):
        self.downloader, self.torrents = list(DOWNLOADER), list(TORRENTS)
        self.magnet_added, self.hoster_added = MAGNET_ADDED, HOSTER_ADDED
        if self.account == "mpv":
            downloader, torrents, self.magnet_added, self.hoster_added = \
                media_account(self.server_address[1])
            self.downloader, self.torrents = list(downloader), list(torrents)
        if self.account == "big":
            self.downloader, self.torrents = big_account(
                self.server_address[1], self.big[0], self.big[1], self.big[2])
        with self.fault_lock:
            self.faults = []
            self.bulk = None
            self.by_id = None

    def control(self, command):
        """What a test asks of the stand-in (see the module's text)."""
        if command.get("reset"):
            self.reset()
        if "faults" in command:
            with self.fault_lock:
                self.faults = [dict(rule) for rule in command["faults"]]
        names = [None] * int(command.get("add_links", 0))
        if "add_link" in command:
            names.append(command["add_link"])
        for given in names:
            self.added_links += 1
            n = self.added_links
            base = self.downloader[0]["downloadUrl"].rsplit("/", 2)[0] if self.downloader \
                else "https://cdn.plix.test/dl"
            name = given or f"Added.Later.{n:03d}.mkv"
            row = _row(f"new{n}", name, media_size(name), 1767225600 + n)
            row["downloadUrl"] = f"{base}/new{n}/{urllib.parse.quote(name)}"
            self.downloader.insert(0, row)
        with self.fault_lock:
            self.bulk = None
            self.by_id = None
        if "remove_torrent" in command:
            self.torrents = [t for t in self.torrents if t["id"] != command["remove_torrent"]]
        if "add_torrent" in command:
            t = command["add_torrent"]
            base = f"https://{MEDIA_HOST}:{self.server_address[1]}/media/sb/{t['id']}"
            files = [{"id": f"{t['id']}-{i}", "name": n, "size": media_size(n), "downloadPercent": 100,
                      "downloadUrl": f"{base}/{i}/{urllib.parse.quote(n)}"}
                     for i, n in enumerate(t.get("files", []))]
            self.torrents.append(_torrent(t["id"], t["name"], t.get("status", 100),
                                          sum(f["size"] for f in files), files, t["id"]))
        return {"success": True, "value": {"downloader": len(self.downloader),
                                           "faults": len(self.faults)}}

    def fault_for(self, request):
        """The first fault rule that matches request and still has times left, or None."""
        with self.fault_lock:
            for rule in self.faults:
                if rule.get("match", "") in request and rule.get("times", -1) != 0:
                    if rule.get("times", -1) > 0:
                        rule["times"] -= 1
                    return {k: v for k, v in rule.items() if k != "times"}
        return None

    def fetch(self, link):
        """What the service gets when it fetches link itself."""
        url = urllib.parse.urlsplit(link)
        if url.hostname != FILES_HOST:
            return None
        return self.files.get(self.moved.get(url.path, url.path))

    def log(self, entry):
        with self.log_lock, open(self.log_path, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry, default=lambda b: b.decode("latin-1")) + "\n")

    def handle_error(self, request, client_address):
        # A client that drops a TLS handshake is not the service's fault;
        # anything else is, and shows in its error output.
        if not isinstance(sys.exc_info()[1], (ssl.SSLError, ConnectionError)):
            super().handle_error(request, client_address)


def main():
    p = argparse.ArgumentParser()
    for name in ("--cert", "--key", "--port-file", "--log", "--api-key", "--api-host"):
        p.add_argument(name, required=True)
    p.add_argument("--files-dir")
    p.add_argument("--account", choices=["plixctl", "mpv", "big"], default="plixctl")
    p.add_argument("--torrents", type=int, default=5000)  # the big account's
    p.add_argument("--files-each", type=int, default=20)
    p.add_argument("--links", type=int, default=1500)
    args = p.parse_args()
    service = Service(args)
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(service.server_address[1]))
    os.replace(tmp, args.port_file)
    service.serve_forever()


if __name__ == "__main__":
    main()
