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


def test_texts_are_in_the_code_page_the_library_uses() -> None:
    # latin_1 is a name Python knows and iconv does not: the library keeps UTF-8, and so must
    # the binding, or "東京" could not even be passed.
    script = 'import orvex; print(orvex.code_page(), orvex.parse_xml("<a>Grüße 東京</a>").text)'
    run = run_python(script, ORVEX_CODEPAGE="latin_1")
    assert (run.returncode, run.stdout, run.stderr) == (0, "UTF-8 Grüße 東京\n", "")


def test_code_page_python_does_not_know_is_refused_by_name() -> None:
    run = run_python("import orvex; orvex.library_version()", ORVEX_CODEPAGE="MS-ANSI")
    assert run.returncode != 0 and "MS-ANSI" in run.stderr
