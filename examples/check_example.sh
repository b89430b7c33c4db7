#!/usr/bin/env bash
# Runs one example program against the local sample servers and checks its
# exit status and output, so that the examples cannot rot.
#   check_example.sh NAME PROGRAM
set -euo pipefail
name=$1
program=$2
here=$(cd "$(dirname "$0")" && pwd)
servers=$here/../tests/servers
scratch=$(mktemp -d)
server=

stop() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap stop EXIT

# The servers are local: no proxy from the environment may get the calls.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ftp_proxy FTP_PROXY all_proxy ALL_PROXY
export no_proxy=127.0.0.1,localhost

fail() {
  echo "example $name: $*"
  echo "-- standard output"; cat "$scratch/out" 2>/dev/null || true
  echo "-- standard error"; cat "$scratch/err" 2>/dev/null || true
  exit 1
}

# start_server KEYWORD SCRIPT ARGS...: starts a server on port 0 and waits
# (10 s at most) for the first line, which starts with KEYWORD and names the ports.
start_server() {
  local keyword=$1
  shift
  /usr/bin/python3 "$@" >"$scratch/server" 2>"$scratch/server.err" &
  server=$!
  for _ in $(seq 1 100); do
    grep -q "^$keyword " "$scratch/server" && return
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
  done
  cat "$scratch/server.err"
  fail "the server $(basename "$1") did not start"
}

# run STATUS ARGS...: runs the example with ARGS and checks its exit status.
run() {
  local want=$1 got=0
  shift
  "$program" "$@" >"$scratch/out" 2>"$scratch/err" || got=$?
  [ "$got" -eq "$want" ] || fail "'$*' exited with $got, expected $want"
}

# has STREAM TEXT: the last run wrote TEXT to standard output (out) or error (err).
has() { grep -qF -- "$2" "$scratch/$1" || fail "no '$2' on standard $1put"; }

# is TEXT: the last run's standard output is exactly TEXT and a newline.
is() { printf '%s\n' "$1" | cmp -s - "$scratch/out" || fail "standard output differs from: $1"; }

case "$name" in
soap_call | record_set)
  start_server PORT "$servers/soap_service.py" --lifetime 60
  url="http://127.0.0.1:$(sed -n 's/^PORT //p' "$scratch/server")/"
  ns=http://orvex.test/sample/
  if [ "$name" = soap_call ]; then
    run 0 "$url" "$ns" GetOrders customer=ACME
    tab=$'\t'
    is "Id${tab}Customer${tab}Amount${tab}Paid${tab}Placed${tab}Note
1${tab}ACME${tab}12.5${tab}true${tab}2005-03-07T10:20:30+00:00${tab}first & <urgent>
2${tab}ACME${tab}99.0${tab}false${tab}2005-03-08T08:00:00+00:00${tab}
(2 rows)"
    run 1 "$url" "$ns" Fail "reason=Bad input"
    has err "faultstring = Bad input"
    run 2 "$url" "$ns"
  else
    run 0 "$url" "$ns"
    is "sent 3 orders, total 118.75"
    run 2 "$url"
  fi
  ;;
xml_walk)
  run 0 "$here/orders.xml"
  is 'orders [customer="ACME" xmlns:x="urn:example"]
  order [id="1"]
    amount [currency="EUR"] = 12.50
    note = first & urgent
  order [id="2"]
    amount [currency="USD"] = 99.00
    x:paid = false'
  run 1 "$scratch/missing.xml"
  printf '<a><b></a>' >"$scratch/broken.xml"
  run 1 "$scratch/broken.xml"
  run 2
  ;;
download)
  start_server PORTS "$servers/http_server.py" --lifetime 60
  base="http://127.0.0.1:$(awk '/^PORTS /{print $2}' "$scratch/server")"
  run 0 "$base/bytes/100000" "$scratch/data.bin"
  is "$scratch/data.bin: 100000 bytes"
  has err "100% of 100000 bytes"
  /usr/bin/python3 -c 'import sys; sys.stdout.buffer.write((bytes(range(256)) * 400)[:100000])' \
    >"$scratch/expected.bin"
  cmp -s "$scratch/expected.bin" "$scratch/data.bin" || fail "the file holds other bytes than were served"
  run 0 "$base/bytes/10" "$scratch/data.bin" 3600
  is "$scratch/data.bin: fresh, nothing transferred"
  run 1 "$base/status/404" "$scratch/absent.bin"
  has err 404
  [ ! -e "$scratch/absent.bin" ] || fail "a failed download left a file"
  run 2 "$base/bytes/1"
  ;;
*)
  echo "check_example.sh: no checks for $name"
  exit 1
  ;;
esac
echo "example $name: passed"
