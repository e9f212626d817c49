#!/usr/bin/env bash
# Installs, once and without questions, every Debian package the build, the panel and the tests need.
set -euo pipefail
. "$(dirname "$0")/report-failure.sh"

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 fonts-wine xvfb xauth x11-utils imagemagick python3 git openssl osslsigncode
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
((${#missing[@]})) || exit 0

echo "setup: installing ${missing[*]}"
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
log=$(mktemp /tmp/tsm-setup.XXXXXX.log)
# apt: one step of the installation, its output in the log. A package archive can fail to answer for a moment, so a
# step is tried up to three times, each further try said; one that still fails prints what apt said.
apt() {
  local try status
  for try in 1 2 3; do
    status=0
    DEBIAN_FRONTEND=noninteractive $sudo apt-get "$@" </dev/null >>"$log" 2>&1 || status=$?
    ((status != 0)) || return 0
    echo "setup: apt-get $1 failed with status $status (try $try of 3)" >&2
    ((try == 3)) || sleep 10
  done
  echo "setup: what apt-get said (all of it is in $log):" >&2
  tail -n 40 "$log" | sed 's/^/  | /' >&2
  return "$status"
}
apt update -qq
apt install -y -qq --no-install-recommends "${missing[@]}"
rm -f "$log"
