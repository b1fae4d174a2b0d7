#!/usr/bin/env bash
# Renders the configurator's main window (each tab, the sample configuration,
# a group selected) and every dialog under Xvfb into docs/screenshots/, with
# openbox drawing the window frames (the title shot needs one).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VIRK_BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target configurator_screenshots -j2
command -v openbox >/dev/null || { echo "openbox is missing: run scripts/setup.sh" >&2; exit 1; }
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
  openbox & wm=$!
  sleep 1
  "$0" "$1" "$2"; rc=$?
  kill $wm
  exit $rc' "$build/tests/configurator/configurator_screenshots" "$here/examples/sample.csv" "$here/docs/screenshots"
ls "$here/docs/screenshots"
