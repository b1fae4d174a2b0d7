#!/usr/bin/env bash
# The main job: set up and build, then run the server on the sample
# configuration (emulated devices, no hardware). Ctrl-C stops it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VIRK_BUILD_DIR:-$here/build}
VIRK_BUILD_DIR=$build "$here/scripts/setup.sh"
"$build/bin/cfgtool" pack "$here/examples/sample.csv" "$build/sample.cfg"
exec "$build/bin/server/server" "$build/sample.cfg"
