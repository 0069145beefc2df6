#!/bin/sh
# Builds everything and runs the installer.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh"
echo "== payload of the installer"
"$BUILD/host/tools/pelpack" list "${PEL_PAYLOAD_ARCHIVE:-$BUILD/win-i686/resources/payload.bin}"
