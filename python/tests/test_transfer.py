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


def test_download_deadline_ends_a_slow_download(http_url: str, tmp_path: Path) -> None:
    target = tmp_path / "slow"
    orvex.set_download_deadline(1)
    try:
        with pytest.raises(orvex.TransferError, match=r"Download deadline of 1 second reached"):
            orvex.download(f"{http_url}/trickle/100/200", target)
    finally:
        orvex.set_download_deadline(0)
    assert list(tmp_path.iterdir()) == []


def test_progress_reports_up_to_the_total(http_url: str, tmp_path: Path) -> None:
    calls: list[tuple[int, int | None]] = []
    orvex.download(f"{http_url}/bytes/{SIZE}", tmp_path / "x",
                   progress=lambda done, total: calls.append((done, total)))
    assert calls[-1] == (SIZE, SIZE)


# What a callback such as lambda d, t: sys.stderr.write(...) returns: none of it cancels.
@pytest.mark.parametrize("answer", [None, 0, 17, True, "written"])
def test_what_progress_returns_never_cancels(http_url: str, tmp_path: Path,
                                             answer: object) -> None:
    orvex.download(f"{http_url}/bytes/{SIZE}", tmp_path / "x", progress=lambda d, t: answer)
    assert (tmp_path / "x").read_bytes() == pattern(SIZE)


def test_progress_raising_cancelled_cancels_and_leaves_nothing(http_url: str,
                                                               tmp_path: Path) -> None:
    def progress(done: int, total: int | None) -> None:
        if done >= 1024 * 1024:
            raise orvex.Cancelled

    with pytest.raises(orvex.TransferCancelled, match=r"Transfer cancelled"):
        orvex.download(f"{http_url}/bytes/{SIZE}", tmp_path / "x", progress=progress)
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
