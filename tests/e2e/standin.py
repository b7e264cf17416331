"""Starting and steering the local HTTPS stand-in for the service
(service.py) from a test: a throwaway certificate for its host names, the
stand-in on a free port of 127.0.0.1, its request log, its control, and
stopping it."""

import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import service  # noqa: E402


def terminate(proc, seconds=20):
    """Stops proc with SIGTERM, and kills it when it does not end in time."""
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    return proc.returncode


def make_certificate(directory, names, subject="plix e2e"):
    """A self-signed certificate and key for names (and 127.0.0.1): their paths."""
    cert, key = os.path.join(directory, "cert.pem"), os.path.join(directory, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj", f"/CN={subject}",
                    "-keyout", key, "-out", cert, "-addext",
                    "subjectAltName=" + ",".join("DNS:" + n for n in names) + ",IP:127.0.0.1"],
                   check=True, capture_output=True)
    return cert, key


class StandIn:
    """The stand-in service, started in directory with the certificate for
    api_host and the stand-in's other host names."""

    def __init__(self, directory, api_key, api_host, account="plixctl", files_dir=None,
                 extra_names=(), extra_args=()):
        self.directory = directory
        self.api_host = api_host
        names = [api_host, *service.HOSTS, service.MEDIA_HOST, *extra_names]
        self.cert, self.key = make_certificate(directory, names)
        self.log = os.path.join(directory, "requests.log")
        port_file = os.path.join(directory, "port")
        self.err = open(os.path.join(directory, "service.err"), "w+")
        command = [sys.executable, os.path.join(HERE, "service.py"), "--cert", self.cert,
                   "--key", self.key, "--port-file", port_file, "--log", self.log,
                   "--api-key", api_key, "--api-host", api_host, "--account", account]
        if files_dir:
            command += ["--files-dir", files_dir]
        command += list(extra_args)
        self.proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=self.err)
        deadline = time.monotonic() + 60
        while not os.path.exists(port_file):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("the test service did not start: " + self.errors())
            time.sleep(0.05)
        with open(port_file) as f:
            self.port = int(f.read())

    def errors(self):
        self.err.flush()
        self.err.seek(0)
        return self.err.read()

    def stop(self):
        """Stops the stand-in; raises when it wrote errors."""
        terminate(self.proc, 5)
        errors = self.errors()
        self.err.close()
        if errors:
            raise RuntimeError("the test service failed:\n" + errors)

    def mark(self):
        """A mark for requests_since: the log's length now."""
        return len(self.requests_since(0, all_requests=True))

    def requests_since(self, mark, all_requests=False):
        """What the stand-in logged after mark; without all_requests, leaving
        out its control requests."""
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8") as f:
            lines = f.readlines()[mark:]
        entries = [json.loads(line) for line in lines]
        return entries if all_requests else [e for e in entries if not e.get("control")]

    def control(self, **command):
        """Sends one control command (see service.py) and returns its answer."""
        context = ssl.create_default_context(cafile=self.cert)
        body = json.dumps(command).encode()
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as raw:
            with context.wrap_socket(raw, server_hostname=service.CONTROL_HOST) as tls:
                tls.sendall(b"POST /control HTTP/1.1\r\nHost: " + service.CONTROL_HOST.encode() +
                            b"\r\nContent-Type: application/json\r\nContent-Length: " +
                            str(len(body)).encode() + b"\r\nConnection: close\r\n\r\n" + body)
                answer = b""
                while chunk := tls.recv(65536):
                    answer += chunk
        head, _, data = answer.partition(b"\r\n\r\n")
        if not head.startswith(b"HTTP/1.1 200") and not head.startswith(b"HTTP/1.0 200"):
            raise RuntimeError("control refused: " + head.decode(errors="replace"))
        return json.loads(data)
