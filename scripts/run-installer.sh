#!/bin/bash
# Runs the shipped i686 installer under Wine 10 (scripts/wine10.sh: this machine's own Wine runs
# only 64-bit programs), in a fresh prefix under the build folder; where no 32-bit program starts
# at all, its x86_64 twin under the system's Wine.
# With a reachable display ($DISPLAY) the installer opens there for the user. Without one it runs
# on a virtual display, the driver accepts every default, the pages are saved as screenshots, and
# the installed folder and links are listed.
#   BUILD_DIR            build folder (default: build); the run works in $BUILD_DIR/run
#   PEL_RUN_HEADLESS=1   use the virtual display even when a display is available
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
RUN=$BUILD/run
SETUP=$BUILD/win-i686/PelbrixSetup.exe
DRIVER=$BUILD/win-x86_64/tests/e2e/driver.exe  # the driver is 64-bit under either Wine
. "$ROOT/scripts/wine-lib.sh"
. "$ROOT/scripts/wine10.sh" || exit 1
PROGRAM_FILES='C:\Program Files (x86)'
wine10_runs_32bit
case $? in
  0) echo "== the shipped i686 installer under Wine 10" ;;
  1) # No 32-bit program starts here: its x86_64 twin, built from the same sources, under the
     # system's Wine instead.
     echo "== this machine runs no 32-bit code: the x86_64 build under the system's Wine instead"
     . "$ROOT/scripts/wine-lib.sh"
     SETUP=$BUILD/win-x86_64/PelbrixSetup.exe PROGRAM_FILES='C:\Program Files' ;;
  *) exit 1 ;;
esac

if [ ! -f "$SETUP" ] || [ ! -f "$DRIVER" ]; then
  BUILD_DIR=$BUILD "$ROOT/scripts/build.sh" || exit 1
fi

interactive=no
if [ "${PEL_RUN_HEADLESS:-0}" != 1 ] && [ -n "${DISPLAY:-}" ] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  interactive=yes
fi

rm -rf "$RUN"
mkdir -p "$RUN"
PREFIX=$RUN/prefix
cleanup() {
  shooter_stop
  wine_stop "$PREFIX"
  xvfb_stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ $interactive = no ]; then
  xvfb_start "$RUN" || exit 1
fi
echo "== preparing a Wine prefix in $PREFIX"
make_prefix "$PREFIX" "$RUN/wine.log" || exit 1
wine_env "$PREFIX"
mkdir -p "$PREFIX/drive_c/setup"
cp "$SETUP" "$PREFIX/drive_c/setup/"

if [ $interactive = yes ]; then
  # A real display has a window manager: let it manage the windows.
  wine_run "$RUN/wine.log" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d Y /f
  echo "== running the installer on $DISPLAY (close it to continue)"
  "$WINE" 'C:\setup\PelbrixSetup.exe' </dev/null >>"$RUN/wine.log" 2>&1
  echo "installer exit code: $?"
else
  echo "== no display: running the installer on the virtual display $XVFB_DISPLAY, accepting the defaults"
  cp "$DRIVER" "$PREFIX/drive_c/setup/"
  cat >"$PREFIX/drive_c/setup/defaults.txt" <<'EOF'
timeout 60
start C:\setup\PelbrixSetup.exe
page "Пелбриксон" 106
shot 1-destination
click 1
page "Пелбриксон" 104
shot 2-licence
click 104
shot 3-licence-accepted
click 1
page "" 103
shot 4-completion
click 1
finish
EOF
  shooter_start "$PREFIX/drive_c/setup" "$RUN/screenshots"
  timeout 180 "$WINE" 'C:\setup\driver.exe' 'C:\setup\defaults.txt' 'C:\setup\transcript.txt' \
    </dev/null >>"$RUN/wine.log" 2>&1
  rc=$?
  shooter_stop
  cp "$PREFIX/drive_c/setup/transcript.txt" "$RUN/transcript.txt" 2>/dev/null
  echo "-- what the installer showed:"
  grep -E '^(page|message|exit|error)|^  control [0-9]+ (Edit|Static)' "$RUN/transcript.txt" |
    grep -Ev '^  control .*"(|Frame1|#1)"$'
  echo "-- screenshots: $RUN/screenshots"
  ls "$RUN/screenshots"
  [ $rc = 0 ] || { echo "the driver failed (transcript: $RUN/transcript.txt)"; exit 1; }
fi

# The folder the installer recorded (the user may have chosen another one), as a Linux path.
rm -f "$RUN/setup.reg.utf16"
wine_run "$RUN/wine.log" reg export 'HKCU\Software\Pelbrix\Setup' "$RUN/setup.reg.utf16" /y
if [ -f "$RUN/setup.reg.utf16" ]; then
  iconv -f UTF-16 -t UTF-8 "$RUN/setup.reg.utf16" | tr -d '\r' >"$RUN/setup.reg"
else
  : >"$RUN/setup.reg"
fi
wine_stop "$PREFIX"
FOLDER=$(sed -n 's/^"Path"="\(.*\)"$/\1/p' "$RUN/setup.reg" | sed 's/\\\\/\\/g')
FOLDER=${FOLDER:-$PROGRAM_FILES\\Pelbrix}
case $FOLDER in
  [Cc]:\\*) DEST="$PREFIX/drive_c/$(printf '%s' "${FOLDER#??\\}" | tr '\\' /)" ;;
  *) DEST= ;;
esac
USER_DIR=$(prefix_user_dir "$PREFIX")
echo "== installed into $FOLDER (${DEST:-not on drive C:})"
if [ -n "$DEST" ] && [ -d "$DEST" ]; then
  (cd "$DEST" && find . -mindepth 1 -printf '%y %10s  %TY-%Tm-%Td %TH:%TM  %P\n' | sort -k5)
else
  echo "(nothing there)"
fi
echo "== Start menu group and desktop link"
find "$USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Пелбриксон" "$USER_DIR/Desktop" \
  -name '*.lnk' -printf '%p\n' 2>/dev/null | sed "s|^$PREFIX/||" | sort
echo "== installation record (HKCU\\Software\\Pelbrix\\Setup)"
grep -E '^"(Path|Version)"' "$RUN/setup.reg" || echo "(none)"
