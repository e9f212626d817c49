#!/usr/bin/env bash
# Saves the README's pictures of the panel in Wine's visual style at 100 % and in the classic look at 150 %
# (docs/screenshots/styled.png, scaled-150.png): each in a Wine session of its own with the service "Torvale"
# registered and running, so the green light shows. Builds nothing and commits nothing: run it after a build.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/report-failure.sh
bin=$(realpath build/windows/bin)
prefix=build/windows/wineprefix-look
out=$(realpath docs/screenshots)

shot() {
  local dpi=$1 style=$2 name=$3
  TSM_BIN=$bin TSM_SHOT="$out/$name.png" scripts/wine-session --prefix "$prefix" --dpi "$dpi" --style "$style" -- bash -c '
    winbin="Z:${TSM_BIN//\//\\}"
    {
      wine sc delete Torvale
      wine sc create Torvale binPath= "$winbin\\tsm_test_service.exe" start= demand
      wine sc start Torvale
    } </dev/null >/dev/null 2>&1
    work=$(mktemp -d)
    (cd "$work" && wine "$TSM_BIN/TorvaleServiceManager.exe" </dev/null >/dev/null 2>&1) &
    sleep 4
    import -window root "$work/root.png"
    # The root is black round the window: trimming it leaves the window.
    convert "$work/root.png" -trim +repage -strip "$TSM_SHOT"
    { wine sc stop Torvale; sleep 1; wine sc delete Torvale; } </dev/null >/dev/null 2>&1
    rm -rf "$work"
  '
}

shot 96 1 styled
shot 144 0 scaled-150
ls -l "$out/styled.png" "$out/scaled-150.png"
