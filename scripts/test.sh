#!/bin/bash
# Runs every test: the sources' layout, unit tests under ASan/UBSan, the fuzz target briefly,
# the Windows builds' checks, signing and the end-to-end scenarios under Wine; at the end (or at a
# failure) the time each stage took. The scenarios wait on Wine far more than they compute, so
# they run beside the other stages (those at a lower priority); their lines come at the end.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
JOBS=$(nproc)
"$ROOT/scripts/setup.sh"

TIMES=
E2E=
trap '[ -z "$E2E" ] || kill -- -"$E2E" 2>/dev/null; echo "== time of each stage$TIMES"' EXIT
trap 'exit 130' INT TERM
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
  nice cmake --build "$BUILD/test-host" -j "$JOBS"
  ctest --test-dir "$BUILD/test-host" --output-on-failure -j "$JOBS"
}
build() {
  BUILD_DIR=$BUILD "$ROOT/scripts/build.sh" >"$BUILD/test-build.log" 2>&1 ||
    { tail -n 30 "$BUILD/test-build.log"; echo "the build failed (log: $BUILD/test-build.log)"; return 1; }
}
scenarios() {  # in the background, timed on its own
  began=$(date +%s)
  PEL_E2E_BUILD=0 "$ROOT/scripts/test-e2e.sh" >"$BUILD/test-e2e.log" 2>&1
  echo $? $(($(date +%s) - began)) >"$BUILD/test-e2e.status"
}

start=$(date +%s)
mkdir -p "$BUILD"
stage "layout (.clang-format)" layout
stage "build" build
rm -f "$BUILD/test-e2e.status"
set -m  # the scenarios in a process group of their own, ended with the run
scenarios &
E2E=$!
set +m
stage "unit (ASan, UBSan)" unit
export PEL_REUSE_BUILDS=1
for script in "$ROOT"/scripts/test-*.sh; do
  [ "$script" = "$ROOT/scripts/test-e2e.sh" ] || stage "$(basename "$script" .sh)" nice "$script"
done
echo "== test-e2e (beside the stages above)"
wait "$E2E" || true
E2E=
cat "$BUILD/test-e2e.log"
read -r status seconds <"$BUILD/test-e2e.status" || status=1 seconds=?
TIMES="$TIMES
$(printf '%-24s' test-e2e) $([ "$status" = 0 ] && echo "$seconds s (beside)" || echo failed)"
TIMES="$TIMES
$(printf '%-24s' all) $(($(date +%s) - start)) s"
[ "$status" = 0 ]
echo "== all tests passed"
