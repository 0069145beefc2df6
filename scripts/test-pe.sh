#!/bin/sh
# Checks the hardening of the two Windows builds of the installer and the uninstaller, as the
# files stand: they import only system DLLs, they are relocatable (ASLR, with their relocations
# kept) and DEP-compatible, the x86_64 ones with high-entropy ASLR; they carry no link time
# stamp; they hold the application manifest (RT_MANIFEST, id 1) byte for byte; their entry code
# limits the DLL search. Prints the sizes.
#   BUILD_DIR         where the builds are (default: build)
#   PEL_REUSE_BUILDS  1: check the builds as they are instead of running scripts/build.sh first
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
LISTER="$ROOT/tests/cross/pe_resources.py"
MANIFEST="$ROOT/resources/installer.manifest"

[ "${PEL_REUSE_BUILDS:-0}" = 1 ] || "$ROOT/scripts/build.sh" >/dev/null

fail() { echo "test-pe: $*" >&2; status=1; }
status=0
manifest_sum=$(sha256sum "$MANIFEST" | cut -c1-16)
manifest_size=$(wc -c <"$MANIFEST")
for arch_program in i686/PelbrixSetup x86_64/PelbrixSetup i686/uninstall x86_64/uninstall; do
  arch=${arch_program%/*}
  exe="$BUILD/win-$arch_program.exe"
  [ -f "$exe" ] || { fail "$exe is missing"; continue; }
  headers=$("$arch-w64-mingw32-objdump" -p "$exe")

  for dll in $(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case $dll in
      kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|msvcrt.dll) ;;
      *) fail "$arch imports $dll, not a system DLL" ;;
    esac
  done

  flags=$(echo "$headers" | sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p')
  wanted="DYNAMIC_BASE NX_COMPAT"
  [ "$arch" = x86_64 ] && wanted="$wanted HIGH_ENTROPY_VA"
  for flag in $wanted; do
    echo "$flags" | grep -qw "$flag" || fail "$arch lacks $flag"
  done
  # ASLR needs the relocations: the file must not say they were stripped, and must hold some.
  characteristics=$(echo "$headers" | sed -n 's/^Characteristics[[:space:]]*0x//p')
  [ $(( 0x$characteristics & 1 )) = 0 ] || fail "$arch has its relocations stripped"
  # The shipped installer holds its payload three times in memory: it needs the 4 GB that a
  # large-address-aware 32-bit program gets on 64-bit Windows.
  [ "$arch_program" != i686/PelbrixSetup ] || [ $(( 0x$characteristics & 0x20 )) != 0 ] ||
    fail "the i686 installer is not large-address aware"
  relocs=$(echo "$headers" | sed -n 's/^Entry 5 [0-9a-f]* \([0-9a-f]*\) Base Relocation Directory.*/\1/p')
  [ -n "$relocs" ] && [ $(( 0x$relocs )) -gt 0 ] || fail "$arch has no base relocations"
  echo "$headers" | grep -q '^Time/Date[[:space:]]*Thu Jan  1 00:00:00 1970' || fail "$arch carries a link time stamp"

  python3 "$LISTER" list "$exe" | grep "^MANIFEST 1 [0-9]* $manifest_size $manifest_sum\$" >/dev/null ||
    fail "$arch has no manifest resource 1 as resources/installer.manifest"
  # The entry code looks the restricting functions up by name: their names must be in the file.
  for name in SetDefaultDllDirectories SetDllDirectoryA; do
    grep -q "$name" "$exe" || fail "$arch does not contain $name: the entry code is missing"
  done
  size=$(wc -c <"$exe")
  if [ "$arch_program" = i686/PelbrixSetup ]; then
    # The shipped installer's own size, without the payload it carries: within 64 KB.
    own=$((size - $(wc -c <"$BUILD/win-i686/resources/payload.bin")))
    echo "i686 PelbrixSetup.exe without its payload: $own bytes (limit 65,536)"
    [ "$own" -le 65536 ] || fail "the i686 installer is $own bytes without its payload"
  fi
  echo "$arch ${exe##*/}: $size bytes, imports" $(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p') \
    "|$(echo "$flags" | sed '1d;$d' | tr -s ' \t\n' ' ')"
done
[ $status = 0 ] && echo "both builds: system DLLs only, ASLR and DEP, no time stamp, manifest present"
exit $status
