"""How the package finds liborvex."""

from __future__ import annotations

from conftest import ROOT, run_python

SHOW_PATH = "import orvex; print(orvex.library_path())"


def test_the_variable_wins_and_nothing_else_is_tried() -> None:
    run = run_python(SHOW_PATH, ORVEX_LIBRARY="/nonexistent/liborvex.so.1")
    assert run.returncode != 0 and "/nonexistent/liborvex.so.1" in run.stderr


def test_without_the_variable_the_build_tree_is_found() -> None:
    run = run_python("import os; os.environ.pop('ORVEX_LIBRARY', None); " + SHOW_PATH)
    path = run.stdout.strip()
    assert path.startswith(f"{ROOT}/build") and path.endswith("/src/liborvex.so.1")
