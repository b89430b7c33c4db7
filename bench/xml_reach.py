#!/usr/bin/python3
"""The direct reader's reach on XML that nobody here wrote: the XML, SVG,
XSD and WSDL files Debian's packages installed under /usr/share, with the
answers of the test SOAP service to a few calls (a table, a record, a nil
result, a scalar, a fault).

Usage: bench/xml_reach.py BENCH_XML_REACH [DIRECTORY...]
BENCH_XML_REACH is the built program (build-bench/bench/bench_xml_reach);
the directories default to /usr/share. It prints the files the pugixml route
read and the share the direct reader read alone."""
import os
import subprocess
import sys
import tempfile
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SERVICE = os.path.join(HERE, "..", "tests", "servers", "soap_service.py")
NAMESPACE = "http://orvex.test/sample/"
CALLS = {
    "GetOrders": "<tns:customer></tns:customer>",
    "GetCustomer": "<tns:id>7</tns:id>",
    "FindCustomer": "<tns:id>1</tns:id>",
    "Add": "<tns:a>2</tns:a><tns:b>3</tns:b>",
    "Fail": "<tns:reason>asked for</tns:reason>",
}


def envelope(method, arguments):
    return ('<?xml version="1.0" encoding="utf-8"?>\r\n'
            '<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/" '
            f'xmlns:tns="{NAMESPACE}"><soap:Body><tns:{method}>{arguments}</tns:{method}>'
            '</soap:Body></soap:Envelope>').encode()


def fetch_answers(directory):
    service = subprocess.Popen(["/usr/bin/python3", SERVICE, "--lifetime", "60"],
                               stdout=subprocess.PIPE, text=True)
    try:
        port = int(service.stdout.readline().split()[1])
        for method, arguments in CALLS.items():
            request = urllib.request.Request(
                f"http://127.0.0.1:{port}/", data=envelope(method, arguments),
                headers={"Content-Type": "text/xml; charset=utf-8",
                         "SOAPAction": f'"{NAMESPACE}{method}"'})
            try:
                with urllib.request.urlopen(request, timeout=10) as response:
                    body = response.read()
            except urllib.error.HTTPError as error:  # a fault comes with status 500
                body = error.read()
            with open(os.path.join(directory, f"{method}.xml"), "wb") as out:
                out.write(body)
    finally:
        service.kill()
        service.wait()


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    directories = sys.argv[2:] or ["/usr/share"]
    with tempfile.TemporaryDirectory() as answers:
        fetch_answers(answers)
        return subprocess.call([sys.argv[1], answers] + directories)


if __name__ == "__main__":
    sys.exit(main())
