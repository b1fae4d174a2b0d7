#!/usr/bin/env bash
# Cross-builds the Windows test programs (platform layer, transports, the
# unit suites of the model, the protocol core and keyforge) and the programs,
# and runs them under Wine in a prefix of their own: the tests; keyforge.exe,
# whose certificate and key Linux's openssl must read; server.exe on the
# sample, read by a Linux OPC UA client and stopped with Ctrl-C; and the
# Linux build's end-to-end tests with server.exe against pymodbus slaves
# over TCP and over a COM port. The last two need the Linux tree (build/,
# VIRK_BUILD_DIR overrides) for cfgtool and the clients. Serial tests get COM
# ports that Wine's dosdevices links lead to socat pty pairs. Needs
# `scripts/setup.sh --windows-deps FOLDER` first; FOLDER defaults as below.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${VIRK_WINDOWS_BUILD_DIR:-$here/build-windows}
deps=${VIRK_WINDOWS_DEPS_PREFIX:-/var/cache/virk-deps/mingw}
native=${VIRK_BUILD_DIR:-$here/build}
export WINEPREFIX=${WINEPREFIX:-/tmp/wine-virk}
# No Mono or Gecko installer: without a display it would never end.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=${WINEDEBUG:--all}
# Wine turns the Linux arguments into Windows ones by the locale: under C the
# Cyrillic paths of these tests would arrive mangled.
export LC_ALL=C.UTF-8
wine=/usr/lib/wine/wine64
com_port=21
device_port=22

log() { printf '[windows-tests] %s\n' "$*"; }

cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DVIRK_WINDOWS_DEPS_PREFIX="$deps" -DCMAKE_BUILD_TYPE=Release \
  -DVIRK_BUILD_TESTS=ON -DVIRK_BUILD_BENCH=OFF -DVIRK_BUILD_CONFIGURATOR=OFF > /dev/null
cmake --build "$build" --target windows_suites windows_platform_test windows_transport_test server keyforge cfgtool -- -j2

pair=$(mktemp -d)
scratch=$(mktemp -d)
socat_pid=
server_pid=
stop() {
  [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill -KILL "$server_pid" 2>/dev/null || true
  # Only this prefix's Wine processes.
  /usr/lib/wine/wineserver -k > /dev/null 2>&1 || true
  rm -rf "$pair" "$scratch"
}
trap stop EXIT

# Ten minutes: the platform test alone allows its crash child four.
run() {
  log "running $(basename "$1")"
  timeout 600 xvfb-run -a "$wine" "$@"
}

# Wine's Z: drive is the Linux root.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# keyforge.exe exports OpenSSL's applink and, run with the options the Linux
# tests use, writes files that openssl on Linux reads: the certificate with
# the names asked for, the key its own.
check_keyforge() {
  local out=$scratch/keyforge names
  mkdir -p "$out"
  grep -q 'OPENSSL_Applink$' <<< "$(x86_64-w64-mingw32-objdump -p "$build/bin/keyforge.exe")" ||
    { log "keyforge.exe: exports no OPENSSL_Applink"; return 1; }
  run "$build/bin/keyforge.exe" -CN=Name -O=Org -DNS=a.example -IP=10.0.0.1 -URI=urn:x:y \
    -size=2048 -alg=Sha256 -val=365 "-der=$(windows_path "$out")" "-pem=$(windows_path "$out")" || return 1
  names=$(openssl x509 -inform DER -in "$out/server_cert.der" -noout -text) || return 1
  openssl pkey -in "$out/server_key.pem" -noout || return 1
  grep -q 'DNS:a.example, IP Address:10.0.0.1, URI:urn:x:y' <<< "$names" ||
    { log "keyforge.exe: certificate lacks the names asked for"; return 1; }
  [ "$(openssl x509 -inform DER -in "$out/server_cert.der" -noout -pubkey)" = \
    "$(openssl pkey -in "$out/server_key.pem" -pubout)" ] ||
    { log "keyforge.exe: the key is not the certificate's"; return 1; }
  log "keyforge.exe: certificate and key read by openssl"
}

# The GoogleTest suites the build lists (the model, the protocol core,
# keyforge), each from its own folder: the paths built in are the Linux
# ones, which Wine resolves on the Z: drive of the current folder.
run_suites() {
  local suite output result=0
  [ -s "$build/windows_suites.txt" ] || { log "no suites listed in $build/windows_suites.txt"; return 1; }
  while read -r suite; do
    output=$scratch/$(basename "$suite").txt
    if (cd "$(dirname "$suite")" && timeout 300 "$wine" "$suite" > "$output" 2>&1); then
      log "$(basename "$suite"): $(grep -E '^\[  (PASSED  |SKIPPED )\] [0-9]' "$output" | tr '\n' ' ')"
      grep -E '^\[  SKIPPED \] .*\(' "$output" || true
    else
      log "$(basename "$suite") FAILED; its output:"
      cat "$output"
      result=1
    fi
  done < "$build/windows_suites.txt"
  return "$result"
}

free_loopback_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Up to 30 s for a listener on 127.0.0.1:$1 while process $2 lives.
wait_until_accepting() {
  local _
  for _ in $(seq 150); do
    kill -0 "$2" 2> /dev/null || return 1
    (exec 3<> "/dev/tcp/127.0.0.1/$1") 2> /dev/null && return 0
    sleep 0.2
  done
  return 1
}

# Ctrl-C's equivalent: Wine turns SIGINT into the console's Ctrl-C event,
# which the server answers with an orderly stop (SIGTERM would make Wine end
# the process outright). Up to 15 s for process $1 to end with exit code 0
# after it, having said so in its output $2; past that it is killed.
stop_with_ctrl_c() {
  local _ code=0
  kill -INT "$1" 2> /dev/null || return 1
  for _ in $(seq 150); do
    if ! kill -0 "$1" 2> /dev/null; then
      wait "$1" || code=$?
      [ "$code" = 0 ] || { log "server.exe: exit code $code after Ctrl-C"; return 1; }
      grep -q 'received ctrl-c' "$2" || { log "server.exe: ended without its Ctrl-C record"; return 1; }
      return 0
    fi
    sleep 0.1
  done
  log "server.exe: still running 15 s after Ctrl-C"
  kill -KILL "$1" 2> /dev/null || true
  wait "$1" 2> /dev/null || true
  return 1
}

# server.exe serves the sample, from a folder with a Cyrillic name, on a port
# of its own; the Linux client reads the emulated setpoint from it. Then the
# end-to-end tests of the Linux build run with server.exe: a pymodbus slave
# over Modbus TCP (node-opcua reads, writes, subscribes) and an RTU slave on
# a COM port that leads to a socat pty pair.
check_server() {
  local out=$scratch/Котельная port
  if [ ! -f "$native/CMakeCache.txt" ]; then
    log "SKIPPED server.exe: no Linux build in $native for cfgtool and the OPC UA clients"
    return 0
  fi
  cmake --build "$native" --target cfgtool read_sample_setpoint server_test_node_opcua > /dev/null ||
    { log "server.exe: the Linux build of cfgtool and the clients failed"; return 1; }
  mkdir -p "$out"
  port=$(free_loopback_port)
  sed "s/^port = .*/port = $port/" "$here/examples/sample.csv" > "$out/plant.csv"
  # Without its port line the server would take 4840, which is not ours.
  grep -qx "port = $port" "$out/plant.csv" || { log "server.exe: the sample has no port line"; return 1; }
  "$native/bin/cfgtool" pack "$out/plant.csv" "$out/plant.cfg" || { log "server.exe: cfgtool could not pack the sample"; return 1; }
  log "running server.exe on 127.0.0.1:$port"
  "$wine" "$build/bin/server/server.exe" "$(windows_path "$out/plant.cfg")" > "$out/output.txt" 2>&1 < /dev/null &
  server_pid=$!
  local result=0
  if ! wait_until_accepting "$port" "$server_pid"; then
    log "server.exe: no listener on port $port; its output:"
    cat "$out/output.txt"
    result=1
  elif ! "$native/tests/package/read_sample_setpoint" "$port"; then
    result=1
  fi
  stop_with_ctrl_c "$server_pid" "$out/output.txt" || result=1
  server_pid=
  [ "$result" = 0 ] && log "server.exe: served the sample, stopped in order on Ctrl-C"
  log "running the end-to-end tests with server.exe"
  (cd "$native/tests/server" && VIRK_WINE_SERVER=$build/bin/server/server.exe \
    timeout 300 ./server_test_node_opcua) > "$scratch/e2e.txt" 2>&1 || {
    log "end-to-end tests with server.exe FAILED; their output:"
    cat "$scratch/e2e.txt"
    result=1
  }
  grep -E '^\[ +(OK|SKIPPED|PASSED) +\]' "$scratch/e2e.txt" || true
  return "$result"
}

# Started here so that its own output (an object dump when it is stopped)
# goes nowhere; the runs below connect to it.
# A server of this prefix left over from an earlier run would make -p fail.
/usr/lib/wine/wineserver -k > /dev/null 2>&1 || true
# A new prefix's folder must exist for the server to start in it.
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p > /dev/null 2>&1

failed=0
# The first run also makes the prefix, and with it the dosdevices folder.
run "$build/tests/platform/windows_platform_test.exe" || failed=1

socat pty,raw,echo=0,link="$pair/com" pty,raw,echo=0,link="$pair/device" 2>/dev/null &
socat_pid=$!
for _ in $(seq 50); do [ -e "$pair/device" ] && break; sleep 0.1; done
ln -sfn "$pair/com" "$WINEPREFIX/dosdevices/com$com_port"
ln -sfn "$pair/device" "$WINEPREFIX/dosdevices/com$device_port"
VIRK_TEST_COM_PORT=$com_port VIRK_TEST_DEVICE_PORT=$device_port \
  run "$build/tests/transport_windows/windows_transport_test.exe" || failed=1
rm -f "$WINEPREFIX/dosdevices/com$com_port" "$WINEPREFIX/dosdevices/com$device_port"
run_suites || failed=1
check_keyforge || failed=1
check_server || failed=1
exit "$failed"
