#!/bin/sh
# Runs every test: the sources' layout, unit tests under ASan/UBSan, the fuzz target briefly,
# the Windows builds' checks, signing and the end-to-end scenarios under Wine.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
JOBS=$(nproc)
"$ROOT/scripts/setup.sh"

echo "== layout of the sources (.clang-format)"
(cd "$ROOT" && git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror)
echo "every source file is laid out as .clang-format says"

echo "== unit tests (ASan, UBSan)"
cmake -S "$ROOT" -B "$BUILD/test-host" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" >/dev/null
cmake --build "$BUILD/test-host" -j "$JOBS"
ctest --test-dir "$BUILD/test-host" --output-on-failure -j "$JOBS"

for stage in "$ROOT"/scripts/test-*.sh; do
  echo "== $(basename "$stage" .sh)"
  "$stage"
done
echo "== all tests passed"
