#!/bin/sh
# Builds everything: the host tools and the two Windows installers.
#   PEL_PAYLOAD_DIR  folder packed into the installer (default: resources/payload, the sample); one
#                    whose files hold more than the shipped installer installs is refused
#                    (`pelpack --help` says how much)
#   PEL_PAYLOAD_LIMIT  bytes the folder's files may hold instead (0: none, to measure the limit)
#   BUILD_DIR        where the builds go (default: build)
#   SOURCE_DATE_EPOCH  time stamp of the packed files (default: the last commit's time)
#   PEL_INSTALLER_ONLY 1: build only what the installers need (pelpack and PelbrixSetup.exe)
#   PEL_ARCHS        the Windows builds to make (default: "i686 x86_64"; i686 is the shipped one)
#   PEL_SIGN_PKCS12  sign the Windows programs with this key and its certificates (PKCS#12)
#   PEL_SIGN_PASSWORD_FILE  file holding its password, when it has one
#   PEL_SIGN_TIMESTAMP_URL  RFC 3161 time-stamp server (default: no time stamp)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
PAYLOAD=${PEL_PAYLOAD_DIR:-$ROOT/resources/payload}
JOBS=$(nproc)
# Time stamps of the packed files: the last commit's time, so that every build of one commit
# gives the same bytes; a fixed time outside git. A caller's value is kept.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || true)
  [ -n "$SOURCE_DATE_EPOCH" ] || SOURCE_DATE_EPOCH=1700000000
fi
export SOURCE_DATE_EPOCH

# Signing settings as absolute paths (the builds run in other folders); empty turns signing off.
absolute() { [ -z "$1" ] || echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
SIGN_PKCS12=$(absolute "${PEL_SIGN_PKCS12:-}")
SIGN_PASSWORD_FILE=$(absolute "${PEL_SIGN_PASSWORD_FILE:-}")

cmake -S "$ROOT" -B "$BUILD/host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPEL_TESTS=OFF >/dev/null
HOST_TARGET=
WIN_TARGET=
if [ "${PEL_INSTALLER_ONLY:-0}" = 1 ]; then
  HOST_TARGET="--target pelpack"
  WIN_TARGET="--target PelbrixSetup"
fi
# shellcheck disable=SC2086  # the target options are split on purpose
cmake --build "$BUILD/host" -j "$JOBS" $HOST_TARGET
for arch in ${PEL_ARCHS:-i686 x86_64}; do
  cmake -S "$ROOT" -B "$BUILD/win-$arch" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-$arch.cmake" \
    -DPELPACK="$BUILD/host/tools/pelpack" -DPEL_PAYLOAD_DIR="$PAYLOAD" -DPEL_PAYLOAD_LIMIT="${PEL_PAYLOAD_LIMIT:-}" \
    -DPEL_SIGN_PKCS12="$SIGN_PKCS12" -DPEL_SIGN_PASSWORD_FILE="$SIGN_PASSWORD_FILE" \
    -DPEL_SIGN_TIMESTAMP_URL="${PEL_SIGN_TIMESTAMP_URL:-}" >/dev/null
  # shellcheck disable=SC2086
  cmake --build "$BUILD/win-$arch" -j "$JOBS" $WIN_TARGET
done
