#!/usr/bin/python3
"""Reads an envelope on standard input and prints its UsernameToken, then an
empty line, then the token zeep writes for the same user and password with
the nonce and created read from it: one "NAMESPACE NAME TYPE TEXT" line per
element below UsernameToken (TYPE the Type or EncodingType, "-" for none).

Usage: wsse_zeep.py USER PASSWORD < envelope.xml"""
import base64
import sys
from datetime import datetime

from lxml import etree
from zeep.wsse.username import UsernameToken

WSSE = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd"
WSU = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd"


def lines(envelope):
    out = []
    for token in envelope.iter(f"{{{WSSE}}}UsernameToken"):
        for child in token:
            name = etree.QName(child)
            kind = child.get("Type") or child.get("EncodingType") or "-"
            out.append(f"{name.namespace} {name.localname} {kind} {child.text}")
    return out


def main():
    user, password = sys.argv[1:3]
    ours = etree.fromstring(sys.stdin.buffer.read())
    nonce = ours.findtext(f".//{{{WSSE}}}UsernameToken/{{{WSSE}}}Nonce")
    created = ours.findtext(f".//{{{WSSE}}}UsernameToken/{{{WSU}}}Created")
    digest = ours.find(f".//{{{WSSE}}}Password").get("Type").endswith("#PasswordDigest")
    # zeep takes the nonce as a text and the time as a datetime, which it
    # writes to the second, with "Z" only when asked.
    token = UsernameToken(user, password, use_digest=digest,
                          nonce=base64.b64decode(nonce).decode("utf-8") if nonce else None,
                          created=datetime.strptime(created, "%Y-%m-%dT%H:%M:%SZ") if created else None,
                          zulu_timestamp=True)
    soap = "http://schemas.xmlsoap.org/soap/envelope/"
    theirs = etree.Element(f"{{{soap}}}Envelope")
    etree.SubElement(theirs, f"{{{soap}}}Body")
    theirs, _ = token.apply(theirs, {})
    print("\n".join(lines(ours)))
    print()
    print("\n".join(lines(theirs)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
