#!/bin/bash
# Runs every test: the sources' layout, unit tests under ASan/UBSan, the fuzz target briefly,
# the Windows builds' checks, signing and the end-to-end scenarios under Wine; at the end (or at a
# failure) the time each stage took. Two stages run in the background beside the others (below);
# their lines come at the end.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
JOBS=$(nproc)
"$ROOT/scripts/setup.sh"

TIMES=
BESIDE=
trap 'for job in $BESIDE; do kill -- -"${job%%:*}" 2>/dev/null; done; echo "== time of each stage$TIMES"' EXIT
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
# A stage in the background, in a process group of its own: its output goes to a log, its exit
# code and time to a status file.
beside() {  # NAME COMMAND...
  name=$1
  shift
  rm -f "$BUILD/$name.status"
  set -m
  (began=$(date +%s); "$@" >"$BUILD/$name.log" 2>&1; echo $? $(($(date +%s) - began)) >"$BUILD/$name.status") &
  set +m
  BESIDE="$BESIDE $!:$name"
}

start=$(date +%s)
mkdir -p "$BUILD"
stage "layout (.clang-format)" layout
stage "build" build
export PEL_REUSE_BUILDS=1
# The scenarios wait on Wine far more than they compute, and the reproducibility check is one
# build: both run beside the other stages, which run one after another at a lower priority.
beside test-e2e env PEL_E2E_BUILD=0 "$ROOT/scripts/test-e2e.sh"
beside test-repro nice -n 5 "$ROOT/scripts/test-repro.sh"
stage "unit (ASan, UBSan)" unit
for script in "$ROOT"/scripts/test-*.sh; do
  case " $BESIDE " in *:$(basename "$script" .sh)\ *) continue ;; esac
  stage "$(basename "$script" .sh)" nice "$script"
done
failed=0
for job in $BESIDE; do
  name=${job#*:}
  echo "== $name (beside the stages above)"
  wait "${job%%:*}" || true
  BESIDE=${BESIDE/ $job/}
  cat "$BUILD/$name.log"
  read -r status seconds <"$BUILD/$name.status" || status=1
  [ "$status" = 0 ] || failed=1
  TIMES="$TIMES
$(printf '%-24s' "$name") $([ "$status" = 0 ] && echo "$seconds s (beside)" || echo failed)"
done
TIMES="$TIMES
$(printf '%-24s' all) $(($(date +%s) - start)) s"
[ "$failed" = 0 ]
echo "== all tests passed"
