#!/bin/sh
# Builds everything: the host tools and the two Windows installers.
#   PEL_PAYLOAD_DIR  folder packed into the installer (default: resources/payload, the sample)
#   BUILD_DIR        where the builds go (default: build)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
PAYLOAD=${PEL_PAYLOAD_DIR:-$ROOT/resources/payload}
JOBS=$(nproc)

cmake -S "$ROOT" -B "$BUILD/host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPEL_TESTS=OFF >/dev/null
cmake --build "$BUILD/host" -j "$JOBS"
for arch in i686 x86_64; do
  cmake -S "$ROOT" -B "$BUILD/win-$arch" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-$arch.cmake" \
    -DPELPACK="$BUILD/host/tools/pelpack" -DPEL_PAYLOAD_DIR="$PAYLOAD" >/dev/null
  cmake --build "$BUILD/win-$arch" -j "$JOBS"
done
