#!/usr/bin/env bash
# The panel at each display scale and in the visual style, one Wine session per scale in a prefix of its own:
# Wine reads the scale (LogPixels) and the style when a session starts, so each phase sets them, restarts the
# session's wineserver and runs the suites of tsm_panel_look_checks.exe that belong to it.
#
#   look-and-scale.sh BIN_DIR PREFIX
set -uo pipefail
bin=$1
prefix=$2
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)

# phase DPI STYLE FILTER: STYLE 1 switches Wine's own visual style on, 0 off.
phase() {
  local dpi=$1 style=$2 filter=$3
  echo "== $dpi DPI, style $style: $filter"
  local status=0
  TSM_EXPECT_DPI=$dpi "$scripts/wine-session" --prefix "$prefix" --dpi "$dpi" --style "$style" -- \
    "$scripts/wine-exec" "$bin/tsm_panel_look_checks.exe" --gtest_filter="$filter" || status=$?
  ((status == 0)) || echo "== $dpi DPI, style $style: FAILED with status $status (what it printed is above)"
  return "$status"
}

failed=0
phase 120 0 'PanelLook.LaysOutAtTheSessionsScale' || failed=1
phase 144 0 'PanelLook.LaysOutAtTheSessionsScale' || failed=1
phase 192 0 'PanelLook.LaysOutAtTheSessionsScale' || failed=1
# At 100 % with the style on: the layout, the style on and then off under the same panel, and the move to 150 %.
phase 96 1 'PanelLook.*' || failed=1
# A black high-contrast scheme, whose colours are the session's own.
phase 96 0 'PanelHighContrast.*' || failed=1
exit "$failed"
