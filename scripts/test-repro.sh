#!/bin/sh
# Reproducible builds: the source tree is copied to a temporary folder, the shipped i686 installer
# is built there (scripts/build.sh, installer only), and it must be byte-identical to the build
# folder's, built from the tree itself (by scripts/build.sh first, unless
# PEL_REUSE_BUILDS=1). Paths, link time stamps and payload times must not leak in. The committed
# picture, icon and licence text must be what their scripts (tools/art) make.
#   BUILD_DIR         the build folder (default: build)
#   PEL_REUSE_BUILDS  1: compare with the build folder's installers as they are
#   PEL_REPRO_KEEP=1  keep the temporary folder (its path is printed)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
TMP=$(mktemp -d)
[ "${PEL_REPRO_KEEP:-0}" = 1 ] || trap 'rm -rf "$TMP"' EXIT
trap 'exit 130' INT TERM

# Both builds get the same time stamp, as two checkouts of one commit would: the commit's time
# (scripts/build.sh gives the build folder's the same).
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$ROOT" log -1 --format=%ct)}

[ "${PEL_REUSE_BUILDS:-0}" = 1 ] || "$ROOT/scripts/build.sh" >/dev/null
# The files of the working tree as git sees them (committed or not, no build folder).
mkdir -p "$TMP/src"
(cd "$ROOT" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp -p --parents -t "$TMP/src" --)
echo "building in $TMP"
BUILD_DIR="$TMP/out" PEL_INSTALLER_ONLY=1 PEL_ARCHS=i686 "$TMP/src/scripts/build.sh" >"$TMP/build.log" 2>&1 ||
  { cat "$TMP/build.log" >&2; echo "test-repro: the build in $TMP failed" >&2; exit 1; }

status=0
RES="$ROOT/resources"
python3 "$ROOT/tools/art/page_bitmap.py" "$TMP/page.bmp"
python3 "$ROOT/tools/art/icon.py" "$TMP/pelbrix.ico"
python3 "$ROOT/tools/art/licence_text.py" "$RES/licence.utf8.txt" "$TMP/licence.txt"
for f in page.bmp pelbrix.ico licence.txt; do
  cmp -s "$TMP/$f" "$RES/$f" || { echo "test-repro: resources/$f is not what tools/art makes" >&2; status=1; }
done
a="$TMP/out/win-i686/PelbrixSetup.exe"
if cmp "$a" "$BUILD/win-i686/PelbrixSetup.exe"; then
  echo "i686: identical ($(wc -c <"$a") bytes, sha256 $(sha256sum "$a" | cut -c1-16))"
else
  echo "test-repro: the i686 installers of $TMP and $BUILD differ" >&2 && status=1
fi
exit $status
