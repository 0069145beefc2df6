#!/bin/sh
# Checks the two Windows builds: both hold the same dialogs, bitmap, icon, licence text and payload
# paths (their PE kind and imports are checked by test-pe.sh). Also checks that the committed
# picture, icon and licence text are what their scripts make.
#   BUILD_DIR         where the builds are (default: build)
#   PEL_REUSE_BUILDS  1: check the builds as they are instead of running scripts/build.sh first
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
LISTER="$ROOT/tests/cross/pe_resources.py"
RES="$ROOT/resources"

[ "${PEL_REUSE_BUILDS:-0}" = 1 ] || "$ROOT/scripts/build.sh"

for arch in i686 x86_64; do
  exe="$BUILD/win-$arch/PelbrixSetup.exe"
  python3 "$LISTER" check "$exe" --licence "$RES/licence.txt" --bitmap "$RES/page.bmp" \
    --icon "$RES/pelbrix.ico" --payload "$BUILD/win-$arch/resources/payload.bin"
done
python3 "$LISTER" same "$BUILD/win-i686/PelbrixSetup.exe" "$BUILD/win-x86_64/PelbrixSetup.exe"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# The payloads differ only in the programs built for each (their sizes): both list the same paths.
for arch in i686 x86_64; do
  cut -f 1 "$BUILD/win-$arch/resources/names.txt" >"$tmp/names-$arch"
done
cmp "$tmp/names-i686" "$tmp/names-x86_64" || { echo "test-cross: the two builds pack different paths" >&2; exit 1; }

# The generated resources are committed; they must be exactly what the scripts make.
python3 "$ROOT/tools/art/page_bitmap.py" "$tmp/page.bmp"
python3 "$ROOT/tools/art/icon.py" "$tmp/pelbrix.ico"
python3 "$ROOT/tools/art/licence_text.py" "$RES/licence.utf8.txt" "$tmp/licence.txt"
for f in page.bmp pelbrix.ico licence.txt; do
  cmp -s "$tmp/$f" "$RES/$f" || { echo "test-cross: resources/$f is not what tools/art makes; regenerate it" >&2; exit 1; }
done
echo "resources/page.bmp, pelbrix.ico and licence.txt match their scripts"
