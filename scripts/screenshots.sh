#!/usr/bin/env bash
# Builds the panel and its life test, runs that one test headless in a Wine prefix of its own with
# TSM_SCREENSHOT_DIR set, and turns the window pictures it saves at each state into docs/screenshots/*.png.
# Builds through the windows preset in build/windows, with a Wine prefix of its own there. Commits nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/report-failure.sh

scripts/setup.sh
build=build/windows
cmake --preset windows >/dev/null
cmake --build --preset windows --target tsm_panel_life_tests

shots=$(realpath -m "$build/screenshots")
rm -rf "$shots"
mkdir -p "$shots"
# The test runs under Wine, which sees / as drive Z:. Windows it does not manage get Wine's own caption.
export TSM_SCREENSHOT_DIR="Z:${shots//\//\\}"
scripts/wine-session --prefix "$build/wineprefix-shots" --style 0 -- \
  ctest --test-dir "$build" -R '^PanelLife\.' --output-on-failure

out=docs/screenshots
mkdir -p "$out"
for name in unregistered request-sent registered-stopped pending running stopped app-running; do
  rm -f "$out/$name.png"
  # -strip leaves out the time stamps, so an unchanged picture gives an unchanged file.
  if [ -f "$shots/$name.bmp" ]; then convert "$shots/$name.bmp" -strip "$out/$name.png"; fi
done
ls -l "$out"
