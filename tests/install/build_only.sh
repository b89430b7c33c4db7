#!/usr/bin/env bash
# The library alone. Configured with ORVEX_TESTS=OFF, the tree builds the
# library, the command and the examples, and searches for nothing but what they
# need: no GoogleTest, Google Benchmark or clang. `scripts/install-deps
# --build-only` names no package of the tests, and every header that the
# library, the command and the examples include (read from the build's
# dependency records) comes from its packages or what they depend on.
#   build_only.sh BUILD_DIR SOURCE_DIR
# CC and CXX name the compilers.
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "build-only: $*"; exit 1; }

configure() {
  cmake -S "$source" -B "$scratch/tree" -G Ninja -DCMAKE_C_COMPILER="${CC:-cc}" -DCMAKE_CXX_COMPILER="${CXX:-c++}" \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON "$@"
}

echo "== configured with ORVEX_TESTS=OFF, GoogleTest and Google Benchmark out of reach"
# A REQUIRED search for a disabled package stops the configure; the trace shows the others.
configure -DORVEX_TESTS=OFF --trace-expand --trace-format=json-v1 --trace-redirect="$scratch/trace.json" \
  >"$scratch/cmake.log" 2>&1 || { cat "$scratch/cmake.log"; fail "the configure failed"; }
searched=$(/usr/bin/python3 - "$scratch/trace.json" "$source" <<'PY'
import json, sys
KEYWORDS = {"REQUIRED", "QUIET", "IMPORTED_TARGET", "GLOBAL", "NO_CMAKE_PATH", "NO_CMAKE_ENVIRONMENT_PATH"}
for line in open(sys.argv[1]):
    call = json.loads(line)
    command = call.get("cmd", "").lower()
    if not call.get("file", "").startswith(sys.argv[2] + "/"):
        continue  # what CMake's own modules search for on behalf of a call below
    args = call["args"]
    if command == "find_package":
        print(command, args[0])
    elif command in ("pkg_check_modules", "pkg_search_module"):
        print(command, *[a for a in args[1:] if a not in KEYWORDS])
    elif command in ("find_program", "find_library", "find_path", "find_file"):
        print(command, args[2] if args[1] == "NAMES" else args[1])
PY
)
# What the library, the command, the examples and the install need, and nothing else.
expected="find_package CURL
find_package OpenSSL
find_package PkgConfig
find_package Threads
find_package pugixml
find_program python3
pkg_check_modules libmspack"
[ "$(sort -u <<<"$searched")" = "$expected" ] ||
  fail "with ORVEX_TESTS=OFF the configure searches for:"$'\n'"$(sort -u <<<"$searched")"

targets=$(ninja -C "$scratch/tree" -t targets all | sed 's/:.*//')
for target in src/liborvex.so tools/orvex examples/soap_call examples/record_set examples/xml_walk examples/download; do
  grep -qx "$target" <<<"$targets" || fail "with ORVEX_TESTS=OFF nothing builds $target"
done
! grep -E '^(tests|fuzz|bench)/' <<<"$targets" || fail "with ORVEX_TESTS=OFF the targets above still build"

echo "== benchmarks and fuzz targets ask for the tests"
for option in ORVEX_BENCH ORVEX_FUZZ; do
  rm -rf "$scratch/tree"
  ! configure -DORVEX_TESTS=OFF -D$option=ON >"$scratch/cmake.log" 2>&1 ||
    fail "$option=ON configured with ORVEX_TESTS=OFF"
  grep -q "$option needs ORVEX_TESTS" "$scratch/cmake.log" || { cat "$scratch/cmake.log"; fail "no word on $option"; }
done

echo "== scripts/install-deps --build-only"
packages=$("$source/scripts/install-deps" --build-only --list) || fail "install-deps --build-only --list failed"
for test_only in libgtest-dev libbenchmark-dev clang python3-pytest; do
  ! grep -qx "$test_only" <<<"$packages" || fail "--build-only installs $test_only"
done
compilers=$(cat "$build"/CMakeFiles/*/CMakeCCompiler.cmake "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake 2>/dev/null |
  sed -n 's/^set(CMAKE_\(C\|CXX\)_COMPILER_ID "\(.*\)")$/\2/p' | sort -u)
if ! command -v dpkg >/dev/null || [ ! -f "$build/build.ninja" ] || [ "$compilers" != GNU ]; then
  # The check reads a GCC build's records, as a user of --build-only builds with GCC.
  echo "build-only: passed (the package list is checked in a GCC build with Ninja on Debian)"
  exit 0
fi
mapfile -t headers < <(ninja -C "$build" -t deps | awk -v source="$source/" -v build="$build/" '
  /^[^ ]/ { keep = ($1 ~ /^(src|tools|examples)\//); next }
  keep && NF && index($1, source) != 1 && index($1, build) != 1 { print $1 }' | xargs -r realpath -sm | sort -u)
[ "${#headers[@]}" -gt 0 ] || fail "the build $build records no headers"
owners=$(dpkg -S "${headers[@]}" 2>"$scratch/dpkg.err") || { cat "$scratch/dpkg.err"; fail "a header belongs to no package"; }
# shellcheck disable=SC2086 # one package a word
reachable=$(apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances $packages | grep -v '^ ' | sed 's/:.*//' | sort -u)
# "package[:arch][, package[:arch]]: path"
missing=$(sed 's/: .*//; s/, /\n/g' <<<"$owners" | sed 's/:.*//' | sort -u | comm -23 - <(echo "$reachable"))
[ -z "$missing" ] || fail "headers come from packages --build-only does not bring:"$'\n'"$missing"
echo "build-only: passed"
