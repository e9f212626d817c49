#!/usr/bin/env bash
# Installs what is missing, builds the panel and the stand-in server, starts the server from its sample run.bat and
# opens the panel beside it. On $DISPLAY when there is one; otherwise headless, saving a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/report-failure.sh

scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target TorvaleServiceManager TorvaleServer

bin=build/windows/bin
prefix=build/windows/wineprefix-run
shot=${TSM_SCREENSHOT:-$PWD/build/panel.png}

if [ -n "${DISPLAY:-}" ]; then
  # The panel runs in bin/, where the sample config\AppConfig.xml and the scripts are.
  scripts/wine-session --display --prefix "$prefix" -- bash -c "
    cd '$bin'
    wine cmd /c run.bat
    wine TorvaleServiceManager.exe
    wine cmd /c 'taskkill /f /im TorvaleServer.exe' >/dev/null 2>&1 || true"
else
  scripts/wine-session --prefix "$prefix" -- bash -c "
    # Without a window manager Wine draws the caption itself.
    wine reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    cd '$bin'
    wine cmd /c run.bat
    wine TorvaleServiceManager.exe &
    for _ in \$(seq 100); do xwininfo -root -tree | grep -q '\"Torvale Service Manager\"' && break; sleep 0.1; done
    sleep 3 # the first probe's answer
    id=\$(xwininfo -root -tree | awk '/\"Torvale Service Manager\"/ {print \$1; exit}')
    import -window \"\$id\" '$shot'
    wine cmd /c 'taskkill /f /im TorvaleServer.exe' >/dev/null 2>&1 || true
    wine cmd /c 'taskkill /im TorvaleServiceManager.exe' >/dev/null 2>&1 || true"
  echo "No display: the panel ran headless. Screenshot: $shot"
fi
