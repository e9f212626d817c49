#!/usr/bin/env bash
# What the built images promise an administrator who runs them elevated, read from the files themselves: ASLR with
# high entropy, NX and terminal-server awareness in DllCharacteristics; no symbols or debug sections, with the debug
# information in the .debug file beside the image that its .gnu_debuglink names; and the stack protector in the
# code, as calls of __stack_chk_fail (whose address only the .debug file still knows).
#
#   image-hardening.sh OBJDUMP NM IMAGE.exe ...
set -euo pipefail
objdump=$1 nm=$2
shift 2

# IMAGE_DLLCHARACTERISTICS_ HIGH_ENTROPY_VA 0x20, DYNAMIC_BASE 0x40, NX_COMPAT 0x100, TERMINAL_SERVER_AWARE 0x8000.
wanted=$((0x20 | 0x40 | 0x100 | 0x8000))
status=0
fail() { echo "$image: $*"; status=1; }

for image in "$@"; do
  name=$(basename "$image")
  headers=$("$objdump" -p "$image")
  flags=$(sed -n 's/^DllCharacteristics[[:space:]]*//p' <<<"$headers")
  [ -n "$flags" ] || { fail "no DllCharacteristics read"; continue; }
  (((0x$flags & wanted) == wanted)) || fail "DllCharacteristics 0x$flags lacks some of $(printf '0x%x' $wanted)"

  sections=$("$objdump" -h "$image")
  ! grep -q ' \.debug_' <<<"$sections" || fail "still carries debug sections"
  "$objdump" -t "$image" | grep -q '^no symbols' || fail "still carries a symbol table"
  # The section holds the file's name, a NUL, padding and a CRC: the name is the bytes before the first NUL.
  link=$({ "$objdump" -s -j .gnu_debuglink "$image" 2>/dev/null || true; } |
         sed -n 's/^ [0-9a-f]* \(.\{35\}\)  .*/\1/p' | tr -d ' \n' | fold -w2 | sed '/^00$/,$d' | sed 's/^/\\x/' |
         tr -d '\n')
  link=$(printf "$link")
  [ "$link" = "$name.debug" ] || fail "its .gnu_debuglink names '$link', not $name.debug"
  debug="$image.debug"
  [ -s "$debug" ] || { fail "no $name.debug beside it"; continue; }

  fail_at=$("$nm" "$debug" | sed -n 's/^0*\([0-9a-f]*\) T __stack_chk_fail$/\1/p')
  [ -n "$fail_at" ] || { fail "$name.debug has no __stack_chk_fail: the stack protector is not linked"; continue; }
  code=$("$objdump" -d --no-show-raw-insn "$image")
  checks=$(grep -c "call   0x$fail_at\$" <<<"$code" || true)
  [ "$checks" -gt 0 ] || fail "no function calls __stack_chk_fail: the code was built without the stack protector"
  # The checked copies of the string functions that _FORTIFY_SOURCE calls where it knows a buffer's size, if any.
  fortified=$("$nm" "$debug" | sed -n 's/.* T \(__[a-z]*_chk\)$/\1/p' | tr '\n' ' ')
  [ $status -ne 0 ] || echo "$name: DllCharacteristics 0x$flags, stripped (debug in $name.debug)," \
    "$checks calls of __stack_chk_fail, checked string functions: ${fortified:-none}"
done
exit $status
