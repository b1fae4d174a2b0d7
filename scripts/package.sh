#!/usr/bin/env bash
# Builds the Debian 12 package virk-gateway_<version>_amd64.deb into
# build-deb/ (VIRK_PACKAGE_DIR): installs what is missing, builds open62541
# statically once (cached), then runs dpkg-buildpackage on a copy of the tree.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${VIRK_PACKAGE_DIR:-$here/build-deb}
static_prefix=${VIRK_STATIC_PREFIX:-${VIRK_DEPS_WORK:-/var/cache/virk-deps}/open62541-static}
jobs=${VIRK_JOBS:-2}

log() { printf '[package] %s\n' "$*"; }

"$here/scripts/setup.sh" --package-deps "$static_prefix"

# The copy keeps the working tree as it is (uncommitted edits included) and
# leaves out every build folder, so the package is built from sources only.
src=$out/src
rm -rf "$src"
mkdir -p "$src"
tar -C "$here" --exclude=./.git --exclude='./build*' --exclude=./node_modules -cf - . | tar -C "$src" -xf -
rm -f "$out"/virk-gateway_* "$out"/virk-gateway-dbgsym_*

log "dpkg-buildpackage in $src"
(cd "$src" && VIRK_STATIC_PREFIX=$static_prefix DEB_BUILD_OPTIONS="parallel=$jobs" \
  dpkg-buildpackage -b -us -uc > "$out/dpkg-buildpackage.log" 2>&1) || {
  tail -n 40 "$out/dpkg-buildpackage.log" >&2
  echo "dpkg-buildpackage failed; the whole log: $out/dpkg-buildpackage.log" >&2
  exit 1
}
deb=$(ls "$out"/virk-gateway_*_amd64.deb)
log "built $deb ($(du -k "$deb" | cut -f1) KiB)"
