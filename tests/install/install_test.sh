#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks the tree a packager
# would ship, then builds and runs a C host against the installed copy alone,
# once through pkg-config and once through find_package(Orvex), the README's
# hello.c exactly as the README builds it for such a prefix, and examples/ on
# its own. Then the Python binding: where installs for /usr, /usr/local and a
# packager's folder put it, and (unsanitized builds) imported from the prefix
# and pip-installed into a virtual environment with no package index.
#   install_test.sh BUILD_DIR SOURCE_DIR LIBDIR VERSION STATIC(ON|OFF)
# CC (and CXX for the static CMake host) name the compilers; ORVEX_HOST_FLAGS
# adds flags to every host compile and link (a sanitizer build's),
# ORVEX_HOST_LINK_FLAGS to every link.
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
libdir=$3
version=$4
static=$5
here=$(cd "$(dirname "$0")" && pwd)
cc=${CC:-cc}
read -r -a host_flags <<<"${ORVEX_HOST_FLAGS:-}"
read -r -a link_flags <<<"${ORVEX_HOST_LINK_FLAGS:-}"

scratch=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
case "$scratch/" in "$source"/* | "$build"/*)
  echo "the scratch directory $scratch lies in the tree under test"; exit 1 ;;
esac
# The README's example prefix, $HOME/orvex, with HOME the scratch folder while its steps run.
home=$scratch/home
prefix=$home/orvex
lib=$prefix/$libdir

fail() { echo "install test: $*"; exit 1; }

# No path into the source or build tree may reach a host's compile or link.
no_tree_paths() {
  local what=$1 text=$2
  case "$text" in
  *"$source/"* | *"$source "* | *"$build"*) fail "$what names the source or build tree: $text" ;;
  esac
}

# loads_installed PROGRAM: liborvex.so.1 resolves, with no library path from
# the environment, to the copy in the prefix.
loads_installed() {
  local found
  found=$(env -u LD_LIBRARY_PATH ldd "$1" | sed -n 's/^[[:space:]]*liborvex\.so\.1 => \(.*\) (0x.*$/\1/p')
  [ -n "$found" ] && [ "$(realpath "$found")" = "$(realpath "$lib/liborvex.so.1")" ] ||
    fail "$1 does not load the installed library: $(env -u LD_LIBRARY_PATH ldd "$1" | grep liborvex || echo none)"
}

# run_host PROGRAM [static]: runs with no library path from the environment.
run_host() {
  local program=$1 out
  if [ "${2:-}" = static ]; then
    ! ldd "$program" | grep -q liborvex || fail "$program loads liborvex.so"
  else
    loads_installed "$program"
  fi
  out=$(env -u LD_LIBRARY_PATH "$program" "$version") || fail "$program failed"
  [ "$out" = "host ok: liborvex $version" ] || fail "$program printed: $out"
}

# Where Debian's python3 takes the packages of a prefix it does not search by itself.
python_site() {
  /usr/bin/python3 -I -c 'import sys, sysconfig
print(sysconfig.get_path("purelib", "posix_prefix", vars={"base": sys.argv[1], "platbase": sys.argv[1]}))' "$1"
}
site=$(python_site "$prefix")

echo "== install into $prefix"
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || { cat "$scratch/install.log"; fail "install failed"; }

echo "== the installed tree"
cd "$prefix"
while IFS= read -r file; do
  case "$file" in
  bin/orvex | include/orvex.h | include/orvex/*.h | share/man/man1/orvex.1 | share/doc/orvex/README.md) ;;
  "$libdir/liborvex.so" | "$libdir/liborvex.so.1" | "$libdir/liborvex.so.$version") ;;
  "$libdir/pkgconfig/orvex.pc" | "$libdir"/cmake/Orvex/Orvex*.cmake) ;;
  "${site#"$prefix"/}"/orvex/*.py) ;;
  *) fail "installed but no part of the package: $file" ;;
  esac
done < <(find . \( -type f -o -type l \) | sed 's|^\./||' | grep -v -e '^lib.*/liborvex\.a$' -e 'OrvexStaticTargets' || true)
cd - >/dev/null
for file in bin/orvex include/orvex.h include/orvex/buffer.h share/man/man1/orvex.1 share/doc/orvex/README.md \
  "$libdir/liborvex.so.$version" "$libdir/pkgconfig/orvex.pc" "$libdir/cmake/Orvex/OrvexConfig.cmake" \
  "$libdir/cmake/Orvex/OrvexConfigVersion.cmake" "$libdir/cmake/Orvex/OrvexTargets.cmake" \
  "${site#"$prefix"/}/orvex/__init__.py"; do
  [ -e "$prefix/$file" ] || fail "$file was not installed"
done
[ "$(ls "$source/include/orvex" | wc -l)" -eq "$(ls "$prefix/include/orvex" | wc -l)" ] ||
  fail "include/orvex/ was not installed whole"
[ "$(readlink "$lib/liborvex.so")" = liborvex.so.1 ] || fail "liborvex.so does not point to liborvex.so.1"
[ "$(readlink "$lib/liborvex.so.1")" = "liborvex.so.$version" ] || fail "liborvex.so.1 does not point to liborvex.so.$version"
readelf -d "$lib/liborvex.so.$version" | grep -q 'Library soname: \[liborvex\.so\.1\]' || fail "the SONAME is not liborvex.so.1"
if [ "$static" = ON ]; then
  [ -f "$lib/liborvex.a" ] || fail "liborvex.a was not installed"
else
  [ ! -e "$lib/liborvex.a" ] || fail "liborvex.a was installed without ORVEX_INSTALL_STATIC"
fi

echo "== the installed command"
readelf -d "$prefix/bin/orvex" | grep -Eq 'R(UN)?PATH.*\[\$ORIGIN/\.\./'"$libdir"'\]' ||
  fail "bin/orvex has no runpath \$ORIGIN/../$libdir: $(readelf -d "$prefix/bin/orvex" | grep -E 'R(UN)?PATH' || true)"
[ "$(env -u LD_LIBRARY_PATH "$prefix/bin/orvex" --version)" = "orvex $version" ] || fail "bin/orvex --version"
loads_installed "$prefix/bin/orvex"

mkdir "$scratch/host"
cp "$here/host.c" "$here/host/CMakeLists.txt" "$scratch/host/"
cd "$scratch/host"

echo "== a host through pkg-config"
export PKG_CONFIG_PATH=$lib/pkgconfig
[ "$(pkg-config --modversion orvex)" = "$version" ] || fail "pkg-config --modversion orvex"
cflags=$(pkg-config --cflags orvex)
libs=$(pkg-config --libs orvex)
command="$cc ${host_flags[*]} -std=c99 -pedantic -Wall -Wextra -Werror host.c $cflags -o host_pc ${link_flags[*]} $libs -Wl,-rpath,$lib"
no_tree_paths "the pkg-config build" "$command"
echo "$command"
$command
run_host ./host_pc
if [ "$static" = ON ]; then
  # liborvex.a by its file name, then what it needs from pkg-config --static.
  libs=$(pkg-config --static --libs orvex)
  command="$cc ${host_flags[*]} -std=c99 -pedantic -Wall -Wextra -Werror host.c $cflags -o host_pc_static ${link_flags[*]} ${libs/-lorvex/-l:liborvex.a}"
  no_tree_paths "the static pkg-config build" "$command"
  echo "$command"
  $command
  run_host ./host_pc_static static
fi

echo "== the README's hello.c, built as the README says for a prefix the loader does not search"
# readme_block LANGUAGE TEXT: the README's first LANGUAGE code block that holds TEXT.
readme_block() {
  awk -v fence='```'"$1" -v text="$2" '
    $0 == fence { inside = 1; block = ""; next }
    inside && $0 == "```" { inside = 0; if (index(block, text)) { printf "%s", block; found = 1; exit } }
    inside { block = block $0 "\n" }
    END { exit !found }' "$source/README.md"
}
mkdir "$scratch/hello"
readme_block c 'HTTP_Request(' >"$scratch/hello/hello.c" || fail "the README shows no hello.c"
steps=$(readme_block sh 'pkg-config --variable=libdir') ||
  fail "the README does not show how a host finds the library in a prefix of its own"
# The README's prefix has its libraries in lib/, as GNUInstallDirs lays out any prefix but /usr;
# its run of hello fetches a page from the network, done below against a local server instead.
# shellcheck disable=SC2016 # the README's own text, $HOME unexpanded
steps=$(printf '%s\n' "${steps//'$HOME/orvex/lib/'/'$HOME/orvex/'$libdir/}" | grep -v '^\./hello')
printf '%s\n' "$steps"
(
  cd "$scratch/hello"
  export HOME=$home
  unset PKG_CONFIG_PATH
  # shellcheck disable=SC2317 # called by the README's lines
  cc() { command "$cc" "${host_flags[@]}" "$@" "${link_flags[@]}"; }
  eval "$steps"
) || fail "the README's steps failed"
loads_installed "$scratch/hello/hello"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
/usr/bin/python3 "$source/tests/servers/http_server.py" --lifetime 60 >"$scratch/server.out" &
server=$!
for _ in $(seq 1 100); do
  grep -q '^PORTS ' "$scratch/server.out" && break
  sleep 0.1
done
port=$(awk '/^PORTS /{print $2}' "$scratch/server.out")
[ -n "$port" ] || fail "the local HTTP server did not start"
out=$(env -u LD_LIBRARY_PATH "$scratch/hello/hello" "http://127.0.0.1:$port/bytes/100") ||
  fail "hello failed: $out"
[ "$out" = "liborvex $version: 100 bytes of application/octet-stream" ] || fail "hello printed: $out"

echo "== man orvex, with the prefix's bin/ on PATH"
if command -v man >/dev/null; then
  page=$(env -u MANPATH PATH="$prefix/bin:$PATH" man -w orvex) || fail "man finds no page orvex"
  [ "$page" = "$prefix/share/man/man1/orvex.1" ] || fail "man orvex shows $page"
else
  echo "man is not installed: not checked"
fi

echo "== a host through find_package(Orvex)"
unset CMAKE_PREFIX_PATH Orvex_DIR
host_cmake() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="${host_flags[*]}" -DCMAKE_EXE_LINKER_FLAGS="${host_flags[*]} ${link_flags[*]}" \
    "$@" >"$scratch/cmake.log" || { cat "$scratch/cmake.log"; fail "configuring the CMake host failed"; }
  grep -q "^Orvex_DIR:PATH=$lib/cmake/Orvex$" "$dir/CMakeCache.txt" ||
    fail "find_package found Orvex elsewhere: $(grep '^Orvex_DIR' "$dir/CMakeCache.txt")"
  cmake --build "$dir" >"$scratch/build.log" || { cat "$scratch/build.log"; fail "building the CMake host failed"; }
  no_tree_paths "the find_package build" "$(ninja -C "$dir" -t commands host)"
  ninja -C "$dir" -t commands host | tail -n 1
}
host_cmake cmake-build
run_host ./cmake-build/host
if [ "$static" = ON ]; then
  host_cmake cmake-build-static -DORVEX_HOST_STATIC=ON -DCMAKE_CXX_COMPILER="${CXX:-c++}" \
    -DCMAKE_CXX_FLAGS="${host_flags[*]}"
  run_host ./cmake-build-static/host static
fi

echo "== the examples, built on their own against the installed copy"
cmake -S "$source/examples" -B "$scratch/examples" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="${host_flags[*]}" \
  -DCMAKE_EXE_LINKER_FLAGS="${host_flags[*]} ${link_flags[*]}" >"$scratch/cmake.log" ||
  { cat "$scratch/cmake.log"; fail "configuring examples/ against the prefix failed"; }
grep -q "^Orvex_DIR:PATH=$lib/cmake/Orvex$" "$scratch/examples/CMakeCache.txt" ||
  fail "examples/ found Orvex elsewhere: $(grep '^Orvex_DIR' "$scratch/examples/CMakeCache.txt")"
cmake --build "$scratch/examples" >"$scratch/build.log" || { cat "$scratch/build.log"; fail "building examples/ failed"; }
# Only the examples' own sources may come from the tree.
no_tree_paths "the examples' build" "$(ninja -C "$scratch/examples" -t commands | sed "s|$source/examples/||g")"
for example in "$source"/examples/*.c; do
  loads_installed "$scratch/examples/$(basename "$example" .c)"
done
# The one that needs no server, with the checks the suite makes in the tree.
env -u LD_LIBRARY_PATH "$source/examples/check_example.sh" xml_walk "$scratch/examples/xml_walk" ||
  fail "the example xml_walk, built against the prefix, failed"

echo "== the package version"
cat >"$scratch/version.cmake" <<'CMAKE'
# Whether the installed version file accepts the version asked for.
set(CMAKE_SIZEOF_VOID_P 8)
string(REGEX MATCH "^[0-9]+" PACKAGE_FIND_VERSION_MAJOR "${PACKAGE_FIND_VERSION}")
include("${VERSION_FILE}")
message("${PACKAGE_FIND_VERSION}: ${PACKAGE_VERSION_COMPATIBLE}")
CMAKE
for pair in 1:TRUE 1.0:TRUE 2:FALSE 0.9:FALSE; do
  answer=$(cmake -DPACKAGE_FIND_VERSION="${pair%%:*}" -DVERSION_FILE="$lib/cmake/Orvex/OrvexConfigVersion.cmake" \
    -P "$scratch/version.cmake" 2>&1)
  [ "$answer" = "${pair%%:*}: ${pair##*:}" ] || fail "the version file answers '$answer' for ${pair%%:*}"
done
echo "== the Python binding where /usr/bin/python3 looks, under /usr and /usr/local"
searched=$(/usr/bin/python3 -I -c 'import sys; print("\n".join(sys.path))')
for system in /usr /usr/local; do
  stage=$scratch/stage-${system//\//}
  DESTDIR=$stage cmake --install "$build" --prefix "$system" --component Python >"$scratch/install.log" ||
    { cat "$scratch/install.log"; fail "the staged install for $system failed"; }
  found=$(cd "$stage" && find . -path '*/orvex/__init__.py' | sed -e 's|^\.||' -e 's|/orvex/__init__\.py$||')
  [ "$(echo "$found" | grep -c .)" -eq 1 ] || fail "for $system the binding went to: ${found:-nowhere}"
  grep -qxF "$found" <<<"$searched" || fail "for $system the binding went to $found, where /usr/bin/python3 does not look"
done

echo "== a packager's own folder for the Python binding"
cmake -S "$source" -B "$scratch/packager" -G Ninja -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="${CXX:-c++}" \
  -DORVEX_TESTS=OFF -DORVEX_EXAMPLES=OFF -DORVEX_INSTALL_PYTHONDIR=share/orvex/python >"$scratch/cmake.log" ||
  { cat "$scratch/cmake.log"; fail "configuring with ORVEX_INSTALL_PYTHONDIR failed"; }
cmake --install "$scratch/packager" --prefix "$scratch/packaged" --component Python >"$scratch/install.log" ||
  { cat "$scratch/install.log"; fail "installing the component Python failed"; }
[ -f "$scratch/packaged/share/orvex/python/orvex/__init__.py" ] ||
  fail "ORVEX_INSTALL_PYTHONDIR=share/orvex/python put the binding at $(cd "$scratch/packaged" && find . -name __init__.py)"
packaged_lib=$scratch/packaged/$libdir/liborvex.so.1

if [ -n "${ORVEX_HOST_FLAGS:-}" ]; then
  # A sanitized library loads only into an interpreter with the sanitizer runtime preloaded;
  # the unsanitized build of the suite checks the installed binding.
  echo "install test: passed (the Python binding is checked by the unsanitized build)"
  exit 0
fi
echo "== the Python binding, installed"
# From outside both trees, with no hint of where the library is: the package finds the one beside it.
found=$(cd "$scratch" && env -u ORVEX_LIBRARY -u LD_LIBRARY_PATH PYTHONPATH="$site" \
  /usr/bin/python3 -c 'import orvex; print(orvex.library_path()); print(orvex.library_version())') ||
  fail "python3 -c 'import orvex' failed against the prefix"
[ "$(realpath "$(echo "$found" | head -n 1)")" = "$(realpath "$lib/liborvex.so.1")" ] ||
  fail "the installed binding loaded $(echo "$found" | head -n 1)"
[ "$(echo "$found" | tail -n 1)" = "$version" ] || fail "the installed binding reports $(echo "$found" | tail -n 1)"
# A package put in a folder of its own still finds the library installed with it.
mkdir -p "$(dirname "$packaged_lib")" && ln -s "$lib/liborvex.so.1" "$packaged_lib"
found=$(cd "$scratch" && env -u ORVEX_LIBRARY -u LD_LIBRARY_PATH PYTHONPATH="$scratch/packaged/share/orvex/python" \
  /usr/bin/python3 -c 'import orvex; print(orvex.library_path())') ||
  fail "python3 -c 'import orvex' failed against ORVEX_INSTALL_PYTHONDIR"
[ "$found" = "$packaged_lib" ] || fail "the binding in share/orvex/python loaded $found, not $packaged_lib"

echo "== the Python binding, pip-installed into a virtual environment"
/usr/bin/python3 -m venv "$scratch/venv" || fail "/usr/bin/python3 -m venv failed"
# pip_install SOURCE: as a user installs it, but with nothing allowed from a package index.
pip_install() {
  env PIP_DISABLE_PIP_VERSION_CHECK=1 PYTHONDONTWRITEBYTECODE=1 \
    "$scratch/venv/bin/pip" install --no-index --force-reinstall "$1" >"$scratch/pip.log" 2>&1 ||
    { cat "$scratch/pip.log"; fail "pip install $1 failed"; }
}
# venv_check WHAT: the environment's package loads the installed library and reports its version.
venv_check() {
  local found
  found=$(cd "$scratch" && env -u PYTHONPATH -u LD_LIBRARY_PATH ORVEX_LIBRARY="$lib/liborvex.so.1" \
    "$scratch/venv/bin/python" -c 'import importlib.metadata, orvex
print(orvex.__file__, orvex.library_path(), orvex.library_version(), importlib.metadata.version("orvex"))') ||
    fail "import orvex failed in the environment ($1)"
  read -r file loaded reported packaged <<<"$found"
  case "$file" in "$scratch/venv/"*) ;; *) fail "the environment imported orvex from $file ($1)" ;; esac
  [ "$(realpath "$loaded")" = "$(realpath "$lib/liborvex.so.1")" ] || fail "the environment loaded $loaded ($1)"
  [ "$reported" = "$version" ] || fail "the library reports $reported ($1)"
  [ "$packaged" = "$version" ] || fail "the package's version is $packaged, the library's $version ($1)"
}
pip_install "$source/python"
venv_check "pip install ./python"
# A source archive from the same backend builds just as well with no index.
sdist=$(cd "$scratch" && PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -c 'import sys
sys.path.insert(0, sys.argv[1])
import build_backend
print(build_backend.build_sdist(sys.argv[2]))' "$source/python" "$scratch") || fail "build_sdist failed"
pip_install "$scratch/$sdist"
venv_check "pip install $sdist"

echo "install test: passed"
