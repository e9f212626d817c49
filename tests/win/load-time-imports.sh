#!/usr/bin/env bash
# The DLLs the panel imports at load time: only those Windows maps from its own folder whatever sits beside the
# program (the known DLLs below), and the common controls, which the manifest binds side by side. Any other name
# would be looked for in the program's folder first, and a file planted there would run in an elevated panel.
#
#   load-time-imports.sh OBJDUMP PROGRAM.exe
set -euo pipefail
. "$(dirname "$0")/../../scripts/report-failure.sh"
objdump=$1 program=$2
# A build with MSYS2's UCRT64 toolchain on Windows itself takes its C runtime from ucrtbase.dll, a known DLL since
# Windows 10, through api-ms-win-crt-* names, which the loader resolves through the system's API set schema and never
# looks for beside the program.
allowed=" advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ucrtbase.dll user32.dll "

names=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$names" ] || { echo "no imports read from $program"; exit 1; }
status=0
for name in $names; do
  if [[ "$allowed" != *" $name "* && "$name" != api-ms-win-* ]]; then
    echo "imported at load time, and not a known DLL: $name"
    status=1
  fi
done
[ $status -ne 0 ] || echo "load-time imports: $(echo $names)"
exit $status
