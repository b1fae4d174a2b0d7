#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test: the normal suite, then
# the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, the
# threaded tests under ThreadSanitizer, a one-minute soak of the server and
# short runs of the fuzz targets; then the Debian package is built and checked,
# and the Windows build's tests and programs run under Wine, and its zip is made.
#
# Environment:
#   VIRK_SKIP_SANITIZERS=1  leaves out the ASan/UBSan and TSan stages
#   VIRK_SKIP_FUZZ=1        leaves out the fuzz stage
#   VIRK_SKIP_SOAK=1        leaves out the one-minute soak run (VIRK_SOAK_SECONDS sets its length)
#   VIRK_SKIP_PACKAGE=1     leaves out the package stage (scripts/check-package.sh)
#   VIRK_SKIP_WINDOWS=1     leaves out the Windows stage (scripts/windows-tests.sh)
#   VIRK_BUILD_DIR, VIRK_ASAN_DIR, VIRK_TSAN_DIR, VIRK_FUZZ_DIR  build folders
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VIRK_BUILD_DIR:-$here/build}
asan_dir=${VIRK_ASAN_DIR:-$here/build-asan}
tsan_dir=${VIRK_TSAN_DIR:-$here/build-tsan}
fuzz_dir=${VIRK_FUZZ_DIR:-$here/build-fuzz}
jobs=${VIRK_JOBS:-2}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

# Every report ends the process with an error; library suppressions carry their reasons.
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$here/scripts/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$here/scripts/sanitizers/tsan.supp"

# A failed stage does not stop the later ones, so that one run shows every
# failure; the script fails at the end.
timings=()
failed=()
stage() {
  local name=$1
  shift
  local start=$SECONDS rc
  printf '[test] === %s\n' "$name"
  set +e
  (set -e; "$@")
  rc=$?
  set -e
  local took=$((SECONDS - start))
  local result=passed
  if [ "$rc" -ne 0 ]; then
    result="FAILED ($rc)"
    failed+=("$name")
  fi
  timings+=("$(printf '%-34s %4d min %02d s  %s' "$name" $((took / 60)) $((took % 60)) "$result")")
  printf '[test] === %s: %s in %d s\n' "$name" "$result" "$took"
}

report() {
  printf '[test] stage times:\n'
  printf '[test]   %s\n' "${timings[@]}"
  if [ "${#failed[@]}" -ne 0 ]; then
    printf '[test] failed: %s\n' "${failed[*]}"
    exit 1
  fi
}

configure() {
  local dir=$1
  shift
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_PREFIX_PATH="${VIRK_DEPS_PREFIX:-/opt/virk-deps}" \
    -DVIRK_BUILD_CONFIGURATOR=OFF -DVIRK_BUILD_BENCH=OFF "$@" > /dev/null
}

# Long soak runs carry the label "soak" and are started on their own.
run_ctest() {
  ctest --test-dir "$1" --output-on-failure -j"$jobs" --timeout 600 -LE soak "${@:2}"
}

normal_suite() {
  VIRK_BUILD_DIR=$build "$here/scripts/setup.sh"
  run_ctest "$build"
}

asan_suite() {
  configure "$asan_dir" -DCMAKE_BUILD_TYPE=Debug -DVIRK_SANITIZE=address,undefined
  cmake --build "$asan_dir" -j"$jobs"
  run_ctest "$asan_dir"
}

# The engine's polling threads, the server's callbacks, methods and session
# hooks, and the configurator's OPC UA client loop; only their test programs
# are built (the configurator's Qt parts for the last, its windows not).
tsan_suite() {
  configure "$tsan_dir" -DCMAKE_BUILD_TYPE=Debug -DVIRK_SANITIZE=thread -DVIRK_BUILD_CONFIGURATOR=ON
  cmake --build "$tsan_dir" -j"$jobs" --target thread_tests
  # Test programs of these folders that are not among them are not built.
  run_ctest "$tsan_dir/tests/engine"
  run_ctest "$tsan_dir/tests/server" -E '_NOT_BUILT$'
  run_ctest "$tsan_dir/tests/configurator" -E '_NOT_BUILT$'

}

# The server under faulty slaves and 20 clients for a minute; the longer run
# is in the README.
soak_run() {
  "$build/bench/soak/soak_gateway" --seconds "${VIRK_SOAK_SECONDS:-60}" --clients 20
}

fuzz_runs() {
  CC=clang CXX=clang++ configure "$fuzz_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVIRK_FUZZ=ON
  cmake --build "$fuzz_dir" -j"$jobs" --target fuzz_targets
  run_ctest "$fuzz_dir/fuzz"
}

# The cross-built dependencies are made once and cached (about 7 minutes).
windows_tests() {
  "$here/scripts/setup.sh" --windows-deps "${VIRK_WINDOWS_DEPS_PREFIX:-/var/cache/virk-deps/mingw}"
  VIRK_BUILD_DIR=$build "$here/scripts/windows-tests.sh"
  # The zip too: it refuses programs that would need a DLL Windows lacks.
  VIRK_BUILD_DIR=$build "$here/scripts/windows-zip.sh"
}

stage "build and normal suite" normal_suite
if [ "${VIRK_SKIP_SANITIZERS:-0}" != 1 ]; then
  stage "AddressSanitizer+UBSan suite" asan_suite
  stage "ThreadSanitizer threaded tests" tsan_suite
else
  printf '[test] sanitizer stages skipped (VIRK_SKIP_SANITIZERS=1)\n'
fi
if [ "${VIRK_SKIP_SOAK:-0}" != 1 ]; then
  stage "soak run" soak_run
else
  printf '[test] soak stage skipped (VIRK_SKIP_SOAK=1)\n'
fi
if [ "${VIRK_SKIP_FUZZ:-0}" != 1 ]; then
  stage "short fuzz runs" fuzz_runs
else
  printf '[test] fuzz stage skipped (VIRK_SKIP_FUZZ=1)\n'
fi
if [ "${VIRK_SKIP_PACKAGE:-0}" != 1 ]; then
  stage "Debian package" env VIRK_BUILD_DIR="$build" "$here/scripts/check-package.sh"
else
  printf '[test] package stage skipped (VIRK_SKIP_PACKAGE=1)\n'
fi
if [ "${VIRK_SKIP_WINDOWS:-0}" != 1 ]; then
  stage "Windows build under Wine" windows_tests
else
  printf '[test] Windows stage skipped (VIRK_SKIP_WINDOWS=1)\n'
fi
report
