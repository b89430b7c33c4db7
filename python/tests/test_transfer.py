"""Downloads and uploads through the binding, progress and cancel included."""

from __future__ import annotations

from pathlib import Path

import pytest
from conftest import pattern

import orvex

SIZE = 3 * 1024 * 1024


def test_download_writes_the_file(http_url: str, tmp_path: Path) -> None:
    target = tmp_path / "données.bin"
    orvex.download(f"{http_url}/bytes/{SIZE}", target)
    assert target.read_bytes() == pattern(SIZE)


def test_failed_download_raises_with_its_reason(http_url: str, tmp_path: Path) -> None:
    with pytest.raises(orvex.TransferError, match=r"status 404"):
        orvex.download(f"{http_url}/status/404", tmp_path / "x")


def test_progress_reports_up_to_the_total(http_url: str, tmp_path: Path) -> None:
    calls: list[tuple[int, int | None]] = []
    orvex.download(f"{http_url}/bytes/{SIZE}", tmp_path / "x",
                   progress=lambda done, total: calls.append((done, total)))
    assert calls[-1] == (SIZE, SIZE)


def test_progress_that_cancels_leaves_nothing(http_url: str, tmp_path: Path) -> None:
    with pytest.raises(orvex.TransferCancelled, match=r"Transfer cancelled"):
        orvex.download(f"{http_url}/bytes/{SIZE}", tmp_path / "x",
                       progress=lambda done, total: True)
    assert list(tmp_path.iterdir()) == []


def test_exception_in_progress_cancels_and_is_raised(http_url: str, tmp_path: Path) -> None:
    def progress(done: int, total: int | None) -> bool:
        raise KeyError("stop here")

    with pytest.raises(KeyError, match="stop here"):
        orvex.download(f"{http_url}/bytes/{SIZE}", tmp_path / "x", progress=progress)
    assert list(tmp_path.iterdir()) == []


def test_upload_with_progress(ftp_server: tuple[str, Path], tmp_path: Path) -> None:
    url, root = ftp_server
    source = tmp_path / "up.bin"
    source.write_bytes(pattern(SIZE))
    calls: list[tuple[int, int | None]] = []
    orvex.upload(f"{url}/up.bin", source, progress=lambda done, total: calls.append((done, total)))
    assert ((root / "up.bin").read_bytes(), calls[-1]) == (pattern(SIZE), (SIZE, SIZE))
