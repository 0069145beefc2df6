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
# A scenario may continue in the prefix another one left (CONTINUES below): that one is run
# first, and its prefix is taken over instead of a fresh copy of the base prefix.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
PAYLOAD=${PEL_PAYLOAD_DIR:-$ROOT/resources/payload}
E2E=$BUILD/e2e
WIN=$BUILD/win-x86_64
SETUP=${PEL_E2E_SETUP:-$WIN/PelbrixSetup.exe}
DRIVER=$WIN/tests/e2e/driver.exe
FAKE_APP=$WIN/tests/e2e/fake_app.exe
RECORDER=$WIN/tests/e2e/recorder.exe
PELPACK=$BUILD/host/tools/pelpack
SCENARIOS=$ROOT/tests/e2e/scenarios
LICENCE=$ROOT/resources/licence.txt
. "$ROOT/tests/e2e/wine-lib.sh"

mkdir -p "$BUILD"
if [ "${PEL_E2E_BUILD:-1}" != 0 ]; then
  BUILD_DIR=$BUILD PEL_PAYLOAD_DIR=$PAYLOAD "$ROOT/scripts/build.sh" >"$BUILD/e2e-build.log" 2>&1 ||
    { tail -n 30 "$BUILD/e2e-build.log"; echo "e2e: the build failed (log: $BUILD/e2e-build.log)"; exit 1; }
fi
for f in "$SETUP" "$DRIVER" "$FAKE_APP" "$RECORDER" "$PELPACK"; do
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
# Web pages open in the recorder (tests/e2e/recorder.cpp), never in a browser: .htm is registered
# machine-wide (Wine ignores the per-user classes) with the recorder as its "open" command.
make_prefix_extra() {  # LOG
  wine_run "$1" reg add 'HKLM\Software\Classes\.htm' /ve /t REG_SZ /d htmlfile /f
  wine_run "$1" reg add 'HKLM\Software\Classes\htmlfile\shell\open\command' /ve /t REG_SZ \
    /d '"C:\e2e\recorder.exe" "%1"' /f
}
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
GROUP_DIR="$USER_DIR/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Пелбриксон"
# The six Start-menu links and, with DESKTOP=yes, the desktop link, into FOLDER (default: the
# Program Files default). Paths compare without letter case: the folder browser's listing
# spells them as the system reports them.
check_links() {  # DESKTOP(yes|no) [FOLDER]
  LINK_FOLDER=${2:-'C:\Program Files\Pelbrix'}
  group="$P$GROUP_DIR"
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
  sed 's/^\t*\([^:]*[^ \t:]\)[ \t]*: /\1:/' "$D/lnkinfo.txt" >"$D/lnkinfo-fields.txt"
  grep -Fxq -- "Description:$2" "$D/lnkinfo-fields.txt" || problem "${1##*/}: lacks Description:$2"
  for want in "Local path:$LINK_FOLDER\\$3" "Working directory:$LINK_FOLDER"; do
    same_text_any_case "$(grep -m1 "^${want%%:*}:" "$D/lnkinfo-fields.txt")" "$want" ||
      problem "${1##*/}: lacks $want"
  done
}
# Texts equal without regard to letter case (Cyrillic included).
same_text_any_case() { [ "${1,,}" = "${2,,}" ]; }
# The group folder holds exactly the six links, the desktop exactly the one link or none: a
# re-installation rewrites them in place and leaves no copies beside them.
links_exactly() {  # DESKTOP(yes|no)
  got=$(cd "$P$GROUP_DIR" 2>/dev/null && ls -A | sort | tr '\n' '|')
  want=$(printf '%s\n' Инструкция.lnk 'Лицензионное соглашение.lnk' Новости.lnk Особенности.lnk Программа.lnk \
    'Удалить Пелбриксон.lnk' | sort | tr '\n' '|')
  [ "$got" = "$want" ] || problem "the group folder holds: $got"
  got=$(cd "$P$USER_DIR/Desktop" && ls -A | tr '\n' '|')
  if [ "$1" = yes ]; then want='Пелбриксон.lnk|'; else want=; fi
  [ "$got" = "$want" ] || problem "the desktop holds: ${got:-nothing}"
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
# The Nth record (1, 2, ... or last) of `regkey ROOT "KEY"` in the transcript: its head line and
# its value lines.
reg_block() {  # ROOT KEY N
  HEAD="regkey $1 \"$2\" " awk -v n="$3" '
    index($0, ENVIRON["HEAD"]) == 1 {
      k++; on = 1; if (n == "last") m = 0; keep = n == "last" || k == n + 0
      if (keep) out[++m] = $0; next }
    on && /^  value / { if (keep) out[++m] = $0; next }
    { on = 0; keep = 0 }
    END { for (i = 1; i <= m; i++) print out[i] }' "$T"
}
# The key reads the same, class and values byte for byte, after the run as before it.
record_unchanged() {  # ROOT KEY
  count=$(grep -cF "regkey $1 \"$2\" " "$T")
  [ "$count" -ge 2 ] || { problem "the transcript does not show $2 before and after the run"; return; }
  before=$(reg_block "$1" "$2" 1)
  after=$(reg_block "$1" "$2" last)
  [ "$before" = "$after" ] ||
    problem "$2 changed: $(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | tr '\n' ';')"
}
ansi_hex() { printf '%s' "$1" | iconv -f UTF-8 -t CP1251 | od -An -tx1 -v | tr -d ' \n' | tr a-f A-F; }
# After the run the key holds NAME as REG_SZ with the bytes of TEXT. Wine's RegSetValueExA adds
# the terminator that a caller leaves out of the length (as NT does), so the value reads back
# with one zero byte more; the length the installer passed is checked in the relay trace
# (scenario order).
check_text_value() {  # ROOT KEY NAME TEXT
  line=$(reg_block "$1" "$2" last | grep -F "  value \"$3\" ")
  want=$(ansi_hex "$4")
  n=$((${#want} / 2))
  case $line in
    "  value \"$3\" REG_SZ length=$n stored="*" hex=$want") ;;
    "  value \"$3\" REG_SZ length=$((n + 1)) stored="*" hex=${want}00") ;;
    *) problem "$3 is not the REG_SZ text $4: ${line:-missing}" ;;
  esac
}
# A successful run's record: the Setup key made with class VORTA holds exactly Path and Version
# (plus EXTRA values that stood there before), and the toolbar key is gone.
check_record_bytes() {  # FOLDER [EXTRA]
  head=$(reg_block HKCU 'Software\Pelbrix\Setup' last | head -n 1)
  [[ $head == 'regkey HKCU "Software\Pelbrix\Setup" class "VORTA" values '$((2 + ${2:-0})) ]] ||
    problem "Setup key after the run: ${head:-not recorded}"
  check_text_value HKCU 'Software\Pelbrix\Setup' Path "$1"
  check_text_value HKCU 'Software\Pelbrix\Setup' Version 1.8.3
  [ "$(reg_block HKCU 'Software\Pelbrix\Main\TFormMainToolBar' last)" = \
    'regkey HKCU "Software\Pelbrix\Main\TFormMainToolBar" missing' ] || problem "the toolbar key is still there"
}
# The recorder standing in for the browser was asked to open FOLDER\features.htm (a relative
# argument counts in the recorder's current directory). No page beside the installer could
# have been opened instead.
check_features() {  # FOLDER
  absent "$P/drive_c/e2e/features.htm"
  arg=$(sed -n 's/^  | argument "\(.*\)"$/\1/p' "$T" | tail -n 1)
  dir=$(sed -n 's/^  | directory "\(.*\)"$/\1/p' "$T" | tail -n 1)
  case $arg in
    [A-Za-z]:\\*) full=$arg ;;
    *) full="$dir\\$arg" ;;
  esac
  same_text_any_case "$full" "$1\\features.htm" || problem "the page opened is \"$arg\" in \"$dir\", not $1\\features.htm"
}
# An earlier record that a run must leave as it is: a folder that no longer exists (so the
# notice page is skipped), an old version, a value of the user's and a saved toolbar layout.
prepare_earlier_record() {
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Setup' /v Path /t REG_SZ /d 'C:\Gone\Pelbrix' /f
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Setup' /v Version /t REG_SZ /d 1.7.0 /f
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Setup' /v Other /t REG_SZ /d kept /f
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Main\TFormMainToolBar' /v Bands /t REG_SZ /d 1 /f
}
check_earlier_record() {
  record_unchanged HKCU 'Software\Pelbrix\Setup'
  record_unchanged HKCU 'Software\Pelbrix\Main\TFormMainToolBar'
  [ "$(reg_block HKCU 'Software\Pelbrix\Setup' 1 | head -n 1)" != 'regkey HKCU "Software\Pelbrix\Setup" missing' ] ||
    problem "the earlier record was not made"
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
  links_exactly yes
  check_record 'C:\\Program Files\\Pelbrix'
  check_record_bytes 'C:\Program Files\Pelbrix'
  check_features 'C:\Program Files\Pelbrix'
}

# A second installation into the same folder, in the prefix the happy run left: the notice shows
# the recorded folder, and every link is rewritten in place (the links were dated back first).
prepare_reinstall() {
  find "$P$GROUP_DIR" "$P$USER_DIR/Desktop" -name '*.lnk' -exec touch -d '2001-01-01 00:00:00 UTC' {} +
  rm -f "$P/drive_c/e2e/opened.txt"
}
check_reinstall() {
  first_page "$PREVIOUS"
  has '  control 105 Edit disabled "C:\Program Files\Pelbrix"'
  has '  control 103 Static enabled "Программа установлена успешно."'
  exit_code 1
  check_payload "$P/drive_c/Program Files/Pelbrix"
  check_links yes
  links_exactly yes
  old=$(find "$P$GROUP_DIR" "$P$USER_DIR/Desktop" -name '*.lnk' ! -newermt '2001-01-02' -printf '%f|')
  [ -z "$old" ] || problem "links not rewritten: $old"
  check_record_bytes 'C:\Program Files\Pelbrix'
  check_features 'C:\Program Files\Pelbrix'
}

# Defaults throughout, over a Setup key that holds other values and beside a saved toolbar
# layout, with Wine's relay trace of the calls that show effects: files, links, the features
# page, the record and the pages must come in this order (tests/e2e/check_order.py).
RELAY_CALLS='DialogBoxParamA;CreateDirectoryA;CreateFileA;MoveFileExA;CreateFileW;CoCreateInstance;ShellExecuteA;RegCreateKeyExA;RegSetValueExA;RegDeleteKeyA'
prepare_order() {
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Setup' /v Other /t REG_SZ /d kept /f
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Setup' /v Count /t REG_DWORD /d 7 /f
  wine_run "$D/wine.log" reg add 'HKCU\Software\Pelbrix\Main\TFormMainToolBar' /v Bands /t REG_SZ /d 1 /f
  wine_run "$D/wine.log" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ /d "$RELAY_CALLS" /f
  export WINEDEBUG=+pid,+relay   # the driver's log collects the trace of every process
}
check_order() {
  has '  control 103 Static enabled "Программа установлена успешно."'
  exit_code 1
  pid=$(sed -n 's/^pid //p' "$T" | head -n 1)
  python3 "$ROOT/tests/e2e/check_order.py" "$D/driver.log" "${pid:-0}" "$E2E/payload-list.tsv" \
    'C:\Program Files\Pelbrix' yes >"$D/order-check.txt" 2>&1 ||
    problem "order of effects: $(head -n 3 "$D/order-check.txt" | tr '\n' ';')"
  check_record_bytes 'C:\Program Files\Pelbrix' 2
  for value in Other Count; do
    [ "$(reg_block HKCU 'Software\Pelbrix\Setup' 1 | grep -F "  value \"$value\" ")" = \
      "$(reg_block HKCU 'Software\Pelbrix\Setup' last | grep -F "  value \"$value\" ")" ] ||
      problem "the value $value of the Setup key changed"
  done
  grep -q '^regkey HKCU "Software\\Pelbrix\\Main\\TFormMainToolBar" class "" values 1$' "$T" ||
    problem "the toolbar key was not there before the run"
  check_features 'C:\Program Files\Pelbrix'
  check_links yes
}

# The default folder follows ProgramFilesDir; the folder browser opens on its drive, which cannot
# be listed here (no D:), keeps the drive list and recovers on drive C:. Three runs in one prefix.
set_program_files() {  # TEXT, or nothing to delete the value
  key='HKLM\Software\Microsoft\Windows\CurrentVersion'
  if [ $# = 1 ]; then
    wine_run "$D/wine.log" reg add "$key" /v ProgramFilesDir /t REG_SZ /d "$1" /f
  else
    wine_run "$D/wine.log" reg delete "$key" /v ProgramFilesDir /f
  fi
}
check_program_files() {  # DEFAULT CAPTION
  first_page "$DESTINATION"
  has "  control 106 Edit enabled \"$1\""
  in_order 'page "Выбор папки"' '  control 106 Edit enabled "\Pelbrix"' \
    "  control 111 ComboBox enabled count=2 \"$2\"" 'list 111 2' '  item 0 "[-c-]"' '  item 1 "[-z-]"' \
    'list 110 0' 'choose 111 "[-c-]"' 'control 111 ComboBox enabled count=2 "[-c-]"'
  grep -iFxq 'text 106 "C:\Pelbrix"' "$T" || problem "drive C: was not listed after the choice"
  in_order 'click 2' "text 106 \"$1\""
  check_cancelled
}
prepare_program_files_sub() { set_program_files 'D:\Programs'; }
prepare_program_files_root() { set_program_files 'D:\'; }
prepare_program_files_none() { set_program_files; }
check_program_files_sub() { check_program_files 'D:\Programs\Pelbrix' '[-D-]'; }
check_program_files_root() { check_program_files 'D:\Pelbrix' '[-D-]'; }
check_program_files_none() { check_program_files '\Pelbrix' '[--]'; }

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
prepare_cancel_licence() { prepare_earlier_record; }
check_cancel_licence() {
  has "$NOT_INSTALLED"
  exit_code 1
  no_install
  check_earlier_record
}
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

prepare_previous_missing() { prepare_earlier_record; }
check_previous_missing() {
  first_page "$DESTINATION"
  lacks "$PREVIOUS"
  check_cancelled_keep_record
  check_earlier_record
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

prepare_missing_parent() { prepare_earlier_record; }
check_missing_parent() {
  in_order 'set 106 "C:\nope\deeper\Pelbrix"' \
    'message "Пелбриксон" "(0001) Ошибка при создании папки C:\nope\deeper\Pelbrix"' 'click 1'
  # The extraction's quit request is pending when the final message opens; it must still show.
  in_order 'message "Пелбриксон" "(0001) Ошибка при создании папки C:\nope\deeper\Pelbrix"' "$NOT_INSTALLED"
  exit_code 1
  absent "$P/drive_c/nope"
  no_install
  check_earlier_record
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

# A walk through the folder tree with the mouse and the drive list: up to the root of C: (no
# [..] there), over to Z: and back, down into C:\Games and a Cyrillic folder below it, up and
# down again; the installation lands in the folder chosen. The listing spells the path as the
# system reports it (in lower case under Wine), so paths compare without letter case.
prepare_browser_walk() { mkdir -p "$P/drive_c/Games/Игры" "$P/drive_c/Games/Other"; }
WALK_FOLDER='C:\Games\Игры\Pelbrix'
check_browser_walk() {
  lower=$D/transcript-lower.txt
  tr -d '\r' <"$T" | python3 -c 'import sys; sys.stdout.write(sys.stdin.read().lower())' >"$lower"
  T=$lower in_order 'list 110 5' '  item 0 "[..]"' 'dblclick 110 "[..]"' 'text 106 "c:\pelbrix"' \
    'control 111 combobox enabled count=2 "[-c-]"' 'list 110 7' \
    'choose 111 "[-z-]"' 'text 106 "z:\pelbrix"' 'control 111 combobox enabled count=2 "[-z-]"' \
    'choose 111 "[-c-]"' 'text 106 "c:\pelbrix"' 'control 111 combobox enabled count=2 "[-c-]"' \
    'dblclick 110 "[games]"' 'text 106 "c:\games\pelbrix"' 'list 110 3' '  item 0 "[..]"' '  item 1 "[other]"' \
    '  item 2 "[игры]"' 'dblclick 110 "[игры]"' 'text 106 "c:\games\игры\pelbrix"' 'list 110 1' '  item 0 "[..]"' \
    'dblclick 110 "[..]"' 'text 106 "c:\games\pelbrix"' 'dblclick 110 "[игры]"' 'text 106 "c:\games\игры\pelbrix"' \
    'click 1' 'page "пелбриксон"' 'text 106 "c:\games\игры\pelbrix"' \
    'page "выбор папки"' 'text 106 "c:\program files\pelbrix"' 'click 2' 'text 106 "c:\games\игры\pelbrix"'
  # The root of C: is listed without a parent entry.
  root=$(awk '/^list 110 7$/ { on = 1; next } on && /^  item / { print; next } { on = 0 }' "$T")
  [[ $root == *'"[Games]"'* && $root != *'"[..]"'* ]] || problem "root of C: listed as: $(echo $root)"
  field=$(sed -n 's/^text 106 "\(.*\)"$/\1/p' "$T" | tail -n 1)
  same_text_any_case "$field" "$WALK_FOLDER" || problem "the destination field reads $field"
  has '  control 103 Static enabled "Программа установлена успешно."'
  exit_code 1
  check_payload "$P/drive_c/Games/Игры/Pelbrix"
  absent "$P/drive_c/Program Files/Pelbrix"
  check_links yes "$WALK_FOLDER"
  check_record_bytes "$field"
  check_features "$WALK_FOLDER"
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
  base=${CONTINUES[$name]:-}
  if [ -z "$base" ]; then
    cp -a "$E2E/base" "$P"
  elif [ ! -d "$E2E/$base/prefix" ]; then
    problem "continues $base, which left no prefix"
    cp -a "$E2E/base" "$P"
  elif [ "$(cat "$E2E/$base/outcome" 2>/dev/null)" = PASS ] && [ "${PEL_E2E_KEEP:-0}" != 1 ]; then
    mv "$E2E/$base/prefix" "$P"
  else
    cp -a "$E2E/$base/prefix" "$P"   # the one left for inspection stays as it was
  fi
  CURRENT_PREFIX=$P
  wine_env "$P"
  mkdir -p "$P/drive_c/e2e"
  cp "$SETUP" "$DRIVER" "$FAKE_APP" "$RECORDER" "$P/drive_c/e2e/"
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
    echo PASS >"$D/outcome"
    echo "PASS $name${NOTE:+ ($NOTE)}"
    [ "${PEL_E2E_KEEP:-0}" = 1 ] || [ -n "${CONTINUED[$name]:-}" ] || rm -rf "$P"
  else
    echo FAIL >"$D/outcome"
    FAILED=$((FAILED + 1))
    echo "FAIL $name (transcript: $T)"
    for p in "${PROBLEMS[@]}"; do echo "     $p"; done
  fi
}

ALL="happy reinstall cancel-destination esc-destination cancel-licence close-licence esc-licence
 previous-cancel previous-close previous-esc previous-missing update running-exact running-longer
 running-other running-other-class missing-parent no-desktop browser browser-walk order
 program-files-sub program-files-root program-files-none"
# Scenarios that continue in the prefix another one left, and the one they continue.
declare -A CONTINUES=([reinstall]=happy [program-files-root]=program-files-sub
  [program-files-none]=program-files-root)
declare -A CONTINUED=()
RUN_LIST=()
add_to_run() {  # NAME: once, after the scenario it continues
  local n
  for n in "${RUN_LIST[@]}"; do [ "$n" = "$1" ] && return; done
  if [ -n "${CONTINUES[$1]:-}" ]; then
    add_to_run "${CONTINUES[$1]}"
    CONTINUED[${CONTINUES[$1]}]=1
  fi
  RUN_LIST+=("$1")
}
for name in ${PEL_E2E_ONLY:-$ALL}; do
  add_to_run "$name"
done
for name in "${RUN_LIST[@]}"; do
  run_scenario "$name"
done
echo "$PASSED passed, $FAILED failed ($(($(date +%s) - STARTED)) s; screenshots in $E2E/screenshots)"
[ $FAILED = 0 ]
