#!/usr/bin/env bash
# Renders the configurator's main window (each tab, the sample configuration,
# a group selected) and every dialog under Xvfb into docs/screenshots/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VIRK_BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target configurator_screenshots -j2
xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/tests/configurator/configurator_screenshots" "$here/examples/sample.csv" "$here/docs/screenshots"
ls "$here/docs/screenshots"
