#!/bin/sh
# Reproducible builds: the source tree is copied to two different temporary folders, the i686
# and x86_64 installers are built in each (scripts/build.sh, installers only), and the two
# builds must be byte-identical. Paths, link time stamps and payload times must not leak in.
#   PEL_REPRO_KEEP=1  keep the temporary folders (their path is printed)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
TMP=$(mktemp -d)
[ "${PEL_REPRO_KEEP:-0}" = 1 ] || trap 'rm -rf "$TMP"' EXIT
trap 'exit 130' INT TERM

# Both copies get the same time stamp, as two checkouts of one commit would: the commit's time.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$ROOT" log -1 --format=%ct)}

for side in one second-copy; do
  # The files of the working tree as git sees them (committed or not, no build folder).
  mkdir -p "$TMP/$side/src"
  (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp -p --parents -t "$TMP/$side/src" --)
  echo "building in $TMP/$side"
  BUILD_DIR="$TMP/$side/out" PEL_INSTALLER_ONLY=1 "$TMP/$side/src/scripts/build.sh" >"$TMP/$side.log" 2>&1 ||
    { cat "$TMP/$side.log" >&2; echo "test-repro: the build in $TMP/$side failed" >&2; exit 1; }
done

status=0
for arch in i686 x86_64; do
  a="$TMP/one/out/win-$arch/PelbrixSetup.exe"
  if cmp "$a" "$TMP/second-copy/out/win-$arch/PelbrixSetup.exe"; then
    echo "$arch: identical ($(wc -c <"$a") bytes, sha256 $(sha256sum "$a" | cut -c1-16))"
  else
    echo "test-repro: the two $arch installers differ" >&2 && status=1
  fi
done
exit $status
