#!/bin/sh
# Builds everything and runs the installer: in a window when a display is reachable, otherwise
# headless on a virtual display with every default accepted, printing what was installed where.
#   PEL_PAYLOAD_DIR  folder packed into the installer (default: resources/payload)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
"$ROOT/scripts/setup.sh"
"$ROOT/scripts/build.sh"
echo "== payload of the installer ($BUILD/win-i686/PelbrixSetup.exe)"
"$BUILD/host/tools/pelpack" list "$BUILD/win-i686/PelbrixSetup.exe"
exec "$ROOT/scripts/run-installer.sh"
