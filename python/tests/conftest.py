"""Fixtures: the local peers of tests/servers/, started on 127.0.0.1 with
port 0 and stopped by pid; proxies unset so that nothing leaves the machine."""

from __future__ import annotations

import os
import select
import signal
import subprocess
import sys
from pathlib import Path
from typing import Callable, Iterator

import pytest

ROOT = Path(__file__).resolve().parents[2]
SERVERS = ROOT / "tests" / "servers"
PYTHON = "/usr/bin/python3"  # Debian's, with the packages the servers need
START_SECONDS = 20

# Run by hand, the tests take the package beside them.
if str(ROOT / "python") not in sys.path:
    sys.path.insert(0, str(ROOT / "python"))

for _name in ("http_proxy", "https_proxy", "ftp_proxy", "all_proxy"):
    os.environ.pop(_name, None)
    os.environ.pop(_name.upper(), None)


def start_server(*args: str) -> tuple[subprocess.Popen[str], list[int]]:
    """Starts a server script and reads the ports of its first line."""
    return start_program(PYTHON, *args)


def start_program(*command: str) -> tuple[subprocess.Popen[str], list[int]]:
    """Starts a server program and reads the ports of its first line."""
    process, line = start_reading(*command)
    return process, [int(port) for port in line.split()[1:]]


def start_reading(*command: str) -> tuple[subprocess.Popen[str], str]:
    """Starts a server program and reads its first line."""
    process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
    assert process.stdout is not None
    ready, _, _ = select.select([process.stdout], [], [], START_SECONDS)
    line = process.stdout.readline() if ready else ""
    if not line:
        stop_server(process)
        raise RuntimeError(f"{command[1] if command[0] == PYTHON else command[0]} did not start")
    return process, line


def stop_server(process: subprocess.Popen[str]) -> None:
    os.kill(process.pid, signal.SIGTERM)
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        os.kill(process.pid, signal.SIGKILL)
        process.wait()
    if process.stdout is not None:
        process.stdout.close()


@pytest.fixture(scope="session")
def soap_url() -> Iterator[str]:
    """The sample SOAP service (.NET style, namespace http://orvex.test/sample/)."""
    process, ports = start_server(str(SERVERS / "soap_service.py"), "--port", "0",
                                  "--lifetime", "600")
    yield f"http://127.0.0.1:{ports[0]}/"
    stop_server(process)


@pytest.fixture(scope="session")
def asmx_url() -> Iterator[str]:
    """The ASMX services on Mono (tests/servers/asmx/): Service.asmx, DataSets.asmx
    and Encoded.asmx under this URL. Skips when Mono is not installed."""
    process, line = start_reading(PYTHON, str(SERVERS / "asmx_service.py"), "--lifetime", "600")
    if line.startswith("MISSING"):
        stop_server(process)
        pytest.skip("Mono's ASP.NET runtime is not installed: " + line.split(maxsplit=1)[1].strip())
    yield f"http://127.0.0.1:{int(line.split()[1])}/"
    stop_server(process)


@pytest.fixture(scope="session")
def wsse_url() -> Iterator[str]:
    """The WS-Security service: users alice ("s3cret&<pw>") and bob."""
    process, ports = start_server(str(SERVERS / "wsse_service.py"), "--lifetime", "600")
    yield f"http://127.0.0.1:{ports[0]}/"
    stop_server(process)


@pytest.fixture(scope="session")
def http_url() -> Iterator[str]:
    """The HTTP test server, without a trailing slash; its routes are listed at its top."""
    process, ports = start_server(str(SERVERS / "http_server.py"), "--lifetime", "600")
    yield f"http://127.0.0.1:{ports[0]}"
    stop_server(process)


@pytest.fixture(scope="session")
def ftp_server(tmp_path_factory: pytest.TempPathFactory) -> Iterator[tuple[str, Path]]:
    """The FTP test server: its base URL and the folder it serves."""
    root = tmp_path_factory.mktemp("ftp")
    process, ports = start_server(str(SERVERS / "ftp_server.py"), "--root", str(root),
                                  "--lifetime", "600")
    yield f"ftp://127.0.0.1:{ports[0]}", root
    stop_server(process)


@pytest.fixture(scope="session")
def gsoap_peer() -> Iterator[Callable[[str], str]]:
    """The rpc/encoded service on gSOAP's runtime (tests/servers/gsoap/, namespace
    urn:orvex-peer): gives its URL in a mode (how an object two items share is written:
    encoded, tree or graph), started once per mode."""
    program = os.environ.get("ORVEX_GSOAP_SERVER")
    if not program:
        pytest.skip("no gSOAP peer: ORVEX_GSOAP_SERVER is unset (install gsoap and "
                    "libgsoap-dev, then configure and build again)")
    started: dict[str, tuple[subprocess.Popen[str], str]] = {}

    def url(mode: str) -> str:
        if mode not in started:
            process, ports = start_program(program, "--mode", mode, "--lifetime", "600")
            started[mode] = (process, f"http://127.0.0.1:{ports[0]}/")
        return started[mode][1]

    yield url
    for process, _ in started.values():
        stop_server(process)


@pytest.fixture(scope="session")
def gsoap_url(gsoap_peer: Callable[[str], str]) -> str:
    """The gSOAP peer in gSOAP's own mode for SOAP encoding."""
    return gsoap_peer("encoded")


def pattern(count: int) -> bytes:
    """The bytes of the HTTP server's /bytes/<count> route."""
    return (bytes(range(256)) * (count // 256 + 1))[:count]


def run_python(script: str, *options: str, **environment: str) -> subprocess.CompletedProcess[str]:
    """Runs a script in a new interpreter that imports this package, with
    extra environment variables."""
    paths = [str(ROOT / "python"), os.environ.get("PYTHONPATH", "")]
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in paths if p), **environment)
    return subprocess.run([sys.executable, *options, "-c", script], env=env, capture_output=True,
                          text=True, timeout=120)
