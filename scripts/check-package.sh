#!/usr/bin/env bash
# The package stage of scripts/test.sh: builds the .deb, checks it with
# lintian, unpacks it into a scratch root and checks what it installs: the
# libraries its programs load, no path of the build machine, the service
# unit, the man pages, the manual's links and pictures, and the packaged
# server serving the packaged sample to an OPC UA client until SIGTERM.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VIRK_BUILD_DIR:-$here/build}
out=${VIRK_PACKAGE_DIR:-$here/build-deb}
root=$out/root
failures=0

log() { printf '[package] %s\n' "$*"; }
fail() { printf '[package] FAILED: %s\n' "$*" >&2; failures=$((failures + 1)); }

"$here/scripts/package.sh"
deb=$(ls "$out"/virk-gateway_*_amd64.deb)

log "lintian"
# Errors fail; the remaining warnings are explained in the README.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian reports errors"

rm -rf "$root"
dpkg -x "$deb" "$root"
log "package $(du -k "$deb" | cut -f1) KiB, installed $(dpkg-deb -f "$deb" Installed-Size) KiB"

log "libraries of the programs"
programs=$(find "$root" -type f -perm -u+x -exec sh -c 'head -c 4 "$1" | grep -q ELF' _ {} \; -print)
[ -n "$programs" ] || fail "no programs in the package"
for program in $programs; do
  libraries=$(ldd "$program") || { fail "ldd $program"; continue; }
  if grep -q 'not found' <<< "$libraries"; then fail "$program: $(grep 'not found' <<< "$libraries")"; fi
  # Every library resolves to the system's own folders.
  odd=$(awk '/=>/ {print $3}' <<< "$libraries" | grep -v -E '^/(usr/)?lib/' || true)
  [ -z "$odd" ] || fail "$program loads libraries from outside the system: $odd"
done

log "no path of the build machine"
for path in /opt/ /usr/local "$here" "$build" "$out"; do
  hits=$(grep -rlF -- "$path" "$root" || true)
  [ -z "$hits" ] || fail "files refer to $path: $hits"
done

log "commands on the PATH"
for command in virk-server virk-configurator virk-keyforge virk-cfgtool; do
  target=$(readlink -f "$root/usr/bin/$command" || true)
  [[ "$target" == "$root/usr/lib/virk-gateway/"* && -x "$target" ]] || fail "$command resolves to '$target'"
done
"$root/usr/bin/virk-cfgtool" check "$root/usr/share/virk-gateway/examples/sample.cfg" > "$out/cfgtool-check.txt" \
  || fail "the packaged cfgtool refuses the packaged sample: $(cat "$out/cfgtool-check.txt")"

log "systemd unit"
unit_dir=$(mktemp -d)
trap 'rm -rf "$unit_dir"' EXIT
# verify wants an instance and the program it starts where the unit names it:
# the unit is checked in a copy that points into the scratch root. The man
# page it names is not installed here; the man pages are checked below.
sed "s#/usr/lib/virk-gateway/#$root/usr/lib/virk-gateway/#" \
  "$root/lib/systemd/system/virk-gateway@.service" > "$unit_dir/virk-gateway@check.service"
systemd-analyze verify --man=no "$unit_dir/virk-gateway@check.service" > "$out/systemd-verify.txt" 2>&1 \
  || fail "systemd-analyze verify: $(cat "$out/systemd-verify.txt")"
if grep -q 'virk-gateway' "$out/systemd-verify.txt"; then fail "systemd-analyze verify: $(cat "$out/systemd-verify.txt")"; fi

log "man pages"
for page in "$root"/usr/share/man/man1/virk-*.1.gz; do
  warnings=$(man -l --warnings "$page" 2>&1 > /dev/null) || fail "man -l $page"
  [ -z "$warnings" ] || fail "$page: $warnings"
  man -l "$page" 2> /dev/null | grep -q 'SYNOPSIS' || fail "$page renders without a synopsis"
done

log "manual"
python3 "$here/scripts/check-manual.py" "$root/usr/share/virk-gateway/manual" || fail "manual links or pictures"

log "packaged server"
cmake --build "$build" --target package_tests > /dev/null
VIRK_PACKAGE_ROOT=$root "$build/tests/package/package_tests" || fail "packaged server"

[ "$failures" -eq 0 ] || { log "$failures check(s) failed"; exit 1; }
log "all checks passed"
