#!/bin/sh
# Checks the two Windows builds: i686 is PE32 and x86_64 PE32+, and both hold the same dialogs,
# bitmap, icon, licence text and payload paths (their imports are checked by test-pe.sh). Also checks
# that the committed picture, icon and licence text are what their scripts make.
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
  python3 "$LISTER" check "$exe" "$arch" --licence "$RES/licence.txt" --bitmap "$RES/page.bmp" \
    --icon "$RES/pelbrix.ico" --payload "$BUILD/win-$arch/resources/payload.bin"
done
python3 "$LISTER" same "$BUILD/win-i686/PelbrixSetup.exe" "$BUILD/win-x86_64/PelbrixSetup.exe"
# The payloads differ only in the programs built for each: both list the same paths.
# (Their lists differ in the programs' sizes: the paths are the first column.)
cut -f1 "$BUILD/win-i686/resources/names.txt" >"$BUILD/names-i686.txt"
cut -f1 "$BUILD/win-x86_64/resources/names.txt" | cmp -s "$BUILD/names-i686.txt" - ||
  { echo "test-cross: the two builds pack different paths" >&2; exit 1; }

# The generated resources are committed; they must be exactly what the scripts make.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 "$ROOT/tools/art/page_bitmap.py" "$tmp/page.bmp"
python3 "$ROOT/tools/art/icon.py" "$tmp/pelbrix.ico"
python3 "$ROOT/tools/art/licence_text.py" "$RES/licence.utf8.txt" "$tmp/licence.txt"
for f in page.bmp pelbrix.ico licence.txt; do
  cmp -s "$tmp/$f" "$RES/$f" || { echo "test-cross: resources/$f is not what tools/art makes; regenerate it" >&2; exit 1; }
done
echo "resources/page.bmp, pelbrix.ico and licence.txt match their scripts"
