#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VIRK_BUILD_DIR:-$here/build}
VIRK_BUILD_DIR=$build "$here/scripts/setup.sh"
cd "$build"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} ctest --output-on-failure -j"$(nproc)" --timeout 600
