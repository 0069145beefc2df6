#!/bin/bash
# The largest payload the shipped i686 installer installs under Wine 10: for payload folders of
# FROM, FROM + STEP, ... up to MAX MB (files of 64 MB, sparse on this side), builds the installer
# without the build's limit (PEL_PAYLOAD_LIMIT=0) and runs it with every default accepted on a
# virtual display, in a fresh prefix; prints, per size, whether it installed and what it said.
# Needs the builds of scripts/build.sh and about 4 x MAX MB of disk.
# Usage: [FROM=512] [STEP=128] [MAX=1536] bench/payload_limit.sh WORKDIR
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
W=$1
FROM=${FROM:-512} STEP=${STEP:-128} MAX=${MAX:-1536}
. "$ROOT/scripts/wine-lib.sh"
. "$ROOT/scripts/wine10.sh" || exit 1
wine10_runs_32bit || { echo "payload_limit: no 32-bit program starts on this machine (scripts/wine10.sh)" >&2; exit 1; }
rm -rf "$W"
mkdir -p "$W/payload"
trap 'xvfb_stop; rm -rf "$W"' EXIT
trap 'exit 130' INT TERM
cp -r "$ROOT/resources/payload/." "$W/payload/"
xvfb_start "$W" >/dev/null || exit 1
make_prefix "$W/base" "$W/wine.log" || exit 1

cat >"$W/defaults.txt" <<'EOF'
timeout 120
start C:\setup\PelbrixSetup.exe
page "Пелбриксон" 106
click 1
page "Пелбриксон" 104
click 104
click 1
page "" 103
click 1
finish
EOF
printf '%-8s %-10s %s\n' "MB" "installed" "what it showed last"
for ((mb = FROM; mb <= MAX; mb += STEP)); do
  # The folder grows by sparse files of 64 MB; the packer reads them as zeros.
  for ((n = 0; n * 64 < mb; n++)); do truncate -s 64M "$W/payload/fill$n.bin"; done
  cmake -S "$ROOT" -B "$W/build" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-i686.cmake" -DPELPACK="$BUILD/host/tools/pelpack" \
    -DPEL_PAYLOAD_DIR="$W/payload" -DPEL_PAYLOAD_LIMIT=0 >>"$W/build.log" 2>&1 &&
    cmake --build "$W/build" --target PelbrixSetup >>"$W/build.log" 2>&1 ||
    { echo "the build failed (log: $W/build.log)"; exit 1; }
  prefix=$W/prefix
  rm -rf "$prefix"
  cp -a "$W/base" "$prefix"
  mkdir -p "$prefix/drive_c/setup"
  cp "$W/build/PelbrixSetup.exe" "$BUILD/win-x86_64/tests/e2e/driver.exe" "$W/defaults.txt" "$prefix/drive_c/setup/"
  wine_env "$prefix"
  "$WINE" 'C:\setup\driver.exe' 'C:\setup\defaults.txt' 'C:\setup\transcript.txt' </dev/null >>"$W/wine.log" 2>&1
  installed=no
  transcript=$prefix/drive_c/setup/transcript.txt
  grep -q '^exit 1' "$transcript" 2>/dev/null && ! grep -q -E '^(message|error)' "$transcript" &&
    [ -f "$prefix/drive_c/Program Files (x86)/Pelbrix/fill0.bin" ] && installed=yes
  last=$(grep -E '^(message|error|exit)' "$prefix/drive_c/setup/transcript.txt" 2>/dev/null | tail -n 2 | tr '\n' ' ')
  printf '%-8s %-10s %s\n' "$mb" "$installed" "$last"
  wine_stop "$prefix"
  rm -rf "$prefix"
done
