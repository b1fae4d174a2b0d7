#!/usr/bin/env bash
# Cross-builds the Windows test programs (platform layer, transports) and runs
# them under Wine in a prefix of their own. The serial test gets a COM port
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
cmake --build "$build" --target windows_platform_test windows_transport_test -- -j2

pair=$(mktemp -d)
socat_pid=
stop() {
  [ -n "$socat_pid" ] && kill "$socat_pid" 2>/dev/null || true
  # Only this prefix's Wine processes.
  /usr/lib/wine/wineserver -k > /dev/null 2>&1 || true
  rm -rf "$pair"
}
trap stop EXIT

run() {
  log "running $(basename "$1")"
  timeout 300 xvfb-run -a "$wine" "$1"
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
exit "$failed"
