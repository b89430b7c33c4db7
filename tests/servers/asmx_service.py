#!/usr/bin/env python3
"""The ASMX services of tests/servers/asmx/ on Mono's ASP.NET runtime.

Usage: asmx_service.py [--lifetime SECONDS]
Compiles the host and the services with mcs into a cache folder named after
their sources (once), then becomes the host: it listens on 127.0.0.1 at a free
port, fetches each page's WSDL so that the pages are compiled, prints
"PORT <n>" on its first line of standard output and serves until it is killed
or until --lifetime seconds have passed (600 by default).
When Mono or its ASP.NET assemblies are missing it prints "MISSING <what>"
instead and exits with status 77."""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

SOURCES = Path(__file__).resolve().parent / "asmx"
MONO_LIB = Path("/usr/lib/mono/4.5")
ASSEMBLIES = ["System.Web.dll", "System.Web.Services.dll", "System.Data.dll", "System.Xml.dll"]
PACKAGES = "mono-mcs libmono-system-web4.0-cil libmono-system-web-services4.0-cil libmono-system-data4.0-cil"


def missing() -> str:
    """What of Mono is not installed, "" when nothing is."""
    lacking = [tool for tool in ("mono", "mcs") if shutil.which(tool) is None]
    lacking += [name for name in ASSEMBLIES if not (MONO_LIB / name).is_file()]
    return ", ".join(lacking)


def compiled() -> Path:
    """The application folder with the host in its bin/, compiled when its sources changed."""
    digest = hashlib.sha256()
    for source in sorted(SOURCES.iterdir()):
        digest.update(source.name.encode() + b"\0" + source.read_bytes())
    folder = Path(tempfile.gettempdir()) / f"orvex-asmx-{os.getuid()}-{digest.hexdigest()[:16]}"
    if (folder / "bin" / "OrvexAsmxHost.exe").is_file():
        return folder
    # Built aside and renamed, so that two starts at once never see half a folder.
    scratch = Path(tempfile.mkdtemp(prefix="orvex-asmx-"))
    for source in SOURCES.iterdir():
        if source.suffix != ".cs":
            shutil.copy(source, scratch / source.name)
    (scratch / "bin").mkdir()
    # The runtime looks for the pages' classes in the libraries of bin/.
    for target, output, source in (("exe", "OrvexAsmxHost.exe", "AsmxHost.cs"),
                                   ("library", "OrvexAsmxServices.dll", "Services.cs")):
        compiler = subprocess.run(["mcs", "-nologo", "-warnaserror", "-target:" + target,
                                   "-out:" + str(scratch / "bin" / output),
                                   *("-r:" + name for name in ASSEMBLIES), str(SOURCES / source)],
                                  stdout=sys.stderr, check=False)
        if compiler.returncode != 0:
            shutil.rmtree(scratch)
            sys.exit(f"asmx_service: mcs could not compile {source}")
    try:
        scratch.rename(folder)
    except OSError:
        shutil.rmtree(scratch)  # another start got there first
    return folder


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lifetime", type=int, default=600)
    arguments = parser.parse_args()
    lacking = missing()
    if lacking:
        print(f"MISSING {lacking} (Debian: {PACKAGES})", flush=True)
        sys.exit(77)
    host = compiled() / "bin" / "OrvexAsmxHost.exe"
    os.execv(shutil.which("mono"), ["mono", str(host), "--lifetime", str(arguments.lifetime)])


if __name__ == "__main__":
    main()
