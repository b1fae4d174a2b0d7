#!/usr/bin/env bash
# Cross-builds server.exe, keyforge.exe and cfgtool.exe (Release, runtime
# linked in) and packs them with the sample configuration into
# build-windows/virk-gateway-windows-x86_64.zip, in the layout the programs
# expect: server.exe in a `server` folder beside keyforge.exe and cfgtool.exe.
# Needs `scripts/setup.sh --windows-deps FOLDER` first, and the Linux build
# (`build/`, VIRK_BUILD_DIR overrides) for its cfgtool, which packs the sample.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${VIRK_WINDOWS_BUILD_DIR:-$here/build-windows}
deps=${VIRK_WINDOWS_DEPS_PREFIX:-/var/cache/virk-deps/mingw}
native_cfgtool=${VIRK_BUILD_DIR:-$here/build}/bin/cfgtool
name=virk-gateway-windows-x86_64
zip_file=$build/$name.zip
# What every Windows x86-64 has in System32: anything else would have to ship.
system_dlls='advapi32 crypt32 dbghelp iphlpapi kernel32 msvcrt shell32 user32 ws2_32'

log() { printf '[windows-zip] %s\n' "$*"; }

[ -x "$native_cfgtool" ] || { log "no $native_cfgtool: build the Linux tree first"; exit 1; }

# The same settings as windows-tests.sh, so that both share one tree.
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DVIRK_WINDOWS_DEPS_PREFIX="$deps" -DCMAKE_BUILD_TYPE=Release \
  -DVIRK_BUILD_TESTS=ON -DVIRK_BUILD_BENCH=OFF -DVIRK_BUILD_CONFIGURATOR=OFF > /dev/null
cmake --build "$build" --target server keyforge cfgtool -- -j2

programs=(keyforge.exe cfgtool.exe server/server.exe)
for program in "${programs[@]}"; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$build/bin/$program" | awk '/DLL Name:/ {print tolower($3)}'); do
    grep -qw "${dll%.dll}" <<< "$system_dlls" ||
      { log "$program needs $dll, which is no Windows system DLL"; exit 1; }
  done
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/server" "$stage/$name/examples"
for program in "${programs[@]}"; do cp "$build/bin/$program" "$stage/$name/$program"; done
cp "$here/examples/sample.csv" "$stage/$name/examples/"
# Windows' line ends, for every editor there.
sed 's/$/\r/' "$here/packaging/windows/README.txt" > "$stage/$name/README.txt"
"$native_cfgtool" pack "$here/examples/sample.csv" "$stage/$name/examples/sample.cfg"
rm -f "$zip_file"
(cd "$stage" && zip -qrX "$zip_file" "$name")
log "$zip_file:"
zip -sf "$zip_file"
