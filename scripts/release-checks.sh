#!/usr/bin/env bash
# What only the finished package shows, checked after the Windows workflow has built, tested and packed
# build/windows (scripts/test.sh runs this next):
#
#   reproducible  the program and its zip built a second time, from a copy of the sources in a temporary folder
#                 into a build folder beside it (other paths, of other lengths, elsewhere in the file system), come
#                 out byte for byte the same
#   signed        the package step signs with a throwaway self-signed certificate: the signature verifies as SHA-256
#                 Authenticode against it, SHA256SUMS matches the zip, the zip holds exactly the three files, and the
#                 signed panel starts under Wine and shows its window
#
# Each check keeps what its tools printed in build/release-checks/<check>.log and prints what it found; one that
# fails says so and prints its whole log.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
first=$root/build/windows
work=$root/build/release-checks
rm -rf "$work"
mkdir -p "$work"
first_signed=${TSM_SIGN_PFX:-}

# What a check found: into its log and onto the summary printed when it passes.
note() { echo "$*"; echo "$*" >&3; }

reproducible() {
  # Away from the first build's folder, where paths sort otherwise (ld orders pieces of the image by file paths).
  local elsewhere sources build
  elsewhere=$(mktemp -d "${TMPDIR:-/tmp}/tsm-second-build.XXXXXX")
  sources=$elsewhere/a-copy-of-the-sources build=$elsewhere/b
  echo "the second build: $elsewhere (removed if it matches)"
  mkdir -p "$sources"
  # The working tree as it is, without what git ignores (the build folders).
  git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$sources"
  # The copy is no checkout: it gets the commit's date from here, as the first package got it.
  export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
  # Everything is compiled afresh (a compiler cache that rewrites paths would hide what this looks for), and only
  # the program is built: the package depends on nothing else.
  unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER TSM_SIGN_PFX TSM_SIGN_PASSWORD
  (cd "$sources" && cmake --preset windows -B "$build" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON)
  cmake --build "$build" --target TorvaleServiceManager
  (cd "$build" && cpack -G ZIP)

  local zip files status=0
  zip=$(cd "$build" && ls TorvaleServiceManager-*-win64.zip)
  files=(bin/TorvaleServiceManager.exe bin/TorvaleServiceManager.exe.debug "$zip" SHA256SUMS)
  if [ -n "$first_signed" ]; then
    note "the first package was signed: its zip differs by its signature, so only the program is compared"
    files=("${files[@]:0:2}")
  fi
  for file in "${files[@]}"; do
    if cmp "$first/$file" "$build/$file"; then
      note "the same: $file ($(sha256sum <"$build/$file" | cut -c1-64))"
    else
      status=1
      # The usual cause is a folder of one build or the other written into the file, in some form: the strings
      # that only one of them holds show it.
      note "  strings in one and not the other (< the first, > the second):"
      note "$(diff <(strings -a "$first/$file" | sort) <(strings -a "$build/$file" | sort) | grep '^[<>]' | head -n 20)"
    fi
  done
  ((status != 0)) || rm -rf "$elsewhere"
  # ccache's base_dir rewrites the paths it is given, which changes the first build's debug information (and the
  # image's link to it), though not its code.
  local base_dir
  base_dir=$(command -v ccache >/dev/null && ccache -k base_dir 2>/dev/null || true)
  ((status == 0)) || [ -z "$base_dir" ] ||
    note "  ccache's base_dir is $base_dir: if the first build went through ccache, build it again without"
  return $status
}

signed() {
  local keys=$work/keys out=$work/signed
  mkdir -p "$keys" "$out/unpacked"
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Torvale Service Manager throwaway signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$keys/key.pem" -out "$keys/certificate.pem" 2>/dev/null
  openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/certificate.pem" -out "$keys/signer.pfx" \
    -passout pass:throwaway
  # The first build's own package step, with the certificate, into a folder of its own.
  (cd "$first" && TSM_SIGN_PFX=$keys/signer.pfx TSM_SIGN_PASSWORD=throwaway cpack -G ZIP -B "$out")

  local zip program=$out/unpacked/TorvaleServiceManager.exe
  zip=$(cd "$out" && ls TorvaleServiceManager-*-win64.zip)
  note "SHA256SUMS: $(cd "$out" && sha256sum -c SHA256SUMS)"
  local listing
  listing=$(python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$out/$zip")
  [ "$listing" = "LICENSE README.md TorvaleServiceManager.exe" ] || { note "the zip holds: $listing"; return 1; }
  note "the zip holds $listing"
  python3 -m zipfile -e "$out/$zip" "$out/unpacked"

  osslsigncode verify -CAfile "$keys/certificate.pem" -in "$program" >"$out/verify.txt" 2>&1 ||
    { cat "$out/verify.txt"; return 1; }
  note "$(grep -Ei 'digest algorithm|verification' "$out/verify.txt")"
  grep -Eiq 'digest algorithm *: *sha256' "$out/verify.txt" || { note "not signed with SHA-256"; return 1; }

  # The signed panel under Wine, in the first build's prefix: its window appears on the session's display (Wine
  # names each top-level window's X window after its title).
  scripts/wine-session --prefix "$first/wineprefix" -- bash -c '
    cd "$1"
    wine TorvaleServiceManager.exe & panel=$!
    for _ in $(seq 300); do
      if xwininfo -root -tree | grep -q "\"Torvale Service Manager\""; then found=1; break; fi
      sleep 0.1
    done
    kill "$panel" 2>/dev/null || true
    wait "$panel" 2>/dev/null || true
    if [ -n "${found:-}" ]; then echo "the signed panel showed its window"; else echo "no panel window in 30 s"; exit 1; fi
  ' bash "$out/unpacked" | tee "$out/wine.txt"
  note "$(tail -n 1 "$out/wine.txt")"
}

failed=()
for check in reproducible signed; do
  echo "== release check: $check"
  # In a subshell of its own, outside any condition, so that set -e stops the check at its first failing command.
  set +e
  (set -e; "$check") >"$work/$check.log" 2>&1 3>"$work/$check.found"
  status=$?
  set -e
  if ((status == 0)); then
    cat "$work/$check.found"
  else
    echo "release check '$check' failed ($status); it printed:"
    cat "$work/$check.log"
    failed+=("$check")
  fi
done
if ((${#failed[@]})); then
  echo "release checks failed: ${failed[*]}"
  exit 1
fi
