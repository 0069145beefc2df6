#!/bin/sh
# Runs every test: the sources' layout, unit tests under ASan/UBSan, the fuzz target briefly,
# the Windows builds' checks, signing and the end-to-end scenarios under Wine; at the end (or at a
# failure) the time each stage took.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
JOBS=$(nproc)
"$ROOT/scripts/setup.sh"

TIMES=
trap 'echo "== time of each stage$TIMES"' EXIT
stage() {  # NAME COMMAND...
  echo "== $1"
  began=$(date +%s)
  TIMES="$TIMES
$(printf '%-24s' "$1") failed"
  shift
  "$@"
  TIMES="${TIMES% failed} $(($(date +%s) - began)) s"
}

layout() {
  (cd "$ROOT" && git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror)
  echo "every source file is laid out as .clang-format says"
}
unit() {
  cmake -S "$ROOT" -B "$BUILD/test-host" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" >/dev/null
  cmake --build "$BUILD/test-host" -j "$JOBS"
  ctest --test-dir "$BUILD/test-host" --output-on-failure -j "$JOBS"
}
start=$(date +%s)
stage "layout (.clang-format)" layout
stage "unit (ASan, UBSan)" unit
for script in "$ROOT"/scripts/test-*.sh; do
  stage "$(basename "$script" .sh)" "$script"
done
TIMES="$TIMES
$(printf '%-24s' all) $(($(date +%s) - start)) s"
echo "== all tests passed"
