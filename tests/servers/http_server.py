#!/usr/bin/python3
"""A local HTTP and HTTPS server for the HTTP suites (standard library only).

Listens on 127.0.0.1, port 0, once in plain HTTP and, given --tls-dir, once
more in TLS with a certificate of a test CA that it makes there with openssl
(ca.pem, server.pem, server.key); given --ipv6, once more in plain HTTP on
[::1]. Prints "PORTS <http> <https>" (0 for no TLS), followed with --ipv6 by
the port on [::1] (0 when the machine has no IPv6 loopback), on its first
line, then serves until it is killed or --lifetime runs out.

Routes (the query is part of the path only where said):
  /echo..., /              200, the request line, headers and body exactly as received
  /status/<code>[?ct=T&body=B]   that status, body "status <code>" or B, Content-Type T
  /file/<name>             a file of --root
  /stall/<seconds>         waits (at most 30 s) before answering
  /trickle/<bytes>/<ms>    a body of <bytes> 'x', one byte every <ms> milliseconds
  /pause/<bytes>/<seconds> twice <bytes> of the /bytes pattern announced, <bytes> sent, then a
                           wait (at most 30 s) before the rest
  /cut/<announced>/<sent>  announces a length, sends fewer bytes, closes
  /part/<code>/<seconds>?body=B   that status, text/xml, B and 64 spaces announced, B sent, then
                           a wait (at most 30 s) before the spaces
  /redirect/<code>?to=URL  a redirect to URL
  /hops/<n>                n redirects in a row, then 200 "arrived"
  /headers?NAME=VALUE&...  200 "headers", each pair of the query a header line, in order
  /auth/<user>/<password>  200 only with Basic credentials of that user, else 401
  /bytes/<n>               n bytes of a repeating pattern, in large writes
  /chunked/<n>[?cut=1]     the same n bytes, chunked; cut=1 sends half, then closes
                           without the last chunk
  /requests                the number of requests served before this one
HEAD gets the headers of the same route without a body.
"""

import argparse
import base64
import http
import os
import socket
import socketserver
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

MAX_HEAD = 64 * 1024
MAX_BODY = 64 * 1024 * 1024
IO_TIMEOUT = 30
CHUNK = 64 * 1024

# Requests served by both listeners together, for /requests.
served = 0
served_lock = threading.Lock()


def reason(code):
    try:
        return http.HTTPStatus(code).phrase
    except ValueError:
        return "Status"


def pattern(offset, count):
    """count bytes of the /bytes pattern (0, 1, ..., 255, 0, ...) from offset."""
    start = offset % 256
    return (bytes(range(256)) * ((start + count) // 256 + 1))[start:start + count]


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        self.request.settimeout(IO_TIMEOUT)
        if isinstance(self.request, ssl.SSLSocket):
            try:
                self.request.do_handshake()
            except (OSError, ssl.SSLError):
                self.broken = True
                return
        self.broken = False
        self.pending = b""

    def handle(self):
        if self.broken:
            return
        try:
            while self.serve_one():
                pass
        except (OSError, ssl.SSLError, ValueError):
            pass

    def read_more(self):
        chunk = self.request.recv(65536)
        if not chunk:
            return False
        self.pending += chunk
        return True

    def serve_one(self):
        while b"\r\n\r\n" not in self.pending:
            if len(self.pending) > MAX_HEAD or not self.read_more():
                return False
        end = self.pending.index(b"\r\n\r\n") + 4
        head = self.pending[:end]
        self.pending = self.pending[end:]
        lines = head[:-4].split(b"\r\n")
        method, target, _version = lines[0].decode("latin-1").split(" ", 2)
        headers = {}
        for line in lines[1:]:
            name, _, value = line.decode("latin-1").partition(":")
            headers[name.strip().lower()] = value.strip()
        length = int(headers.get("content-length", "0") or "0")
        if length > MAX_BODY:
            return False
        while len(self.pending) < length:
            if not self.read_more():
                return False
        body = self.pending[:length]
        self.pending = self.pending[length:]
        self.method = method
        self.headers = headers
        global served
        with served_lock:
            self.served_before = served
            served += 1
        keep = headers.get("connection", "").lower() != "close"
        return self.route(target, head + body) and keep

    def send(self, code, body=b"", ctype="text/plain", extra=(), length=None):
        out = ["HTTP/1.1 %d %s" % (code, reason(code))]
        if ctype is not None:
            out.append("Content-Type: " + ctype)
        if code not in (204, 304) and not (100 <= code < 200):
            out.append("Content-Length: %d" % (len(body) if length is None else length))
        out.extend(extra)
        data = ("\r\n".join(out) + "\r\n\r\n").encode("latin-1")
        if self.method != "HEAD":
            data += body
        self.request.sendall(data)

    def route(self, target, raw):
        # A proxy's request names the whole URL; route on its path.
        if not target.startswith("/"):
            target = "/" + target.split("://", 1)[1].partition("/")[2]
        path, _, query = target.partition("?")
        params = dict(urllib.parse.parse_qsl(query, keep_blank_values=True))
        parts = [urllib.parse.unquote(p) for p in path.split("/")[1:]]
        name = parts[0] if parts else ""
        if name in ("echo", ""):
            self.send(200, raw, "application/octet-stream")
        elif name == "status":
            code = int(parts[1])
            body = params.get("body", "status %d" % code).encode("latin-1")
            self.send(code, body, params.get("ct", "text/plain") or None)
        elif name == "file":
            full = os.path.join(self.server.root or "/nonexistent", *parts[1:])
            if ".." in parts or not os.path.isfile(full):
                self.send(404, b"no such file")
            else:
                with open(full, "rb") as f:
                    self.send(200, f.read(), "application/octet-stream")
        elif name == "stall":
            time.sleep(min(float(parts[1]), 30.0))
            self.send(200, b"late")
        elif name == "trickle":
            count, pause = int(parts[1]), int(parts[2]) / 1000.0
            self.request.sendall(("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                                  "Content-Length: %d\r\n\r\n" % count).encode())
            for _ in range(min(count, 1000)):
                time.sleep(pause)
                self.request.sendall(b"x")
        elif name == "pause":
            count, pause = int(parts[1]), min(float(parts[2]), 30.0)
            self.request.sendall(("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                  "Content-Length: %d\r\n\r\n" % (2 * count)).encode() + pattern(0, count))
            time.sleep(pause)
            self.request.sendall(pattern(count, count))
        elif name == "cut":
            announced, sent = int(parts[1]), int(parts[2])
            self.request.sendall(("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                                  "Content-Length: %d\r\n\r\n" % announced).encode() + b"y" * sent)
            return False
        elif name == "part":
            code, pause = int(parts[1]), min(float(parts[2]), 30.0)
            body = params.get("body", "").encode("latin-1")
            self.request.sendall(("HTTP/1.1 %d %s\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n\r\n"
                                  % (code, reason(code), len(body) + 64)).encode() + body)
            time.sleep(pause)
            self.request.sendall(b" " * 64)
        elif name == "redirect":
            self.send(int(parts[1]), b"moved", extra=["Location: " + params.get("to", "/")])
        elif name == "headers":
            pairs = urllib.parse.parse_qsl(query, keep_blank_values=True)
            self.send(200, b"headers", extra=["%s: %s" % pair for pair in pairs])
        elif name == "hops":
            left = int(parts[1])
            if left > 0:
                self.send(302, b"hop", extra=["Location: /hops/%d" % (left - 1)])
            else:
                self.send(200, b"arrived")
        elif name == "auth":
            expected = "Basic " + base64.b64encode(("%s:%s" % (parts[1], parts[2])).encode()).decode()
            if self.headers.get("authorization") == expected:
                self.send(200, b"welcome " + parts[1].encode())
            else:
                self.send(401, b"who are you", extra=['WWW-Authenticate: Basic realm="orvex"'])
        elif name == "bytes":
            self.send_bytes(int(parts[1]))
        elif name == "chunked":
            return self.send_chunked(int(parts[1]), params.get("cut") == "1")
        elif name == "requests":
            self.send(200, b"%d" % self.served_before)
        else:
            self.send(404, b"unknown route")
        return True

    def send_bytes(self, count):
        self.request.sendall(("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                              "Content-Length: %d\r\n\r\n" % count).encode())
        if self.method == "HEAD":
            return
        block = bytes(range(256)) * 4096
        while count > 0:
            piece = block if count >= len(block) else block[:count]
            self.request.sendall(piece)
            count -= len(piece)

    def send_chunked(self, count, cut):
        self.request.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                             b"Transfer-Encoding: chunked\r\n\r\n")
        if self.method == "HEAD":
            return True
        # A cut body stops on a chunk boundary, so only the missing end is wrong.
        total = count // 2 if cut else count
        offset = 0
        while offset < total:
            size = min(CHUNK, total - offset)
            self.request.sendall(b"%x\r\n" % size + pattern(offset, size) + b"\r\n")
            offset += size
        if cut:
            return False
        self.request.sendall(b"0\r\n\r\n")
        return True


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, root, context=None, host="127.0.0.1"):
        if ":" in host:
            self.address_family = socket.AF_INET6
        super().__init__((host, 0), Handler)
        self.root = root
        self.context = context

    def get_request(self):
        sock, address = self.socket.accept()
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if self.context is not None:
            # The handshake runs in the connection's thread, so a client that
            # refuses the certificate cannot hold up the accept loop.
            sock = self.context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address


def make_certificates(directory):
    def openssl(*args):
        subprocess.run(["openssl"] + list(args), cwd=directory, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    with open(os.path.join(directory, "server.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n")
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Orvex Test CA")
    openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "server.ext")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", default=None)
    parser.add_argument("--tls-dir", default=None)
    parser.add_argument("--lifetime", type=float, default=900.0)
    parser.add_argument("--ipv6", action="store_true")
    args = parser.parse_args()

    servers = [Server(args.root)]
    if args.tls_dir:
        make_certificates(args.tls_dir)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(args.tls_dir, "server.pem"),
                                os.path.join(args.tls_dir, "server.key"))
        servers.append(Server(args.root, context))
    ports = [s.server_address[1] for s in servers] + [0]
    line = "PORTS %d %d" % (ports[0], ports[1])
    if args.ipv6:
        try:
            servers.append(Server(args.root, host="::1"))
            line += " %d" % servers[-1].server_address[1]
        except OSError:
            line += " 0"
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdout.write(line + "\n")
    sys.stdout.flush()
    time.sleep(args.lifetime)


if __name__ == "__main__":
    main()
