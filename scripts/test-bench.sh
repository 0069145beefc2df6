#!/bin/sh
# The side-by-side benchmark (bench/nsis_bench.sh) on the installers of the build folder and the
# few files they carry, one round: it has to run through and print its figures; no time is
# checked. Installs Debian's nsis the first time.
#   BUILD_DIR         build folder (default: build); the benchmark works in $BUILD_DIR/bench-smoke
#   PEL_PAYLOAD_DIR   the folder the installers are built from (default: resources/payload)
#   PEL_REUSE_BUILDS  1: use the builds as they are instead of running scripts/build.sh first
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
mkdir -p "$BUILD"
if [ "${PEL_REUSE_BUILDS:-0}" != 1 ]; then
  BUILD_DIR=$BUILD "$ROOT/scripts/build.sh" >"$BUILD/bench-build.log" 2>&1 ||
    { tail -n 30 "$BUILD/bench-build.log"; echo "bench: the build failed (log: $BUILD/bench-build.log)"; exit 1; }
fi
PEL_BENCH_BUILD=$BUILD PEL_BENCH_TIMEOUT=60 RUNS=1 "$ROOT/bench/nsis_bench.sh" "$BUILD/bench-smoke"
