#!/bin/bash
# End-to-end scenarios: the installer under Wine on a virtual display, operated by the driver
# program (tests/e2e/driver.cpp) and checked by tests/e2e/scenario.py from the scenario files in
# tests/e2e/scenarios/. Several scenarios at a time, each in its own prefix and on its own virtual
# display; one line per scenario as it ends, then a summary; exit 1 when any scenario fails.
#   BUILD_DIR        build folder (default: build); the scenarios work in $BUILD_DIR/e2e
#   PEL_PAYLOAD_DIR  the folder the installer's archive is packed from (default: resources/payload)
#   PEL_E2E_BUILD=0  use the existing builds instead of running scripts/build.sh
#   PEL_E2E_KEEP=1   keep every scenario's prefix (failed ones are always kept)
#   PEL_E2E_ONLY     space-separated scenario names to run (default: all)
#   PEL_E2E_JOBS     how many scenarios run at a time (default: twice the processors)
#   PEL_E2E_ARCH     the build to test, i686 (under Wine 10 from scripts/wine10.sh) or x86_64 (the
#                    system's Wine); its line of tests/e2e/builds.conf. Unset: i686 with every
#                    scenario and beside it x86_64 with PEL_E2E_ONLY or else the scenarios below
#   PEL_E2E_SETUP    the installer to test (default: the chosen build's)
#   PEL_E2E_LOCALE   the locale of the scenarios (tests/e2e/scenario.py: LOCALES),
#                    e.g. 1252, 932, 65001 or a Linux locale such as de_DE.UTF-8; default 1251
#   PEL_E2E_PROFILE  the user's name (Wine names the profile after it), e.g. Иван; default: the
#                    one the base prefix has
#   PEL_E2E_CODEPAGES  on: with every i686 scenario (no PEL_E2E_ONLY, no PEL_E2E_LOCALE), the runs
#                    of PEL_E2E_CODEPAGE_RUNS below too, each in $BUILD_DIR/e2e/i686/cpN (default); off: not
set -u
PEL_E2E_X86_64="happy order held-file full-drive uninstall-entry"
# The scenarios that run again under other ANSI code pages, one line per code page (and, after a
# "/", the user's name). The folder field is read in the code page: 1252 cannot spell the Cyrillic
# folder of uninstall-cyrillic, and 65001 spells every folder, so unicode-folder has no letter
# there that becomes '?'. A profile whose name the code page cannot spell puts the temporary
# folder, the links and the uninstaller's copy (reinstall: in Downloads) where only UTF-16 reaches.
PEL_E2E_CODEPAGES=${PEL_E2E_CODEPAGES:-on}
PEL_E2E_CODEPAGE_RUNS="1252 happy held-file running uninstall-yes unicode-folder
1252/Иван happy uninstall-yes uninstall-second reinstall
1251/Zoë happy uninstall-yes uninstall-second reinstall
932 happy held-file running uninstall-yes uninstall-cyrillic unicode-folder
65001 happy held-file running uninstall-yes uninstall-cyrillic"
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
export PEL_E2E_PAYLOAD=${PEL_PAYLOAD_DIR:-$ROOT/resources/payload}
mkdir -p "$BUILD"
if [ "${PEL_E2E_BUILD:-1}" != 0 ]; then
  BUILD_DIR=$BUILD PEL_PAYLOAD_DIR=$PEL_E2E_PAYLOAD "$ROOT/scripts/build.sh" >"$BUILD/e2e-build.log" 2>&1 ||
    { tail -n 30 "$BUILD/e2e-build.log"; echo "e2e: the build failed (log: $BUILD/e2e-build.log)"; exit 1; }
fi
export PEL_E2E_BUILD=0
# Where Wine cannot start a 32-bit program (scripts/wine10.sh: wine10_runs_32bit), what the i686
# build would run, every scenario and the code page runs, runs on its x86_64 twin, and the run says
# so; scripts/test-pe.sh still checks the i686 build's own properties.
FULL=i686
if [ "${PEL_E2E_ARCH:-i686}" = i686 ]; then
  . "$ROOT/scripts/wine10.sh" || exit 1
  wine10_runs_32bit
  case $? in
    0) ;;
    1) echo "== this machine runs no 32-bit code: the i686 build's scenarios run on the x86_64 build"
       FULL=x86_64 PEL_E2E_ARCH=x86_64 ;;
    *) exit 1 ;;
  esac
fi
# Without a chosen build: the shipped i686 installer runs every scenario under Wine 10 and, at the
# same time, its x86_64 twin a few under the system's Wine 8 (their lines come after the i686 ones).
if [ -z "${PEL_E2E_ARCH:-}" ]; then
  export PEL_E2E_JOBS=${PEL_E2E_JOBS:-$(nproc)}  # each of the two: together twice the processors
  PEL_E2E_ARCH=x86_64 PEL_E2E_ONLY=${PEL_E2E_ONLY:-$PEL_E2E_X86_64} "$0" >"$BUILD/e2e-x86_64.log" 2>&1 &
  status=0
  PEL_E2E_ARCH=i686 "$0" || status=1
  wait $! || status=1
  echo "== x86_64 build"
  cat "$BUILD/e2e-x86_64.log"
  exit $status
fi
export PEL_E2E_ARCH
export PEL_E2E_DIR=$BUILD/e2e/$PEL_E2E_ARCH
export PEL_E2E_BASE=$PEL_E2E_DIR/base
export PEL_E2E_SETUP=${PEL_E2E_SETUP:-$BUILD/win-$PEL_E2E_ARCH/PelbrixSetup.exe}
export PEL_E2E_PELPACK=$BUILD/host/tools/pelpack
# The helper programs are 64-bit under either Wine.
for tool in driver fake_app recorder; do
  export "PEL_E2E_${tool^^}=$BUILD/win-x86_64/tests/e2e/$tool.exe"
done
. "$ROOT/scripts/wine-lib.sh"
[ "$PEL_E2E_ARCH" != i686 ] || . "$ROOT/scripts/wine10.sh"
export WINE WINESERVER

rm -rf "$PEL_E2E_DIR"
mkdir -p "$PEL_E2E_DIR/screenshots"
trap xvfb_stop EXIT
trap 'exit 130' INT TERM
xvfb_start "$PEL_E2E_DIR" || exit 1
# Web pages open in the recorder (tests/e2e/recorder.cpp), never in a browser: .htm is registered
# machine-wide (Wine ignores the per-user classes) with the recorder as its "open" command, which
# is handed any parameters beside the page.
make_prefix_extra() {  # LOG
  wine_run "$1" reg add 'HKLM\Software\Classes\.htm' /ve /t REG_SZ /d htmlfile /f
  wine_run "$1" reg add 'HKLM\Software\Classes\htmlfile\shell\open\command' /ve /t REG_SZ \
    /d '"C:\e2e\recorder.exe" "%1" %*' /f
}
make_prefix "$PEL_E2E_BASE" "$PEL_E2E_DIR/wineboot.log" || exit 1
# The reruns join the same scenarios at a time (their lines say their code page and profile).
export PEL_E2E_RUNS=
if [ "$PEL_E2E_CODEPAGES" = on ] && [ "$PEL_E2E_ARCH" = $FULL ] && [ -z "${PEL_E2E_ONLY:-}${PEL_E2E_LOCALE:-}" ]; then
  PEL_E2E_RUNS=$PEL_E2E_CODEPAGE_RUNS
fi
# shellcheck disable=SC2086  # the names are split on purpose
python3 "$ROOT/tests/e2e/scenario.py" ${PEL_E2E_ONLY:-}
