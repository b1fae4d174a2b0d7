#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12 and builds the
# project. Safe to run again: each step is skipped when its result is present.
#
#   setup.sh                         install, then build into build/ (VIRK_BUILD_DIR)
#   setup.sh --deps-only             install only
#   setup.sh --package-deps FOLDER   install, and build the static open62541 the
#                                    Debian package links into FOLDER
#   setup.sh --windows-deps FOLDER   install, and cross-build OpenSSL, open62541 and GoogleTest
#                                    for Windows x86-64 into FOLDER
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
deps_prefix=${VIRK_DEPS_PREFIX:-/opt/virk-deps}
work=${VIRK_DEPS_WORK:-/var/cache/virk-deps}

log() { printf '[setup] %s\n' "$*"; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Debian's qt6-charts-dev does not pull in the Qt6OpenGL CMake files its own
# CMake package needs: libqt6opengl6-dev brings them.
apt_packages=(
  build-essential cmake pkg-config ninja-build git
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n
  libsimpleini-dev libssl-dev openssl
  libgtest-dev libgmock-dev libbenchmark-dev
  python3-pymodbus python3-serial python3-serial-asyncio libmodbus-dev mbpoll socat
  xvfb xauth openbox clang libclang-rt-14-dev llvm
  debhelper dpkg-dev lintian systemd man-db
)

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

install_apt() {
  local missing
  missing=$(missing_packages "${apt_packages[@]}")
  if [ -z "$missing" ]; then
    log "Debian packages: all present"
    return
  fi
  log "Debian packages: installing $(echo $missing | tr '\n' ' ')"
  as_root apt-get update -qq
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
}

# The mirror this machine already uses; the project names no host of its own.
debian_mirror() {
  local uri=""
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
  fi
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1 == "deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) {print $i; exit}}' /etc/apt/sources.list)
  fi
  [ -n "$uri" ] || { echo "cannot find the Debian mirror in the apt configuration" >&2; exit 1; }
  echo "$uri"
}

# apt-get against Debian 13's archive (and Debian 12's sources) without
# touching the system's sources.
trixie_apt() {
  local mirror
  mirror=$(debian_mirror)
  mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial"
  printf 'deb %s trixie main\ndeb-src %s trixie main\ndeb-src %s bookworm main\n' \
    "$mirror" "$mirror" "$mirror" > "$work/apt/sources.list"
  apt-get -o Dir::Etc::SourceList="$work/apt/sources.list" \
          -o Dir::Etc::SourceParts=/dev/null \
          -o Dir::State::Lists="$work/apt/lists" \
          -o Dir::Cache="$work/apt/cache" \
          -o APT::Sandbox::User=root "$@"
}

trixie_updated=0
trixie_update() {
  if [ "$trixie_updated" -eq 0 ]; then
    trixie_apt -qq update
    trixie_updated=1
  fi
}

open62541_usable() {
  local pc
  for pc in "$deps_prefix/lib/pkgconfig" /usr/lib/x86_64-linux-gnu/pkgconfig /usr/local/lib/pkgconfig; do
    if PKG_CONFIG_PATH=$pc pkg-config --atleast-version=1.4 open62541 2>/dev/null; then
      local inc
      inc=$(PKG_CONFIG_PATH=$pc pkg-config --variable=includedir open62541)
      grep -q '#define UA_ENABLE_ENCRYPTION_OPENSSL' "$inc/open62541/config.h" 2>/dev/null && return 0
    fi
  done
  return 1
}

# A Debian source package's tarball (`pattern` in the cache's src folder),
# fetched once with `apt-get source` of `package` through the private sources.
debian_tarball() {
  local pattern=$1 package=$2 tarball
  mkdir -p "$work/src"
  tarball=$(ls "$work"/src/$pattern 2>/dev/null | head -n 1 || true)
  if [ -z "$tarball" ]; then
    log "$package: fetching Debian's source tarball" >&2
    trixie_update >&2
    # The archive lacks some of a package's side files, so apt may exit
    # non-zero after the tarball has arrived: the tarball is what counts.
    (cd "$work/src" && trixie_apt -qq source --download-only "$package") >&2 || true
    tarball=$(ls "$work"/src/$pattern 2>/dev/null | head -n 1 || true)
    [ -n "$tarball" ] || { echo "$package source tarball could not be fetched" >&2; exit 1; }
  fi
  echo "$tarball"
}

# Builds open62541 into `prefix`; the rest of the arguments go to its cmake.
build_open62541() {
  local name=$1 prefix=$2
  shift 2
  local tarball src="$work/src/$name" build="$work/build-$name"
  tarball=$(debian_tarball 'open62541_1.4*.orig.tar.gz' open62541)
  log "open62541: building $(basename "$tarball") into $prefix"
  rm -rf "$src" "$build"
  mkdir -p "$src"
  tar -xzf "$tarball" -C "$src" --strip-components=1
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DUA_ENABLE_ENCRYPTION=OPENSSL -DUA_NAMESPACE_ZERO=REDUCED \
    -DUA_ENABLE_AMALGAMATION=OFF -DUA_BUILD_EXAMPLES=OFF -DUA_BUILD_UNIT_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib "$@" > "$work/$name-configure.log"
  cmake --build "$build" -j"$(nproc)" > "$work/$name-build.log"
  cmake --install "$build" > /dev/null
}

install_open62541() {
  if open62541_usable; then
    log "open62541: usable version present"
    return
  fi
  build_open62541 open62541 "$deps_prefix" -DBUILD_SHARED_LIBS=ON
  open62541_usable || { echo "open62541 built but not usable" >&2; exit 1; }
}

# The package links open62541 statically (Debian 12 has no package of it),
# built with Debian's hardening flags like the rest of the package.
install_open62541_static() {
  local prefix=$1
  if [ -f "$prefix/lib/libopen62541.a" ]; then
    log "open62541 (static): present in $prefix"
    return
  fi
  (
    eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
    build_open62541 open62541-static "$prefix" -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON
  )
  [ -f "$prefix/lib/libopen62541.a" ] || { echo "static open62541 built but not found" >&2; exit 1; }
}

install_plog() {
  if [ -f /usr/include/plog/Log.h ] || [ -f "$deps_prefix/include/plog/Log.h" ]; then
    log "plog: present"
    return
  fi
  log "plog: fetching Debian's header package"
  trixie_update
  mkdir -p "$work/deb"
  rm -f "$work"/deb/libplog-dev_*.deb
  (cd "$work/deb" && trixie_apt -qq download libplog-dev)
  local deb
  deb=$(ls "$work"/deb/libplog-dev_*.deb | head -n 1)
  rm -rf "$work/plog"
  dpkg -x "$deb" "$work/plog"
  mkdir -p "$deps_prefix/include"
  cp -r "$work/plog/usr/include/plog" "$deps_prefix/include/"
}

build_project() {
  local build=${VIRK_BUILD_DIR:-$here/build}
  log "building into $build"
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_PREFIX_PATH="$deps_prefix" > /dev/null
  cmake --build "$build"
}

install_apt
mkdir -p "$work"
install_open62541
install_plog
# The Windows cross build: Debian's mingw-w64 and Wine, then OpenSSL 3 from
# Debian 12's own source package, open62541 from the same tarball as above and
# GoogleTest, all cross-built as static libraries into `prefix`.
windows_packages=(g++-mingw-w64-x86-64-posix wine64 zip)

install_windows_deps() {
  local prefix=$1 missing
  missing=$(missing_packages "${windows_packages[@]}")
  if [ -n "$missing" ]; then
    log "Windows build: installing $(echo $missing | tr '\n' ' ')"
    # shellcheck disable=SC2086
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
  fi
  # Its command line too: the keyforge suite reads keyforge.exe's files with it.
  if [ -f "$prefix/lib/libcrypto.a" ] && [ -f "$prefix/bin/openssl.exe" ]; then
    log "OpenSSL (mingw): present in $prefix"
  else
    local src=$work/src/openssl-mingw tarball
    # A configured tree is reused only for the prefix it was configured for.
    if [ ! -f "$src/Makefile" ] || [ "$(cat "$src/.virk-prefix" 2> /dev/null)" != "$prefix" ]; then
      tarball=$(debian_tarball 'openssl_3*.orig.tar.gz' openssl/bookworm)
      log "OpenSSL (mingw): configuring $(basename "$tarball")"
      rm -rf "$src"
      mkdir -p "$src"
      tar -xzf "$tarball" -C "$src" --strip-components=1
      (cd "$src" && ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- no-shared no-tests \
        --prefix="$prefix" --libdir=lib > "$work/openssl-mingw-configure.log")
      printf '%s' "$prefix" > "$src/.virk-prefix"
    fi
    log "OpenSSL (mingw): building into $prefix"
    # One goal per make: two in one parallel run both generate the same
    # assembler files and can leave one cut short.
    # Its compiler warnings go to the log too; a failure shows the log's end.
    local build_log=$work/openssl-mingw-build.log
    if ! (cd "$src" &&
      make -j"$(nproc)" build_libs > "$build_log" 2>&1 &&
      make -j"$(nproc)" build_programs >> "$build_log" 2>&1 &&
      make install_dev > /dev/null); then
      tail -n 30 "$build_log" >&2
      echo "OpenSSL (mingw): the build failed, see $build_log" >&2
      # A file an interrupted make cut short looks up to date: start afresh next time.
      rm -rf "$src"
      exit 1
    fi
    mkdir -p "$prefix/bin"
    cp "$src/apps/openssl.exe" "$prefix/bin/"
  fi
  # OpenSSL installs its applink only for Visual C++ targets; keyforge.exe
  # compiles it in so that a libcrypto built with it finds the program's CRT.
  if [ ! -f "$prefix/include/openssl/applink.c" ]; then
    log "OpenSSL (mingw): adding applink.c to $prefix/include/openssl"
    tar -xzf "$(debian_tarball 'openssl_3*.orig.tar.gz' openssl/bookworm)" -O --wildcards '*/ms/applink.c' \
      > "$prefix/include/openssl/applink.c.tmp"
    mv "$prefix/include/openssl/applink.c.tmp" "$prefix/include/openssl/applink.c"
  fi
  if [ -f "$prefix/lib/libopen62541.a" ]; then
    log "open62541 (mingw): present in $prefix"
  else
    build_open62541 open62541-mingw "$prefix" -DBUILD_SHARED_LIBS=OFF \
      -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DVIRK_WINDOWS_DEPS_PREFIX="$prefix" \
      -DOPENSSL_ROOT_DIR="$prefix" -DOPENSSL_USE_STATIC_LIBS=ON
  fi
  # GoogleTest from the source Debian's libgtest-dev carries, for the unit
  # suites run under Wine.
  if [ -f "$prefix/lib/libgtest.a" ]; then
    log "GoogleTest (mingw): present in $prefix"
  else
    log "GoogleTest (mingw): building /usr/src/googletest into $prefix"
    rm -rf "$work/build-googletest-mingw"
    cmake -S /usr/src/googletest -B "$work/build-googletest-mingw" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DVIRK_WINDOWS_DEPS_PREFIX="$prefix" \
      -Dgtest_disable_pthreads=ON -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
      > "$work/googletest-mingw-configure.log"
    cmake --build "$work/build-googletest-mingw" -j"$(nproc)" > "$work/googletest-mingw-build.log"
    cmake --install "$work/build-googletest-mingw" > /dev/null
  fi
  # plog and SimpleIni are headers only, the same for every target; the cross
  # build looks for headers in `prefix` alone, never in the build machine's /usr.
  log "plog and SimpleIni (headers): copying into $prefix/include"
  mkdir -p "$prefix/include"
  local plog_dir=/usr/include/plog
  [ -d "$plog_dir" ] || plog_dir=$deps_prefix/include/plog
  cp -r "$plog_dir" "$prefix/include/"
  cp /usr/include/SimpleIni.h "$prefix/include/"
}

case "${1:-}" in
  --deps-only) ;;
  # The package's own dependencies, into the folder given (scripts/package.sh).
  --package-deps) install_open62541_static "${2:?--package-deps needs a folder}" ;;
  # The cross-built Windows dependencies, into the folder given.
  --windows-deps) install_windows_deps "${2:?--windows-deps needs a folder}" ;;
  *) build_project ;;
esac
log "done"
