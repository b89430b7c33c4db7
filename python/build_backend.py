"""The build backend of the orvex package (PEP 517), in the standard library alone:
`pip install ./python` then needs no package index, and neither does a build from
the source archive it writes. The wheel holds orvex/*.py and the metadata that
pyproject.toml's [project] table gives; the package has no compiled part."""

from __future__ import annotations

import base64
import hashlib
import io
import os
import re
import tarfile
import time
import tomllib
import zipfile
from pathlib import Path

__all__ = ["build_wheel", "build_sdist", "get_requires_for_build_wheel", "get_requires_for_build_sdist"]

HERE = Path(__file__).resolve().parent
PACKAGE = "orvex"


def _project() -> dict[str, str]:
    with open(HERE / "pyproject.toml", "rb") as file:
        return tomllib.load(file)["project"]


def _distribution(project: dict[str, str]) -> str:
    """NAME-VERSION as wheel and archive names spell it."""
    return re.sub(r"[-_.]+", "_", project["name"]).lower() + "-" + project["version"]


def _metadata(project: dict[str, str]) -> bytes:
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {project['version']}"]
    if "description" in project:
        lines.append(f"Summary: {project['description']}")
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    return ("\n".join(lines) + "\n").encode()


def _sources() -> list[Path]:
    return sorted((HERE / PACKAGE).glob("*.py"))


def _timestamp() -> float:
    """SOURCE_DATE_EPOCH when set, so that the same sources make the same files; zip
    dates start in 1980."""
    return max(float(os.environ.get("SOURCE_DATE_EPOCH", time.time())), 315532800.0)


def get_requires_for_build_wheel(config_settings: object = None) -> list[str]:
    return []


def get_requires_for_build_sdist(config_settings: object = None) -> list[str]:
    return []


def build_wheel(wheel_directory: str, config_settings: object = None,
                metadata_directory: object = None) -> str:
    project = _project()
    distribution = _distribution(project)
    info = f"{distribution}.dist-info"
    name = f"{distribution}-py3-none-any.whl"
    date = time.gmtime(_timestamp())[:6]
    records = []
    with zipfile.ZipFile(Path(wheel_directory) / name, "w", zipfile.ZIP_DEFLATED) as wheel:

        def write(path: str, data: bytes) -> None:
            entry = zipfile.ZipInfo(path, date_time=date)
            entry.external_attr = 0o644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(entry, data)

        def add(path: str, data: bytes) -> None:
            write(path, data)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            records.append(f"{path},sha256={digest},{len(data)}")

        for source in _sources():
            add(f"{PACKAGE}/{source.name}", source.read_bytes())
        add(f"{info}/METADATA", _metadata(project))
        add(f"{info}/WHEEL", b"Wheel-Version: 1.0\nGenerator: orvex build_backend\n"
                             b"Root-Is-Purelib: true\nTag: py3-none-any\n")
        add(f"{info}/top_level.txt", f"{PACKAGE}\n".encode())
        write(f"{info}/RECORD", "".join(f"{line}\n" for line in [*records, f"{info}/RECORD,,"]).encode())
    return name


def build_sdist(sdist_directory: str, config_settings: object = None) -> str:
    project = _project()
    distribution = _distribution(project)
    name = f"{distribution}.tar.gz"
    stamp = int(_timestamp())
    files = [HERE / "pyproject.toml", Path(__file__).resolve(), *_sources()]
    with tarfile.open(Path(sdist_directory) / name, "w:gz", format=tarfile.PAX_FORMAT) as archive:

        def add(path: str, data: bytes) -> None:
            entry = tarfile.TarInfo(f"{distribution}/{path}")
            entry.size, entry.mtime, entry.mode = len(data), stamp, 0o644
            archive.addfile(entry, io.BytesIO(data))

        for file in files:
            add(file.relative_to(HERE).as_posix(), file.read_bytes())
        add("PKG-INFO", _metadata(project))
    return name
