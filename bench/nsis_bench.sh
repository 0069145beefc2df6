#!/bin/bash
# Side-by-side benchmark against an NSIS installer (not a test: it prints figures).
#
# Sizes: our i686 and x86_64 installers built from an empty payload folder, and their overhead
# over the archive when built with the benchmark payload.
# Runs: the same generated payload (~200 MB in 5,000 files across 50 folders, bench/make_payload)
# goes into ours (scripts/build.sh with PEL_PAYLOAD_DIR) and, as ours installs it (pelpack
# extract of our archive, uninstall.exe included), into an NSIS installer (Debian's nsis,
# amd64-unicode stub, SetCompress off). Both run under Wine (x86_64: this machine cannot run
# 32-bit programs): NSIS silently (/S /D=...), ours through its pages with the end-to-end driver
# (tests/e2e/driver.cpp) clicking at once. Each installs four times: first into a new folder (ours
# with no recorded installation), then again into the same folder as an update of its own earlier
# installation (ours through its notice of the recorded one): of the same version, then over a
# folder in which every tenth payload file has other bytes and an older time (as a version in
# which a tenth of the files changed), then every payload file so. Then each uninstaller removes
# its installation: NSIS's silently (its uninstaller deleting each file by name, then each folder,
# run in place: _?=), ours through its question, as a user runs it (the original asks, hands over
# to its copy and ends; the copy removes). Installers alternate, RUNS
# times. The driver starts both and reports each installer process's own lifetime (creation to
# exit, GetProcessTimes; for ours uninstalling, the original's and its copy's together). Printed
# for each kind of run apart: the median lifetime of each installer, our extraction span alone
# and the time until our completion page shows, the ratios to NSIS, and the peak memory.
#
# Peak memory: the kernel's high-water mark of resident memory (VmHWM in /proc/PID/status) of the
# Linux process that runs the installer's exe, read every 20 ms until the process ends (the mark
# only grows, so a late read still holds the peak). It includes Wine's own DLLs (~10-20 MB). Our installer's
# anonymous memory (RssAnon, sampled every 20 ms) is also printed against the archive size: the
# two working copies of the archive make 2.0; the mapped resource itself is file-backed.
#
# Usage: bench/nsis_bench.sh [WORKDIR]   (default: build/nsis-bench; ~4 GB at the peak; removed
#        afterwards unless PEL_BENCH_KEEP=1). RUNS=5 FILES=5000 FOLDERS=50 MEAN_BYTES=40000.
#        PEL_BENCH_TIMEOUT=600: seconds an installation may take before the run counts as failed.
#        PEL_BENCH_BUILD=DIR: no payload is generated and nothing is built; the runs use the
#        installers, driver and pelpack that scripts/build.sh left in DIR, with the payload they
#        carry; the sizes without payload are not measured and no untimed round comes first
#        (scripts/test-bench.sh).
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
W=${1:-$ROOT/build/nsis-bench}
RUNS=${RUNS:-5}
FILES=${FILES:-5000}
FOLDERS=${FOLDERS:-50}
MEAN_BYTES=${MEAN_BYTES:-40000}
REUSE=${PEL_BENCH_BUILD:-}
TIMEOUT=${PEL_BENCH_TIMEOUT:-600}
. "$ROOT/scripts/wine-lib.sh"

die() { echo "nsis_bench: $*" >&2; exit 1; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

if ! command -v makensis >/dev/null 2>&1; then
  echo "== installing Debian's nsis"
  SUDO=
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  # A fresh machine's package lists may not know the package yet.
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y nsis >/dev/null 2>&1 ||
    { $SUDO apt-get update >/dev/null && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y nsis >/dev/null; } ||
    die "apt-get install nsis failed"
fi
STUB=/usr/share/nsis/Stubs/zlib-amd64-unicode
[ -f "$STUB" ] || die "this nsis has no amd64-unicode stub ($STUB); its x86 stubs cannot run on this machine"

rm -rf "$W"
mkdir -p "$W"
W=$(cd "$W" && pwd)  # makensis reads the paths of its script from the script's own folder
PREFIX=$W/prefix
MARKS=
cleanup() {
  [ -z "$MARKS" ] || kill "$MARKS" 2>/dev/null
  wine_stop "$PREFIX"
  xvfb_stop
  [ "${PEL_BENCH_KEEP:-0}" = 1 ] || rm -rf "$W"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -n "$REUSE" ]; then
  BUILD=$(cd "$REUSE" && pwd) || die "no build folder $REUSE"
  echo "== the installers in $BUILD and their payload"
else
  BUILD=$W/build
  echo "== the payload tree"
  cmake -S "$ROOT" -B "$W/host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPEL_TESTS=OFF -DPEL_BENCH=ON >/dev/null &&
    cmake --build "$W/host" -j 2 --target bench_make_payload >/dev/null || die "host build failed"
  "$W/host/bench/bench_make_payload" "$W/src" "$FILES" "$FOLDERS" "$MEAN_BYTES" || die "payload generation failed"
  mkdir -p "$W/empty"

  echo "== our installers: empty payload, then the benchmark payload"
  PEL_PAYLOAD_DIR=$W/empty BUILD_DIR=$W/build-empty PEL_INSTALLER_ONLY=1 "$ROOT/scripts/build.sh" >"$W/build-empty.log" 2>&1 ||
    die "build without payload failed (log: $W/build-empty.log)"
  PEL_PAYLOAD_DIR=$W/src BUILD_DIR=$BUILD "$ROOT/scripts/build.sh" >"$W/build.log" 2>&1 ||
    die "build with the payload failed (log: $W/build.log)"
  rm -rf "$W/src"
fi
OURS=$BUILD/win-x86_64/PelbrixSetup.exe
DRIVER=$BUILD/win-x86_64/tests/e2e/driver.exe
PACKED=$BUILD/win-x86_64/resources/payload.bin
for f in "$OURS" "$DRIVER" "$PACKED" "$BUILD/host/tools/pelpack"; do
  [ -f "$f" ] || die "missing $f"
done
ARCHIVE=$(wc -c <"$PACKED")
# What ours installs, file for file, goes into the NSIS installer too.
"$BUILD/host/tools/pelpack" extract "$PACKED" "$W/tree" || die "pelpack extract failed"
PAYLOAD_FILES=$(find "$W/tree" -type f | wc -l)
PAYLOAD_BYTES=$(find "$W/tree" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')

echo "== NSIS installer (amd64-unicode, stored)"
cat >"$W/bench.nsi" <<NSI
Unicode true
Target amd64-unicode
SetCompress off
Name "Bench"
OutFile "$W/nsis-setup.exe"
RequestExecutionLevel user
InstallDir "C:\\bench\\out\\nsis-default"
Section
  SetOutPath "\$INSTDIR"
  File /r "$W/tree/*"
  WriteUninstaller "\$INSTDIR\\nsis-uninstall.exe"
SectionEnd
Section "Uninstall"
$(cd "$W/tree" && find . -type f | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|')
$(cd "$W/tree" && find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|')
  Delete "\$INSTDIR\\nsis-uninstall.exe"
  RMDir "\$INSTDIR"
SectionEnd
NSI
makensis -V2 "$W/bench.nsi" >"$W/makensis.log" 2>&1 || die "makensis failed (log: $W/makensis.log)"
rm -rf "$W/tree"
NSIS=$W/nsis-setup.exe

echo "== Wine prefix and display"
xvfb_start "$W" || die "no display"
# The page that ours opens at the end, when the payload has it, opens in nothing at all.
make_prefix_extra() {  # LOG
  wine_run "$1" reg add 'HKLM\Software\Classes\.htm' /ve /t REG_SZ /d htmlfile /f
  wine_run "$1" reg add 'HKLM\Software\Classes\htmlfile\shell\open\command' /ve /t REG_SZ /d 'cmd.exe /c exit' /f
}
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

# The installers are started by the driver, through Wine's own process creation (their processes
# are not children of the driver's): found by the command line while the driver (DRIVER_PID) runs.
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

# Runs the driver on the script read from standard input and watches the installer it starts
# (found by PATTERN); the installer has to end with EXIT_CODE. Sets life (the installer's lifetime in ms, from the transcript), hwm, anon.
drive() {  # TAG PATTERN EXIT_CODE
  cat >"$BENCH/$1.drv"
  "$WINE" 'C:\bench\driver.exe' "C:\\bench\\$1.drv" "C:\\bench\\$1.txt" </dev/null >>"$W/wine.log" 2>&1 &
  local pid=$!
  watch_started "$pid" "$W/mem-$1" "$2"
  wait "$pid" && grep -qx "exit $3" "$BENCH/$1.txt" ||
    { cat "$BENCH/$1.txt" >&2; die "the driver or the installer failed in $1"; }
  life=$(sed -n 's/^lifetime \([0-9]*\) ms.*/\1/p' "$BENCH/$1.txt")
  [ -n "$life" ] || die "no lifetime in the transcript of $1"
  read -r hwm anon <"$W/mem-$1"
}

# One NSIS run into out/nsis-N: a new folder the first time, an update of it after; its
# uninstaller at the end, silently and in place.
run_nsis() {  # N first|same|tenth|all|uninstall
  local command="nsis-setup.exe /S /D=C:\\bench\\out\\nsis-$1" pattern='bench.nsis-setup\.exe'
  [ "$2" != uninstall ] || command="out\\nsis-$1\\nsis-uninstall.exe /S _?=C:\\bench\\out\\nsis-$1" \
    pattern='nsis-uninstall\.exe'
  drive "nsis-$1-$2" "$pattern" 0 <<DRV
timeout $TIMEOUT
start C:\\bench\\$command
finish
DRV
  echo "$life $hwm" >>"$W/nsis-$2.runs"
  echo "run $1 $2 nsis: $life ms, peak $hwm kB"
}

# Our uninstaller removes out/pel-N as a user runs it: "Да" to its question; the original hands
# over to its copy and ends, the copy removes and says so. Its lifetime is both processes'.
run_ours_uninstall() {  # N
  drive "pel-$1-uninstall" 'pel-[0-9]*.uninstall\.exe' 0 <<DRV
timeout $TIMEOUT
start C:\\bench\\out\\pel-$1\\uninstall.exe
message
click 6
finish
adopt uninstall.exe
message
click 1
finish
DRV
  life=$(sed -n 's/^lifetime \([0-9]*\) ms.*/\1/p' "$BENCH/pel-$1-uninstall.txt" | awk '{ s += $1 } END { print s }')
  echo "$life $hwm" >>"$W/pel-uninstall.runs"
  echo "run $1 uninstall ours: $life ms, peak $hwm kB"
}

# One run of ours into out/pel-N through its pages: the first time with no recorded installation,
# after that over the one the first time recorded (its notice comes first).
run_ours() {  # N first|same|tenth|all
  local notice="# no earlier installation" start end span
  if [ "$2" = first ]; then
    wine_run "$W/wine.log" reg delete 'HKCU\Software\Pelbrix' /f
  else
    notice="page \"Установка программы 'Пелбриксон'\" 105
click 1"
  fi
  : >"$W/marks"
  serve_marks "$W/marks" &
  MARKS=$!
  start=$(now_ms)
  # Ours ends with 1 after the completion page, as after every run that shows it.
  drive "pel-$1-$2" 'bench.PelbrixSetup\.exe' 1 <<DRV
timeout 60
start C:\\bench\\PelbrixSetup.exe
$notice
page "Пелбриксон" 106
set 106 C:\\bench\\out\\pel-$1
click 1
page "Пелбриксон" 104
click 104
timeout $TIMEOUT
shot mark
click 1
page "" 103
shot done
click 1
finish
DRV
  end=$(now_ms)
  kill "$MARKS" 2>/dev/null
  wait "$MARKS" 2>/dev/null
  MARKS=
  span=$(awk '$1 == "mark" { m = $2 } $1 == "done" { d = $2 } END { print d - m }' "$W/marks")
  # Until the completion page shows: the lifetime less what came after the page's mark.
  page=$(awk -v life="$life" -v end="$end" '$1 == "done" { print life - (end - $2) }' "$W/marks")
  # The lifetime is one Wine process start, as in the NSIS run; the driver's own start is not ours.
  echo "$life $hwm $span $anon $page" >>"$W/pel-$2.runs"
  echo "run $1 $2 ours: $life ms (with the driver's start $((end - start)) ms; extraction and closing" \
    "actions $span ms; the completion page after $page ms), peak $hwm kB, anonymous $anon kB"
}

# Gives every STEP-th payload file (file*.dat, by name) of FOLDER other bytes (its first byte
# flipped, same size) and a time of 2001, as a file that the next version changed.
change_files() {  # FOLDER STEP
  find "$1" -type f -name 'file*.dat' | sort | awk -v step="$2" '(NR - 1) % step == 0' |
    perl -ne 'chomp; open(my $f, "+<", $_) or die "$_: $!"; binmode $f; my $b;
      if (read($f, $b, 1)) { seek($f, 0, 0); print $f chr(ord($b) ^ 0xFF); } close $f;
      utime(978307200, 978307200, $_) or die "$_: $!"'
}

# Each installer first into a new folder, then again into the same folder: the same version, a
# tenth of the files changed, every file changed; then each uninstaller. Who goes first
# alternates from round to round.
round() {  # N
  local order="ours nsis" kind who
  [ $(($1 % 2)) = 1 ] || order="nsis ours"
  for kind in first same tenth all uninstall; do
    # Both installed the same files, after the updates as well: else the figures compare nothing.
    if [ "$kind" = uninstall ] && [ "$1" = 1 ]; then
      LC_ALL=C diff -r -q -x nsis-uninstall.exe "$BENCH/out/nsis-1" "$BENCH/out/pel-1" >"$W/diff" ||
        { cat "$W/diff" >&2; die "the installations differ"; }
    fi
    for who in nsis pel; do
      case $kind in
      tenth) change_files "$BENCH/out/$who-$1" 10 ;;
      all) change_files "$BENCH/out/$who-$1" 1 ;;
      esac
    done
    for who in $order; do
      sync
      if [ "$who$kind" = oursuninstall ]; then run_ours_uninstall "$1"; else "run_$who" "$1" "$kind"; fi
    done
  done
}

echo "== runs: $RUNS rounds, alternating; in each a first installation into a new folder, then three updates"
# One untimed round first, so that neither pays alone for warming caches (not on the built
# installers, whose run only has to go through).
[ -n "$REUSE" ] || round 0 >/dev/null
rm -f "$W"/*.runs
i=1
while [ "$i" -le "$RUNS" ]; do
  round "$i"
  i=$((i + 1))
done

size_of() { wc -c <"$1"; }
p686=$(size_of "$BUILD/win-i686/PelbrixSetup.exe")
p64=$(size_of "$BUILD/win-x86_64/PelbrixSetup.exe")
nsis_size=$(size_of "$NSIS")
echo
echo "== sizes"
if [ -z "$REUSE" ]; then
  echo "ours without payload: i686 $(size_of "$W/build-empty/win-i686/PelbrixSetup.exe") bytes," \
    "x86_64 $(size_of "$W/build-empty/win-x86_64/PelbrixSetup.exe") bytes" \
    "(NSIS's smallest x86 stub: $(size_of /usr/share/nsis/Stubs/zlib-x86-ansi) bytes)"
fi
echo "payload: $PAYLOAD_BYTES bytes in $PAYLOAD_FILES files; our archive: $ARCHIVE bytes"
echo "ours with payload: i686 $p686 bytes (overhead $((p686 - PAYLOAD_BYTES)) over the files," \
  "$((p686 - ARCHIVE)) over the archive), x86_64 $p64 bytes (overhead $((p64 - PAYLOAD_BYTES)), $((p64 - ARCHIVE)))"
echo "NSIS amd64 with payload: $nsis_size bytes (overhead $((nsis_size - PAYLOAD_BYTES)) over the files)"
echo
echo "== runs (median of $RUNS)"
median_of() { cut -d ' ' -f "$2" "$W/$1.runs" | median; }  # RUNS-FILE COLUMN
for kind in first same tenth all; do
  LC_ALL=C awk -v kind="$kind" -v a="$ARCHIVE" \
    -v n="$(median_of "nsis-$kind" 1)" -v nk="$(median_of "nsis-$kind" 2)" \
    -v p="$(median_of "pel-$kind" 1)" -v pk="$(median_of "pel-$kind" 2)" \
    -v x="$(median_of "pel-$kind" 3)" -v pa="$(median_of "pel-$kind" 4)" -v pg="$(median_of "pel-$kind" 5)" 'BEGIN {
    if (kind == "first") print "first installation (target: at most 0.70):"
    if (kind == "same") print "update, same version (target: at most 0.40):"
    if (kind == "tenth") print "update, a tenth of the files changed (target: at most 0.50):"
    if (kind == "all") print "update, every file changed (target: at most 1.25):"
    printf "  NSIS silent run:          %6d ms, peak memory %7.1f MB\n", n, nk / 1024
    printf "  ours, whole run (pages):  %6d ms, peak memory %7.1f MB\n", p, pk / 1024
    printf "  ours, extraction + links: %6d ms\n", x
    printf "  ours, until the completion page shows: %6d ms\n", pg
    printf "  ratio ours / NSIS: whole run %.2f, until the completion page %.2f, extraction alone %.2f\n",
           p / n, pg / n, x / n
    printf "  our peak memory / archive: %.2f resident, %.2f anonymous (two working copies: 2.00)\n",
           pk * 1024 / a, pa * 1024 / a
  }'
done
LC_ALL=C awk -v n="$(median_of nsis-uninstall 1)" -v p="$(median_of pel-uninstall 1)" 'BEGIN {
  print "uninstallation (target: at most 1.00):"
  printf "  NSIS silent run:          %6d ms\n", n
  printf "  ours, through its question and its copy: %6d ms\n", p
  printf "  ratio ours / NSIS: %.2f\n", p / n
}'
