#!/usr/bin/env python3
"""Fails when liborvex.so misses a function of orvex.h or exports anything
beyond the C API and the exported classes."""
import re
import subprocess
import sys

# The C++ classes a host may use; everything of theirs may be exported.
EXPORTED_CLASSES = {
    "CBuffer", "CBase64", "CString", "CStringArray", "CUIntArray", "CFile",
    "CFileException", "CHandleObject", "CTextUtil", "CPubEx", "CInternet",
    "IHTTPCompress", "IXMLTreeNode", "IXMLTreeParser", "CInternetSession", "CStdioFile",
    "CInternetFile", "CFtpConnection", "CInternetException",
}
FREE_OPERATORS = re.compile(r"^operator\+\((CString const&, |char const\*, CString const&)")


def header_functions(path):
    text = open(path, encoding="utf-8").read()
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    text = "\n".join(l for l in text.splitlines() if not l.lstrip().startswith("#"))
    return set(re.findall(r"ORVEX_EXPORT\b[^;(]*?\b(\w+)\s*\(", text))


def dynamic_symbols(lib):
    out = subprocess.run(["nm", "-D", "--defined-only", lib], check=True,
                         capture_output=True, text=True).stdout
    raw = [line.split()[-1].split("@")[0] for line in out.splitlines() if line.strip()]
    demangled = subprocess.run(["c++filt"], input="\n".join(raw), check=True,
                               capture_output=True, text=True).stdout.splitlines()
    return list(zip(raw, demangled))


def owner(demangled):
    for prefix in ("typeinfo name for ", "typeinfo for ", "vtable for ", "TLS init function for ",
                   "TLS wrapper function for "):
        if demangled.startswith(prefix):
            return demangled[len(prefix):].split("::")[0]
    m = re.match(r"^(\w+)::", demangled)
    return m.group(1) if m else None


def main():
    lib, header = sys.argv[1], sys.argv[2]
    wanted = header_functions(header)
    symbols = dynamic_symbols(lib)
    names = {raw for raw, _ in symbols}
    problems = [f"missing from the library: {n}" for n in sorted(wanted - names)]
    for raw, demangled in symbols:
        if raw in wanted or raw.startswith("ORVEX_"):
            continue
        if owner(demangled) in EXPORTED_CLASSES or FREE_OPERATORS.match(demangled):
            continue
        problems.append(f"leaks: {demangled}")
    for p in problems:
        print(p)
    print(f"{len(wanted)} C functions, {len(symbols)} exported symbols checked")
    return 1 if problems or not wanted else 0


if __name__ == "__main__":
    sys.exit(main())
