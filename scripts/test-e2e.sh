#!/bin/bash
# End-to-end scenarios: the x86_64 installer under Wine on a virtual display, operated by the
# driver program (tests/e2e/driver.cpp) from the scripts in tests/e2e/scenarios/. One line per
# scenario, then a summary; exit 1 when any scenario fails.
#   BUILD_DIR        build folder (default: build); the scenarios work in $BUILD_DIR/e2e
#   PEL_PAYLOAD_DIR  the folder the installer's archive is packed from (default: resources/payload)
#   PEL_E2E_BUILD=0  use the existing builds instead of running scripts/build.sh
#   PEL_E2E_KEEP=1   keep every scenario's prefix (failed ones are always kept)
#   PEL_E2E_ONLY     space-separated scenario names to run (default: all)
#   PEL_E2E_SETUP    the installer to test (default: the x86_64 build)
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
PAYLOAD=${PEL_PAYLOAD_DIR:-$ROOT/resources/payload}
E2E=$BUILD/e2e
WIN=$BUILD/win-x86_64
SETUP=${PEL_E2E_SETUP:-$WIN/PelbrixSetup.exe}
DRIVER=$WIN/tests/e2e/driver.exe
FAKE_APP=$WIN/tests/e2e/fake_app.exe
PELPACK=$BUILD/host/tools/pelpack
SCENARIOS=$ROOT/tests/e2e/scenarios
LICENCE=$ROOT/resources/licence.txt
. "$ROOT/tests/e2e/wine-lib.sh"

mkdir -p "$BUILD"
if [ "${PEL_E2E_BUILD:-1}" != 0 ]; then
  BUILD_DIR=$BUILD PEL_PAYLOAD_DIR=$PAYLOAD "$ROOT/scripts/build.sh" >"$BUILD/e2e-build.log" 2>&1 ||
    { tail -n 30 "$BUILD/e2e-build.log"; echo "e2e: the build failed (log: $BUILD/e2e-build.log)"; exit 1; }
fi
for f in "$SETUP" "$DRIVER" "$FAKE_APP" "$PELPACK"; do
  [ -f "$f" ] || { echo "e2e: missing $f"; exit 1; }
done

rm -rf "$E2E"
mkdir -p "$E2E/screenshots"
CURRENT_PREFIX=
cleanup() {
  shooter_stop
  [ -n "$CURRENT_PREFIX" ] && wine_stop "$CURRENT_PREFIX"
  xvfb_stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$PELPACK" list "$SETUP" >"$E2E/payload-list.tsv" 2>"$E2E/payload-list.err" ||
  { echo "e2e: pelpack cannot list $SETUP"; exit 1; }
xvfb_start "$E2E" || exit 1
STARTED=$(date +%s)
make_prefix "$E2E/base" "$E2E/wineboot.log" || exit 1
USER_DIR=$(prefix_user_dir "$E2E/base")
USER_DIR=${USER_DIR#"$E2E/base"}   # the same place in every copy

# ---- checks on the transcript and on the prefix -------------------------------------------------
PROBLEMS=()
problem() { PROBLEMS+=("$*"); }
has() {  # LINE: the transcript holds exactly this line
  grep -Fxq -- "$1" "$T" || problem "transcript lacks: $1"
}
lacks() {  # PREFIX: no transcript line begins with it
  line=$(PREFIX=$1 awk 'index($0, ENVIRON["PREFIX"]) == 1 { print; exit }' "$T")
  [ -z "$line" ] || problem "transcript has: $line"
}
in_order() {  # LINE... : these lines appear in this order
  awk -v n=$# 'BEGIN { for (i = 1; i <= n; i++) want[i] = ARGV[i + 1]; ARGC = 2; k = 1 }
               k <= n && $0 == want[k] { k++ } END { exit k <= n ? 1 : 0 }' "$T" "$@" ||
    problem "transcript does not show in order: $*"
}
first_page() {  # LINE: the first page seen
  [ "$(grep -m1 '^page ' "$T")" = "$1" ] || problem "first page is not $1: $(grep -m1 '^page ' "$T")"
}
exit_code() { has "exit $1"; }
absent() { [ ! -e "$1" ] || problem "exists: ${1#"$P"/}"; }
present() { [ -e "$1" ] || problem "missing: ${1#"$P"/}"; }
no_install() {
  absent "$P/drive_c/Program Files/Pelbrix"
  absent "$P$USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Пелбриксон"
}
# Exports a registry key of the running prefix to UTF-8 text (empty when it does not exist).
reg_text() {  # KEY OUT
  rm -f "$2.utf16"
  wine_run "$D/wine.log" reg export "$1" "$2.utf16" /y || true
  if [ -f "$2.utf16" ]; then iconv -f UTF-16 -t UTF-8 "$2.utf16" | tr -d '\r' >"$2"; else : >"$2"; fi
}
check_payload() {  # FOLDER [--kept NAME]...
  folder=$1
  shift
  python3 "$ROOT/tests/e2e/check_install.py" "$E2E/payload-list.tsv" "$folder" "$PAYLOAD" "$@" \
    >"$D/payload-check.txt" 2>&1 || problem "installed files: $(head -n 3 "$D/payload-check.txt" | tr '\n' ';')"
}
# The licence list shows the licence resource line by line, empty lines included.
check_licence_list() {
  python3 - "$LICENCE" "$T" >"$D/licence-check.txt" 2>&1 <<'PY' || problem "licence list: $(head -n 2 "$D/licence-check.txt" | tr '\n' ';')"
import re, sys
text = open(sys.argv[1], "rb").read()
lines = text.split(b"\r\n")
if text.endswith(b"\r\n"):
    lines.pop()
want = [line.decode("cp1251") for line in lines]
got = [m.group(1) for m in re.finditer(r'^  item \d+ "(.*)"$', open(sys.argv[2], encoding="utf-8").read(), re.M)]
if got != want:
    bad = next((i for i in range(min(len(got), len(want))) if got[i] != want[i]), min(len(got), len(want)))
    print(f"{len(got)} entries, the text has {len(want)} lines; first difference at entry {bad}")
    sys.exit(1)
PY
}
check_links() {  # DESKTOP(yes|no)
  group="$P$USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Пелбриксон"
  while IFS='|' read -r title target; do
    check_link "$group/$title.lnk" "$title" "$target"
  done <<'LINKS'
Программа|Pelbrix.exe
Инструкция|Help.htm
Новости|News.htm
Лицензионное соглашение|Licence.txt
Особенности|features.htm
Удалить Пелбриксон|uninstall.exe
LINKS
  if [ "$1" = yes ]; then
    check_link "$P$USER_DIR/Desktop/Пелбриксон.lnk" "Пелбриксон" Pelbrix.exe
  else
    absent "$P$USER_DIR/Desktop/Пелбриксон.lnk"
  fi
}
check_link() {  # FILE TITLE TARGET: the link points into the installation folder and starts there
  [ -f "$1" ] || { problem "missing: ${1#"$P"/}"; return; }
  lnkinfo -c windows-1251 "$1" >"$D/lnkinfo.txt" 2>&1 </dev/null
  folder='C:\Program Files\Pelbrix'
  for want in "Local path:$folder\\$3" "Description:$2" "Working directory:$folder"; do
    sed 's/^\t*\([^:]*[^ \t:]\)[ \t]*: /\1:/' "$D/lnkinfo.txt" | grep -Fxq -- "$want" ||
      problem "${1##*/}: lacks $want"
  done
}
check_record() {  # FOLDER (as the registry file writes it, backslashes doubled)
  reg_text 'HKCU\Software\Pelbrix\Setup' "$D/setup.reg"
  grep -Fxq "\"Path\"=\"$1\"" "$D/setup.reg" || problem "registry Path is not $1: $(grep Path "$D/setup.reg")"
  grep -Fxq '"Version"="1.8.3"' "$D/setup.reg" || problem "registry Version is not 1.8.3"
}
no_record() {
  reg_text 'HKCU\Software\Pelbrix\Setup' "$D/setup.reg"
  ! grep -q '^"Version"' "$D/setup.reg" || problem "a Version was recorded"
}
NOT_INSTALLED='message "Пелбриксон" "Программа не установлена."'
DESTINATION='page "Пелбриксон"'
PREVIOUS="page \"Установка программы 'Пелбриксон'\""

# ---- scenario set-up and checks -----------------------------------------------------------------
# Each scenario NAME has tests/e2e/scenarios/NAME.drv and may define prepare_NAME (before the run,
# with the prefix's server up) and check_NAME (after the run, before the server stops).

check_happy() {
  first_page "$DESTINATION"
  lacks "$PREVIOUS"
  has 'window VORTA::Installer "Установка" visible maximized'
  has '  control 106 Edit enabled "C:\Program Files\Pelbrix"'
  has '  control 108 Button enabled checked "Создать ярлык на рабочем столе"'
  has '  control 104 Button enabled unchecked "Я принимаю условия лицензионного соглашения"'
  in_order 'control 1 Button disabled "Далее >>>"' 'click 104' 'control 1 Button enabled "Далее >>>"' \
    'click 104' 'control 1 Button disabled "Далее >>>"' 'click 104' 'control 1 Button enabled "Далее >>>"' 'click 1'
  count=$(sed -n 's/^list 102 //p' "$T")
  [ -n "$count" ] && [ "$count" -ge 40 ] && [ "$count" -le 60 ] || problem "licence list has ${count:-no} entries"
  check_licence_list
  has '  control 103 Static enabled "Программа установлена успешно."'
  lacks 'message '
  exit_code 1
  check_payload "$P/drive_c/Program Files/Pelbrix"
  check_links yes
  check_record 'C:\\Program Files\\Pelbrix'
}

check_cancelled() {  # the common outcome of every cancel
  has "$NOT_INSTALLED"
  exit_code 1
  no_install
  no_record
}
check_cancel_destination() {
  check_cancelled
  [ "$(grep -c '^page ' "$T")" = 1 ] || problem "more than one page was shown"
  has 'window VORTA::Installer "Установка" visible maximized'
}
check_esc_destination() { check_cancelled; [ "$(grep -c '^page ' "$T")" = 1 ] || problem "more than one page"; }
check_cancel_licence() { check_cancelled; }
check_esc_licence() { check_cancelled; }
check_close_licence() { check_cancelled; }

OLD_FOLDER='C:\Old\Pelbrix'
prepare_previous() {
  mkdir -p "$P/drive_c/Old/Pelbrix"
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Setup' /v Path /t REG_SZ /d "$OLD_FOLDER" /f
}
check_previous() {
  first_page "$PREVIOUS"
  has "  control 105 Edit disabled \"$OLD_FOLDER\""
  [ "$(grep -c '^page ' "$T")" = 1 ] || problem "a page followed the notice"
  has "$NOT_INSTALLED"
  exit_code 1
  no_install
  reg_text 'HKCU\Software\Pelbrix\Setup' "$D/setup.reg"
  grep -Fxq '"Path"="C:\\Old\\Pelbrix"' "$D/setup.reg" || problem "the earlier record did not survive"
}
prepare_previous_cancel() { prepare_previous; }
prepare_previous_close() { prepare_previous; }
prepare_previous_esc() { prepare_previous; }
check_previous_cancel() { check_previous; }
check_previous_close() { check_previous; }
check_previous_esc() { check_previous; }

prepare_previous_missing() {
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Setup' /v Path /t REG_SZ /d 'C:\Gone\Pelbrix' /f
}
check_previous_missing() {
  first_page "$DESTINATION"
  lacks "$PREVIOUS"
  check_cancelled_keep_record
}
check_cancelled_keep_record() { has "$NOT_INSTALLED"; exit_code 1; no_install; }

# An earlier installation with the user's data file (own bytes and times) and an old program file.
DATA_BYTES='my own ledger, not the archive copy'
prepare_update() {
  dest="$P/drive_c/Program Files/Pelbrix"
  mkdir -p "$dest"
  printf '%s' "$DATA_BYTES" >"$dest/Tolva.dat"
  touch -m -d '2001-02-03 04:05:06.7000000 UTC' "$dest/Tolva.dat"
  stat -c '%Y %y' "$dest/Tolva.dat" >"$D/tolva-before.txt"
  printf 'old program' >"$dest/Pelbrix.exe"
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Setup' /v Path /t REG_SZ /d 'C:\Program Files\Pelbrix' /f
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Setup' /v Other /t REG_SZ /d kept /f
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Main\TFormMainToolBar' /v Bands /t REG_SZ /d 1 /f
}
check_update() {
  first_page "$PREVIOUS"
  has '  control 105 Edit disabled "C:\Program Files\Pelbrix"'
  has '  control 103 Static enabled "Программа установлена успешно."'
  exit_code 1
  dest="$P/drive_c/Program Files/Pelbrix"
  check_payload "$dest" --kept Tolva.dat
  [ "$(cat "$dest/Tolva.dat")" = "$DATA_BYTES" ] || problem "Tolva.dat was overwritten"
  [ "$(stat -c '%Y %y' "$dest/Tolva.dat")" = "$(cat "$D/tolva-before.txt")" ] || problem "Tolva.dat lost its time"
  check_record 'C:\\Program Files\\Pelbrix'
  grep -Fxq '"Other"="kept"' "$D/setup.reg" || problem "another value of the Setup key was lost"
  reg_text 'HKCU\Software\Pelbrix\Main\TFormMainToolBar' "$D/toolbar.reg"
  ! grep -q 'Bands' "$D/toolbar.reg" || problem "the toolbar key was not deleted"
}

check_refused() {
  has "window TFormMain \"$1\""
  has "message \"Ошибка\" \"Программа 'Пелбриксон' уже выполняется на этом компьютере.\""
  has 'no-window VORTA::Installer'
  lacks 'page '
  exit_code 0
  no_install
}
check_running_exact() { check_refused 'Пелбриксон'; }
check_running_longer() { check_refused 'Пелбриксон 1.8'; }
check_running_other_class() { check_running_other; has 'window TFormOther "Пелбриксон"'; }
check_running_other() {
  lacks 'message "Ошибка"'
  first_page "$DESTINATION"
  check_cancelled
}

check_missing_parent() {
  in_order 'set 106 "C:\nope\deeper\Pelbrix"' \
    'message "Пелбриксон" "(0001) Ошибка при создании папки C:\nope\deeper\Pelbrix"' 'click 1'
  # The extraction's quit request is pending when the final message opens; it must still show.
  in_order 'message "Пелбриксон" "(0001) Ошибка при создании папки C:\nope\deeper\Pelbrix"' "$NOT_INSTALLED"
  exit_code 1
  absent "$P/drive_c/nope"
  no_install
  no_record
}

check_no_desktop() {
  has 'control 108 Button enabled unchecked "Создать ярлык на рабочем столе"'
  has 'close'
  exit_code 1
  check_payload "$P/drive_c/Program Files/Pelbrix"
  check_links no
  check_record 'C:\\Program Files\\Pelbrix'
}

check_browser() {
  has 'page "Выбор папки"'
  grep -Eq '^  control 111 ComboBox enabled count=[1-9][0-9]* "\[-C-\]"$' "$T" || problem "drive list caption is not [-C-]"
  has '  item 0 "[..]"'
  has '  item 0 "[-c-]"'
  # The listing spells the folder as the system reports it, in lower case under Wine.
  grep -iFxq '  control 106 Edit enabled "C:\Program Files\Pelbrix"' "$T" || problem "browser path field"
  in_order 'set 106 "C:\Typed\Pelbrix"' 'text 106 "C:\Typed\Pelbrix"' 'click 1'
  grep -iFxq 'text 106 "C:\Program Files\Pelbrix"' "$T" || problem "the field did not take the browser's folder"
  check_cancelled
}

# ---- running ------------------------------------------------------------------------------------
PASSED=0
FAILED=0
run_scenario() {  # NAME
  name=$1
  fn=${name//-/_}
  D=$E2E/$name
  P=$D/prefix
  T=$D/transcript.txt
  PROBLEMS=()
  NOTE=
  mkdir -p "$D"
  cp -a "$E2E/base" "$P"
  CURRENT_PREFIX=$P
  wine_env "$P"
  mkdir -p "$P/drive_c/e2e"
  cp "$SETUP" "$DRIVER" "$FAKE_APP" "$P/drive_c/e2e/"
  to_ansi <"$SCENARIOS/$name.drv" >"$P/drive_c/e2e/script.txt"
  if declare -F "prepare_$fn" >/dev/null; then "prepare_$fn"; fi
  shooter_start "$P/drive_c/e2e" "$D/screenshots"
  timeout 150 "$WINE64" 'C:\e2e\driver.exe' 'C:\e2e\script.txt' 'C:\e2e\transcript.txt' \
    </dev/null >"$D/driver.log" 2>&1
  rc=$?
  shooter_stop
  if [ -f "$P/drive_c/e2e/transcript.txt" ]; then
    iconv -f CP1251 -t UTF-8 "$P/drive_c/e2e/transcript.txt" >"$T"
  else
    : >"$T"
  fi
  [ $rc = 0 ] || problem "driver exit code $rc: $(grep -m1 '^error' "$T")"
  if declare -F "check_$fn" >/dev/null; then "check_$fn"; fi
  grep -q ' crash$' "$T" && problem "the installer crashed"
  wine_stop "$P"
  CURRENT_PREFIX=
  for shot in "$D"/screenshots/*.png; do
    [ -e "$shot" ] && cp "$shot" "$E2E/screenshots/$name-${shot##*/}"
  done
  if [ ${#PROBLEMS[@]} = 0 ]; then
    PASSED=$((PASSED + 1))
    echo "PASS $name${NOTE:+ ($NOTE)}"
    [ "${PEL_E2E_KEEP:-0}" = 1 ] || rm -rf "$P"
  else
    FAILED=$((FAILED + 1))
    echo "FAIL $name (transcript: $T)"
    for p in "${PROBLEMS[@]}"; do echo "     $p"; done
  fi
}

ALL="happy cancel-destination esc-destination cancel-licence close-licence esc-licence previous-cancel
 previous-close previous-esc previous-missing update running-exact running-longer running-other
 running-other-class missing-parent no-desktop browser"
for name in ${PEL_E2E_ONLY:-$ALL}; do
  run_scenario "$name"
done
echo "$PASSED passed, $FAILED failed ($(($(date +%s) - STARTED)) s; screenshots in $E2E/screenshots)"
[ $FAILED = 0 ]
