#!/usr/bin/python3
"""A SOAP endpoint behind WS-Security, for tests (standard library only).

Every POST must carry a wsse:Security header with a UsernameToken, which
the service checks on its own by the OASIS UsernameToken Profile formulas:
the user is known; a PasswordText equals the password; a PasswordDigest is
Base64(SHA-1(nonce + created + password)); a nonce was never seen before;
the token's Created lies within WINDOW seconds of now; a wsu:Timestamp has
not expired and was not created in the future. A token that passes is
answered, in the request's SOAP version, with a Header holding
<h:Session> and a WhoAmIResult saying what the token held (User,
PasswordType, Nonce, Created, Timestamp, MustUnderstand); any other
with a SOAP fault whose code is wsse:FailedAuthentication (status 500).

Usage: wsse_service.py [--lifetime S]
Listens on 127.0.0.1, port 0, prints "PORT <n>" on its first line, and
serves until it is killed or --lifetime seconds have passed (600)."""
import argparse
import base64
import binascii
import hashlib
import http.server
import sys
import threading
import xml.etree.ElementTree as ET
from datetime import datetime, timezone

USERS = {"alice": "s3cret&<pw>", "bob": "p\u00e4ssw\u00f6rd"}
WINDOW = 300  # seconds a token's Created may lie from now, either way

SOAP11 = "http://schemas.xmlsoap.org/soap/envelope/"
SOAP12 = "http://www.w3.org/2003/05/soap-envelope"
WSSE = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd"
WSU = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd"
PROFILE = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0"
BASE64 = ("http://docs.oasis-open.org/wss/2004/01/"
          "oasis-200401-wss-soap-message-security-1.0#Base64Binary")
ANSWER = "urn:orvex:wsse-test"

seen_nonces = set()
seen_lock = threading.Lock()
sessions = 0


class Refused(Exception):
    pass


def parse_time(text):
    """An xsd:dateTime in UTC ("Z"), with or without fractions of a second."""
    if text is None or not text.endswith("Z"):
        raise Refused(f"time {text!r} is not UTC")
    for form in ("%Y-%m-%dT%H:%M:%S.%fZ", "%Y-%m-%dT%H:%M:%SZ"):
        try:
            return datetime.strptime(text, form).replace(tzinfo=timezone.utc)
        except ValueError:
            pass
    raise Refused(f"time {text!r} is no dateTime")


def check(envelope):
    """What the token held, when it passes; raises Refused otherwise."""
    header = envelope.find(f"{{{envelope.tag[1:].split('}')[0]}}}Header")
    security = header.find(f"{{{WSSE}}}Security") if header is not None else None
    if security is None:
        raise Refused("no Security header")
    now = datetime.now(timezone.utc)
    held = {"Timestamp": "false", "MustUnderstand": ""}
    for name, value in security.attrib.items():
        if name.endswith("}mustUnderstand"):
            held["MustUnderstand"] = value
    stamp = security.find(f"{{{WSU}}}Timestamp")
    if stamp is not None:
        created = parse_time(stamp.findtext(f"{{{WSU}}}Created"))
        expires = parse_time(stamp.findtext(f"{{{WSU}}}Expires"))
        if expires <= now:
            raise Refused("the timestamp has expired")
        if (created - now).total_seconds() > WINDOW:
            raise Refused("the timestamp was created in the future")
        held["Timestamp"] = "true"
    token = security.find(f"{{{WSSE}}}UsernameToken")
    if token is None:
        raise Refused("no UsernameToken")
    user = token.findtext(f"{{{WSSE}}}Username")
    if user not in USERS:
        raise Refused(f"unknown user {user!r}")
    password = token.find(f"{{{WSSE}}}Password")
    nonce = token.find(f"{{{WSSE}}}Nonce")
    created_text = token.findtext(f"{{{WSU}}}Created")
    nonce_bytes = b""
    if nonce is not None:
        if nonce.get("EncodingType", BASE64) != BASE64:
            raise Refused("a nonce not in Base64Binary")
        try:
            nonce_bytes = base64.b64decode(nonce.text or "", validate=True)
        except binascii.Error:
            raise Refused("a nonce that is no Base64") from None
        with seen_lock:
            if nonce_bytes in seen_nonces:
                raise Refused("the nonce was used before")
            seen_nonces.add(nonce_bytes)
    if created_text is not None:
        created = parse_time(created_text)
        if abs((created - now).total_seconds()) > WINDOW:
            raise Refused("created out of the window")
    kind = (password.get("Type", PROFILE + "#PasswordText") if password is not None else "").split("#")[-1]
    secret = USERS[user].encode("utf-8")
    if kind == "PasswordText":
        if (password.text or "") != USERS[user]:
            raise Refused("wrong password")
    elif kind == "PasswordDigest":
        if nonce is None or created_text is None:
            raise Refused("a digest without nonce and created")
        digest = base64.b64encode(hashlib.sha1(nonce_bytes + created_text.encode("utf-8") + secret).digest())
        if (password.text or "").encode("ascii", "replace") != digest:
            raise Refused("wrong password digest")
    else:
        raise Refused(f"password type {kind!r}")
    return {"User": user, "PasswordType": kind, "Nonce": str(nonce is not None).lower(),
            "Created": created_text or "", **held}


def envelope_text(namespace, header, body):
    return (f'<?xml version="1.0" encoding="utf-8"?><env:Envelope xmlns:env="{namespace}">'
            f"{header}<env:Body>{body}</env:Body></env:Envelope>")


def escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        global sessions
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        namespace = SOAP11
        try:
            try:
                envelope = ET.fromstring(body)
            except ET.ParseError as error:
                raise Refused(f"no XML: {error}") from None
            namespace = envelope.tag[1:].split("}")[0] if envelope.tag.startswith("{") else SOAP11
            held = check(envelope)
        except Refused as refusal:
            reason = f"The security token could not be authenticated or authorized: {refusal}"
            if namespace == SOAP12:
                fault = (f'<env:Fault><env:Code><env:Value>env:Sender</env:Value><env:Subcode>'
                         f'<env:Value xmlns:wsse="{WSSE}">wsse:FailedAuthentication</env:Value>'
                         f'</env:Subcode></env:Code><env:Reason><env:Text xml:lang="en">{escape(reason)}'
                         f"</env:Text></env:Reason></env:Fault>")
            else:
                fault = (f'<env:Fault><faultcode xmlns:wsse="{WSSE}">wsse:FailedAuthentication</faultcode>'
                         f"<faultstring>{escape(reason)}</faultstring></env:Fault>")
            self.answer(500, namespace, envelope_text(namespace, "", fault))
            return
        with seen_lock:
            sessions += 1
            session = sessions
        fields = "".join(f"<{name}>{escape(value)}</{name}>" for name, value in held.items())
        header = f'<env:Header><h:Session xmlns:h="{ANSWER}" h:granted="1">S-{session}</h:Session></env:Header>'
        self.answer(200, namespace,
                    envelope_text(namespace, header, f'<WhoAmIResponse xmlns="{ANSWER}"><WhoAmIResult>{fields}'
                                                      "</WhoAmIResult></WhoAmIResponse>"))

    def answer(self, status, namespace, text):
        data = text.encode("utf-8")
        kind = "application/soap+xml" if namespace == SOAP12 else "text/xml"
        self.send_response(status)
        self.send_header("Content-Type", f"{kind}; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lifetime", type=float, default=600.0)
    args = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print(f"PORT {server.server_port}", flush=True)
    timer = threading.Timer(args.lifetime, server.shutdown)
    timer.daemon = True
    timer.start()
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())
