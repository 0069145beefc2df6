#!/bin/bash
# End-to-end scenarios: the installer under Wine on a virtual display, operated by the driver
# program (tests/e2e/driver.cpp) and checked by tests/e2e/scenario.py from the scenario files in
# tests/e2e/scenarios/. One line per scenario, then a summary; exit 1 when any scenario fails.
#   BUILD_DIR        build folder (default: build); the scenarios work in $BUILD_DIR/e2e
#   PEL_PAYLOAD_DIR  the folder the installer's archive is packed from (default: resources/payload)
#   PEL_E2E_BUILD=0  use the existing builds instead of running scripts/build.sh
#   PEL_E2E_KEEP=1   keep every scenario's prefix (failed ones are always kept)
#   PEL_E2E_ONLY     space-separated scenario names to run (default: all)
#   PEL_E2E_ARCH     the build to test, i686 (under Wine 10 from scripts/wine10.sh) or x86_64 (the
#                    system's Wine); its line of tests/e2e/builds.conf. Unset: i686 with every
#                    scenario, then x86_64 with PEL_E2E_ONLY or else the scenarios below
#   PEL_E2E_SETUP    the installer to test (default: the chosen build's)
#   PEL_E2E_LOCALE   the locale of the scenarios (tests/e2e/scenario.py: LOCALES),
#                    e.g. 1252, 932, 65001 or a Linux locale such as de_DE.UTF-8; default 1251
#   PEL_E2E_PROFILE  the user's name (Wine names the profile after it), e.g. Иван; default: the
#                    one the base prefix has
#   PEL_E2E_CODEPAGES  on: after every i686 scenario (no PEL_E2E_ONLY, no PEL_E2E_LOCALE), the runs
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
1252/Иван happy uninstall-yes uninstall-second uninstall-held reinstall
1251/Zoë happy uninstall-yes uninstall-second uninstall-held reinstall
932 happy held-file running uninstall-yes uninstall-cyrillic unicode-folder
65001 happy held-file running uninstall-yes uninstall-cyrillic"
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
# Without a chosen build: the shipped i686 installer runs every scenario under Wine 10, then its
# x86_64 twin a few under the system's Wine 8.
if [ -z "${PEL_E2E_ARCH:-}" ]; then
  status=0
  PEL_E2E_ARCH=i686 "$0" || status=1
  PEL_E2E_BUILD=0 PEL_E2E_ARCH=x86_64 PEL_E2E_ONLY=${PEL_E2E_ONLY:-$PEL_E2E_X86_64} "$0" || status=1
  exit $status
fi
export PEL_E2E_ARCH
export PEL_E2E_PAYLOAD=${PEL_PAYLOAD_DIR:-$ROOT/resources/payload}
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

mkdir -p "$BUILD"
if [ "${PEL_E2E_BUILD:-1}" != 0 ]; then
  BUILD_DIR=$BUILD PEL_PAYLOAD_DIR=$PEL_E2E_PAYLOAD "$ROOT/scripts/build.sh" >"$BUILD/e2e-build.log" 2>&1 ||
    { tail -n 30 "$BUILD/e2e-build.log"; echo "e2e: the build failed (log: $BUILD/e2e-build.log)"; exit 1; }
fi

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
status=0
# shellcheck disable=SC2086  # the names are split on purpose
python3 "$ROOT/tests/e2e/scenario.py" ${PEL_E2E_ONLY:-} || status=1
if [ "$PEL_E2E_CODEPAGES" = on ] && [ "$PEL_E2E_ARCH" = i686 ] && [ -z "${PEL_E2E_ONLY:-}${PEL_E2E_LOCALE:-}" ]; then
  while read -r run names; do
    codepage=${run%%/*} profile=${run#"$codepage"}
    echo "== code page $codepage${profile:+, profile ${profile#/}}"
    # shellcheck disable=SC2086
    PEL_E2E_LOCALE=$codepage PEL_E2E_PROFILE=${profile#/} PEL_E2E_DIR=$PEL_E2E_DIR/cp$codepage${profile:+-${profile#/}} \
      python3 "$ROOT/tests/e2e/scenario.py" $names || status=1
  done <<<"$PEL_E2E_CODEPAGE_RUNS"
fi
exit $status
