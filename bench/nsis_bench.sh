#!/bin/bash
# Side-by-side benchmark against an NSIS installer (not a test: it prints figures).
#
# Sizes: our i686 and x86_64 installers built from an empty payload folder, and their overhead
# over the archive when built with the benchmark payload.
# Runs: the same generated payload (~200 MB in 5,000 files across 50 folders, bench/make_payload)
# goes into an NSIS installer (Debian's nsis, amd64-unicode stub, SetCompress off) and into ours
# (scripts/build.sh with PEL_PAYLOAD_DIR). Both run under Wine (x86_64: this machine cannot run
# 32-bit programs) into fresh folders, alternating, RUNS times each: NSIS silently
# (/S /D=...), ours through its pages with the end-to-end driver (tests/e2e/driver.cpp) clicking
# at once. Both are started by the driver, which reports each installer process's own lifetime
# (creation to exit, GetProcessTimes). Printed: the median lifetime of each, our extraction span
# alone, their ratio, and each installer's peak memory.
#
# Peak memory: the kernel's high-water mark of resident memory (VmHWM in /proc/PID/status) of the
# Linux process that runs the installer's exe, read every 20 ms until the process ends (the mark
# only grows, so a late read still holds the peak). It includes Wine's own DLLs (~10-20 MB). Our installer's
# anonymous memory (RssAnon, sampled every 20 ms) is also printed against the archive size: the
# two working copies of the archive make 2.0; the mapped resource itself is file-backed.
#
# Usage: bench/nsis_bench.sh [WORKDIR]   (default: build/nsis-bench; ~4 GB at the peak; removed
#        afterwards unless PEL_BENCH_KEEP=1). RUNS=5 FILES=5000 FOLDERS=50 MEAN_BYTES=40000.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
W=${1:-$ROOT/build/nsis-bench}
RUNS=${RUNS:-5}
FILES=${FILES:-5000}
FOLDERS=${FOLDERS:-50}
MEAN_BYTES=${MEAN_BYTES:-40000}
. "$ROOT/scripts/wine-lib.sh"

die() { echo "nsis_bench: $*" >&2; exit 1; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

if ! command -v makensis >/dev/null 2>&1; then
  echo "== installing Debian's nsis"
  DEBIAN_FRONTEND=noninteractive apt-get install -y nsis >/dev/null || die "apt-get install nsis failed"
fi
STUB=/usr/share/nsis/Stubs/zlib-amd64-unicode
[ -f "$STUB" ] || die "this nsis has no amd64-unicode stub ($STUB); its x86 stubs cannot run on this machine"

rm -rf "$W"
mkdir -p "$W"
PREFIX=$W/prefix
cleanup() {
  wine_stop "$PREFIX"
  xvfb_stop
  [ "${PEL_BENCH_KEEP:-0}" = 1 ] || rm -rf "$W"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "== host tools and the payload tree"
cmake -S "$ROOT" -B "$W/host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPEL_TESTS=OFF -DPEL_BENCH=ON >/dev/null &&
  cmake --build "$W/host" -j 2 --target pelpack bench_make_payload >/dev/null || die "host build failed"
"$W/host/bench/bench_make_payload" "$W/src" "$FILES" "$FOLDERS" "$MEAN_BYTES" || die "payload generation failed"
mkdir -p "$W/empty"

echo "== our installers: empty payload, then the benchmark payload"
PEL_PAYLOAD_DIR=$W/empty BUILD_DIR=$W/build-empty PEL_INSTALLER_ONLY=1 "$ROOT/scripts/build.sh" >"$W/build-empty.log" 2>&1 ||
  die "build without payload failed (log: $W/build-empty.log)"
PEL_PAYLOAD_DIR=$W/src BUILD_DIR=$W/build "$ROOT/scripts/build.sh" >"$W/build.log" 2>&1 ||
  die "build with the payload failed (log: $W/build.log)"
OURS=$W/build/win-x86_64/PelbrixSetup.exe
DRIVER=$W/build/win-x86_64/tests/e2e/driver.exe
ARCHIVE=$(wc -c <"$W/build/win-x86_64/resources/payload.bin")
PAYLOAD_BYTES=$(find "$W/src" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')

echo "== NSIS installer (amd64-unicode, stored)"
cat >"$W/bench.nsi" <<EOF
Unicode true
Target amd64-unicode
SetCompress off
Name "Bench"
OutFile "$W/nsis-setup.exe"
RequestExecutionLevel user
InstallDir "C:\\bench\\out\\nsis-default"
Section
  SetOutPath "\$INSTDIR"
  File /r "$W/src/*"
SectionEnd
EOF
makensis -V2 "$W/bench.nsi" >"$W/makensis.log" 2>&1 || die "makensis failed (log: $W/makensis.log)"
NSIS=$W/nsis-setup.exe

echo "== Wine prefix and display"
xvfb_start "$W" || die "no display"
make_prefix "$PREFIX" "$W/wine.log" || die "no prefix"
wine_env "$PREFIX"
BENCH=$PREFIX/drive_c/bench
mkdir -p "$BENCH/out"
cp "$OURS" "$DRIVER" "$NSIS" "$BENCH/"
# One server for every run, started before the first one, so that no run pays for its start.
"$WINESERVER" -p >/dev/null 2>&1 </dev/null
wine_run "$W/wine.log" cmd /c exit

# Reads a process's resident memory until it ends: OUT's one line is the peak in kB (VmHWM) and
# the largest anonymous resident memory seen (RssAnon), in kB.
watch_pid() {  # PID OUT
  local hwm=0 anon=0
  echo "0 0" >"$2"
  # An ended process stays a zombie (state Z, no memory figures) until its parent collects it.
  while [ -r "/proc/$1/status" ]; do
    set -- "$1" "$2" $(awk '/^State:/ { z = ($2 == "Z") } /^VmHWM:/ { h = $2 } /^RssAnon:/ { a = $2 }
                            END { print z + 0, h + 0, a + 0 }' "/proc/$1/status" 2>/dev/null)
    [ "${3:-1}" = 1 ] && break
    [ "${4:-0}" -gt "$hwm" ] && hwm=$4
    [ "${5:-0}" -gt "$anon" ] && anon=$5
    echo "$hwm $anon" >"$2"
    sleep 0.02
  done
}

# Our installer is started by the driver, through Wine's own process creation (its process is not
# a child of the driver's): found by its command line while the driver (DRIVER_PID) runs.
watch_started() {  # DRIVER_PID OUT PATTERN
  local found
  echo "0 0" >"$2"
  while kill -0 "$1" 2>/dev/null; do
    found=$(pgrep -n -f "$3")
    if [ -n "$found" ]; then
      watch_pid "$found" "$2"
      return
    fi
    sleep 0.02
  done
}

# Serves the driver's two sync points ("shot mark" just before the licence page's Next, "shot
# done" on the completion page): writes the time of each, and answers at once.
serve_marks() {  # OUT
  while :; do
    for request in "$BENCH"/shot-*.req; do
      [ -e "$request" ] || continue
      name=${request##*/shot-}
      name=${name%.req}
      echo "$name $(now_ms)" >>"$1"
      rm -f "$request"
      : >"$BENCH/shot-$name.done"
    done
    sleep 0.01
  done
}

run_nsis() {  # N
  # Started and timed by the driver exactly as ours is: the installer process's own lifetime.
  to_ansi >"$BENCH/nsis-$1.drv" <<EOF
timeout 600
start C:\\bench\\nsis-setup.exe /S /D=C:\\bench\\out\\nsis-$1
finish
EOF
  "$WINE" 'C:\bench\driver.exe' "C:\\bench\\nsis-$1.drv" "C:\\bench\\nsis-$1.txt" </dev/null >>"$W/wine.log" 2>&1 &
  pid=$!
  watch_started "$pid" "$W/mem-nsis-$1" 'bench.nsis-setup\.exe'
  wait "$pid" || { cat "$BENCH/nsis-$1.txt" >&2; die "the driver failed in NSIS run $1"; }
  life=$(sed -n 's/^lifetime \([0-9]*\) ms.*/\1/p' "$BENCH/nsis-$1.txt")
  [ -n "$life" ] || die "no lifetime in the transcript of NSIS run $1"
  echo "$life" >>"$W/nsis.ms"
  cut -d ' ' -f 1 "$W/mem-nsis-$1" >>"$W/nsis.kb"
  echo "run $1 nsis: $life ms, peak $(cut -d ' ' -f 1 "$W/mem-nsis-$1") kB"
}

run_ours() {  # N
  to_ansi >"$BENCH/pel-$1.drv" <<EOF
timeout 600
start C:\\bench\\PelbrixSetup.exe
page "Пелбриксон" 106
set 106 C:\\bench\\out\\pel-$1
click 1
page "Пелбриксон" 104
click 104
shot mark
click 1
page "" 103
shot done
click 1
finish
EOF
  # No recorded installation: every run goes through the same pages.
  wine_run "$W/wine.log" reg delete 'HKCU\Software\Pelbrix' /f
  : >"$W/marks-$1"
  serve_marks "$W/marks-$1" &
  SERVER=$!
  start=$(now_ms)
  "$WINE" 'C:\bench\driver.exe' "C:\\bench\\pel-$1.drv" "C:\\bench\\pel-$1.txt" </dev/null >>"$W/wine.log" 2>&1 &
  pid=$!
  watch_started "$pid" "$W/mem-pel-$1" 'bench.PelbrixSetup\.exe'
  wait "$pid"
  rc=$?
  end=$(now_ms)
  kill "$SERVER" 2>/dev/null
  wait "$SERVER" 2>/dev/null
  [ $rc = 0 ] || { iconv -f CP1251 -t UTF-8 "$BENCH/pel-$1.txt" >&2; die "the driver failed in run $1"; }
  mark=$(awk '$1 == "mark" { print $2 }' "$W/marks-$1")
  done_at=$(awk '$1 == "done" { print $2 }' "$W/marks-$1")
  # The installer's own lifetime (process creation to exit, as the driver's GetProcessTimes
  # reports it): one Wine process start, as in the NSIS run; the driver's own start is not ours.
  life=$(sed -n 's/^lifetime \([0-9]*\) ms.*/\1/p' "$BENCH/pel-$1.txt")
  [ -n "$life" ] || die "no lifetime in the transcript of run $1"
  echo "$life" >>"$W/pel.ms"
  echo $((end - start)) >>"$W/pel-driver.ms"
  echo $((done_at - mark)) >>"$W/pel-extract.ms"
  read -r hwm anon <"$W/mem-pel-$1"
  echo "$hwm" >>"$W/pel.kb"
  echo "$anon" >>"$W/pel-anon.kb"
  echo "run $1 ours: $life ms (with the driver's start $((end - start)) ms; extraction and closing actions $((done_at - mark)) ms), peak $hwm kB, anonymous $anon kB"
}

echo "== runs: $RUNS of each, alternating, each into a new folder"
: >"$W/nsis.ms"; : >"$W/pel.ms"; : >"$W/pel-extract.ms"; : >"$W/nsis.kb"; : >"$W/pel.kb"; : >"$W/pel-anon.kb"
# One untimed run of each first, so that neither pays alone for warming caches.
run_nsis warm >/dev/null
run_ours warm >/dev/null
: >"$W/nsis.ms"; : >"$W/pel.ms"; : >"$W/pel-extract.ms"; : >"$W/nsis.kb"; : >"$W/pel.kb"; : >"$W/pel-anon.kb"
i=1
while [ "$i" -le "$RUNS" ]; do
  sync
  if [ $((i % 2)) = 1 ]; then run_ours "$i"; sync; run_nsis "$i"; else run_nsis "$i"; sync; run_ours "$i"; fi
  i=$((i + 1))
done
diff -r -q "$BENCH/out/nsis-1" "$BENCH/out/pel-1" >/dev/null || echo "note: the two installations differ in content"

size_of() { wc -c <"$1"; }
e686=$(size_of "$W/build-empty/win-i686/PelbrixSetup.exe")
e64=$(size_of "$W/build-empty/win-x86_64/PelbrixSetup.exe")
p686=$(size_of "$W/build/win-i686/PelbrixSetup.exe")
p64=$(size_of "$W/build/win-x86_64/PelbrixSetup.exe")
nsis_size=$(size_of "$NSIS")
echo
echo "== sizes"
echo "ours without payload: i686 $e686 bytes, x86_64 $e64 bytes (NSIS's smallest x86 stub: $(size_of /usr/share/nsis/Stubs/zlib-x86-ansi) bytes)"
echo "payload: $PAYLOAD_BYTES bytes in $FILES files; our archive: $ARCHIVE bytes"
echo "ours with payload: i686 $p686 bytes (overhead $((p686 - PAYLOAD_BYTES)) over the files, $((p686 - ARCHIVE)) over the archive)," \
  "x86_64 $p64 bytes (overhead $((p64 - PAYLOAD_BYTES)), $((p64 - ARCHIVE)))"
echo "NSIS amd64 with payload: $nsis_size bytes (overhead $((nsis_size - PAYLOAD_BYTES)) over the files)"
echo
echo "== runs (median of $RUNS)"
LC_ALL=C awk -v n="$(median <"$W/nsis.ms")" -v p="$(median <"$W/pel.ms")" -v x="$(median <"$W/pel-extract.ms")" \
    -v nk="$(median <"$W/nsis.kb")" -v pk="$(median <"$W/pel.kb")" -v pa="$(median <"$W/pel-anon.kb")" \
    -v a="$ARCHIVE" 'BEGIN {
  printf "NSIS silent run:          %6d ms, peak memory %7.1f MB\n", n, nk / 1024
  printf "ours, whole run (pages):  %6d ms, peak memory %7.1f MB\n", p, pk / 1024
  printf "ours, extraction + links: %6d ms\n", x
  printf "ratio ours / NSIS: whole run %.2f, extraction alone %.2f (target: at most 1.00)\n", p / n, x / n
  printf "our peak memory / archive: %.2f resident, %.2f anonymous (two working copies: 2.00)\n", pk * 1024 / a, pa * 1024 / a
}'
