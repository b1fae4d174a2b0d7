#!/usr/bin/env bash
# Cross-builds the Windows test programs (platform layer, transports) and the
# programs, and runs them under Wine in a prefix of their own: the tests, then
# keyforge.exe, whose certificate and key Linux's openssl must read. The serial test gets a COM port
# pair: two dosdevices links to the ends of a socat pty pair. Needs
# `scripts/setup.sh --windows-deps FOLDER` first; FOLDER defaults as below.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${VIRK_WINDOWS_BUILD_DIR:-$here/build-windows}
deps=${VIRK_WINDOWS_DEPS_PREFIX:-/var/cache/virk-deps/mingw}
export WINEPREFIX=${WINEPREFIX:-/tmp/wine-virk}
# No Mono or Gecko installer: without a display it would never end.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=${WINEDEBUG:--all}
wine=/usr/lib/wine/wine64
com_port=21
device_port=22

log() { printf '[windows-tests] %s\n' "$*"; }

cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DVIRK_WINDOWS_DEPS_PREFIX="$deps" -DCMAKE_BUILD_TYPE=Release \
  -DVIRK_BUILD_TESTS=ON -DVIRK_BUILD_BENCH=OFF -DVIRK_BUILD_CONFIGURATOR=OFF > /dev/null
cmake --build "$build" --target windows_platform_test windows_transport_test server keyforge cfgtool -- -j2

pair=$(mktemp -d)
scratch=$(mktemp -d)
socat_pid=
stop() {
  [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null || true
  # Only this prefix's Wine processes.
  /usr/lib/wine/wineserver -k > /dev/null 2>&1 || true
  rm -rf "$pair" "$scratch"
}
trap stop EXIT

run() {
  log "running $(basename "$1")"
  timeout 300 xvfb-run -a "$wine" "$@"
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

# Started here so that its own output (an object dump when it is stopped)
# goes nowhere; the runs below connect to it.
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
check_keyforge || failed=1
exit "$failed"
