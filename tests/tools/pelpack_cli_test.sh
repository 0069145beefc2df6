#!/bin/sh
# pelpack from the command line: pack -> list -> verify -> extract round trip, deterministic
# output, refusals that write nothing, verify's exit codes and bad input. (Installers are read by
# the PE fuzz target, tests/fuzz/pe_fuzz.cpp, and by every Wine scenario, whose reference tree
# pelpack extracts.)
# Usage: pelpack_cli_test.sh PELPACK WORKDIR
set -u
PELPACK=$1
W=$2
rm -rf "$W"
mkdir -p "$W"
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_exit CODE WHAT COMMAND...: runs the command, stdout to $W/out, stderr to $W/err.
expect_exit() {
  want=$1 what=$2
  shift 2
  "$@" >"$W/out" 2>"$W/err"
  got=$?
  [ "$got" = "$want" ] || { fail "$what: exit $got, expected $want"; sed 's/^/    /' "$W/err" >&2; }
}

# expect_error CODE WHAT COMMAND...: as expect_exit, and bad input gets exactly one line on stderr.
expect_error() {
  expect_exit "$@"
  lines=$(wc -l <"$W/err")
  [ "$lines" = 1 ] || { fail "$2: $lines lines on stderr, expected 1"; sed 's/^/    /' "$W/err" >&2; }
  if grep -q -e 'Sanitizer' -e 'runtime error' "$W/err"; then fail "$2: sanitizer report"; fi
}

# The sample tree: Cyrillic names, nested folders, an empty folder, an empty file, a read-only
# file, and a file whose name differs from "Tolva.dat" only in case.
SRC="$W/src"
mkdir -p "$SRC/HlpPic" "$SRC/Папка/Вложенная" "$SRC/Пусто"
printf 'program' >"$SRC/Pelbrix.exe"
printf 'Отчёт за месяц' >"$SRC/Отчёт.txt"
: >"$SRC/empty.dat"
printf 'read only' >"$SRC/ro.txt"
chmod 444 "$SRC/ro.txt"
printf 'GIF89a' >"$SRC/HlpPic/a.gif"
printf 'deep' >"$SRC/Папка/Вложенная/глубоко.txt"
printf 'data' >"$SRC/TOLVA.DAT"

EPOCH=1700000000
FT=$(( (EPOCH + 11644473600) * 10000000 ))

# --- pack, deterministic ---------------------------------------------------------------------
expect_exit 0 "pack" env SOURCE_DATE_EPOCH=$EPOCH "$PELPACK" pack "$SRC" -o "$W/a1.bin"
touch -d @1234567890 "$SRC/Pelbrix.exe" "$SRC/Папка"
expect_exit 0 "pack again, -o first" env SOURCE_DATE_EPOCH=$EPOCH "$PELPACK" pack -o "$W/a2.bin" "$SRC/"
cmp -s "$W/a1.bin" "$W/a2.bin" || fail "same folder with SOURCE_DATE_EPOCH gave different bytes"

# --- list ------------------------------------------------------------------------------------
# The four folders and seven files, a file with its folder's index; a read-only file packed as
# 0x20 like the rest. (Every file's name, size and time: the names list below.)
T=$(printf '\t')
expect_exit 0 "list" "$PELPACK" list "$W/a1.bin"
[ "$(grep -c "^dir${T}.*${T}0x30${T}$FT${T}-${T}-${T}" "$W/out")" = 4 ] &&
  [ "$(grep -c "^file${T}.*${T}0x20${T}$FT${T}" "$W/out")" = 7 ] || fail "listing: not 4 folders and 7 files of 0x20"
grep -q "^dir${T}3${T}0x30${T}$FT${T}-${T}-${T}Папка\\\\Вложенная\$" "$W/out" &&
  grep -q "^file${T}7${T}0x20${T}$FT${T}3${T}4${T}глубоко.txt\$" "$W/out" || fail "listing: the nested folder and its file"
size=$(wc -c <"$W/a1.bin")
grep -q "^# archiveLength=$((size - 16)) checksum=0x[0-9A-F]\{8\} directoryCount=4\$" "$W/out" ||
  fail "header line: $(head -n 1 "$W/out")"

# --- --add and names: a file from elsewhere in place of one of that name, in any letter case --
printf 'other program' >"$W/other.exe"
expect_exit 0 "pack --add" env SOURCE_DATE_EPOCH=$EPOCH "$PELPACK" pack "$SRC" -o "$W/add.bin" \
  --add pelbrix.EXE="$W/other.exe" --add new.exe="$W/other.exe"
[ "$(grep -c 'in place of' "$W/out")" = 1 ] || fail "pack --add: one line about the replaced file expected"
expect_exit 0 "list --add" "$PELPACK" list "$W/add.bin"
grep -q "^file${T}1${T}0x20${T}$FT${T}0${T}13${T}pelbrix.EXE\$" "$W/out" || fail "--add did not replace Pelbrix.exe"
grep -q "^file${T}6${T}0x20${T}$FT${T}0${T}13${T}new.exe\$" "$W/out" || fail "--add did not append new.exe"
# Each file with the size and time pack gives it and its bytes' checksum (as verify's); an
# addition without its file: "-".
expect_exit 0 "names" env SOURCE_DATE_EPOCH=$EPOCH "$PELPACK" names "$SRC" --add pelbrix.EXE="$W/other.exe" \
  --add new.exe -o "$W/names.txt"
iconv -f CP1251 -t UTF-8 "$W/names.txt" | tr -d '\r' >"$W/names.utf8"
printf '%s\n' 'HlpPic\' 'Папка\' 'Папка\Вложенная\' 'Пусто\' "pelbrix.EXE${T}13${T}$FT${T}0b3f952b" \
  "TOLVA.DAT${T}4${T}$FT${T}520c0c9c" "empty.dat${T}0${T}$FT${T}ffffffff" "ro.txt${T}9${T}$FT${T}e1506788" \
  "Отчёт.txt${T}26${T}$FT${T}0a5bcd41" "new.exe${T}-${T}-" "HlpPic\\a.gif${T}6${T}$FT${T}a9b5310d" \
  "Папка\\Вложенная\\глубоко.txt${T}4${T}$FT${T}6c6ca7a2" | diff - "$W/names.utf8" >&2 ||
  fail "names differ from what pack archives"
[ "$(tr -cd '\r' <"$W/names.txt" | wc -c)" = 12 ] || fail "names: lines must end in CR LF"
expect_exit 1 "--add over a folder" "$PELPACK" pack "$SRC" --add hlppic="$W/other.exe" -o "$W/no.bin"
expect_exit 1 "--add of a missing file" "$PELPACK" pack "$SRC" --add x.exe="$W/missing" -o "$W/no.bin"
[ ! -e "$W/no.bin" ] || fail "a refused --add wrote an archive"

# --- verify ----------------------------------------------------------------------------------
expect_exit 0 "verify sound archive" "$PELPACK" verify "$W/a1.bin"
cp "$W/a1.bin" "$W/badbody.bin"
printf 'X' | dd of="$W/badbody.bin" bs=1 seek=$((size - 20)) conv=notrunc 2>/dev/null
expect_error 1 "verify changed data byte" "$PELPACK" verify "$W/badbody.bin"
head -c $((size - 40)) "$W/a1.bin" >"$W/cut.bin"
expect_error 2 "verify cut into a record" "$PELPACK" verify "$W/cut.bin"
expect_error 2 "list cut into a record" "$PELPACK" list "$W/cut.bin"

# --- extract ---------------------------------------------------------------------------------
expect_exit 0 "extract" "$PELPACK" extract "$W/a1.bin" "$W/x"
diff -r "$SRC" "$W/x" >&2 || fail "extracted tree differs from the source"
# (Times and permissions as the archive gives them: every Wine scenario compares the installed
# files with what this gives; a read-only source file is packed as 0x20, in the listing above.)
# Links inside the folder are never followed nor replaced: a linked file cannot be written, a
# linked folder is no folder.
mkdir -p "$W/l" "$W/outside" && printf 'keep' >"$W/outside/target" && ln -s "$W/outside/target" "$W/l/Pelbrix.exe"
expect_error 1 "extract over a linked file" "$PELPACK" extract "$W/a1.bin" "$W/l"
grep -q '^(0005) .* Pelbrix.exe$' "$W/err" && [ "$(cat "$W/outside/target")" = keep ] && [ -L "$W/l/Pelbrix.exe" ] ||
  fail "extract followed or replaced a linked file"
rm -rf "$W/l" && mkdir -p "$W/l" && ln -s "$W/outside" "$W/l/HlpPic"
expect_error 1 "extract into a linked folder" "$PELPACK" extract "$W/a1.bin" "$W/l"
grep -q '^0002 .* HlpPic$' "$W/err" && [ ! -e "$W/outside/a.gif" ] || fail "extract followed a linked folder"
expect_exit 1 "extract below a missing folder" "$PELPACK" extract "$W/a1.bin" "$W/missing/x"
[ ! -e "$W/missing" ] || fail "extraction created a missing parent folder"

# --- refusals write nothing ------------------------------------------------------------------
printf 'earlier archive' >"$W/keep.bin"
refuse() {  # refuse WHAT NAME-EXPECTED-IN-MESSAGE FOLDER
  expect_error 1 "pack refuses $1" "$PELPACK" pack "$3" -o "$W/keep.bin"
  grep -q -F "$2" "$W/err" || fail "pack refuses $1: message does not name $2: $(cat "$W/err")"
  [ "$(cat "$W/keep.bin")" = "earlier archive" ] || fail "pack refuses $1: output file changed"
  leftovers=$(find "$W" -maxdepth 1 -name 'keep.bin.*' | wc -l)
  [ "$leftovers" = 0 ] || fail "pack refuses $1: temporary file left behind"
}
deep="$W/r2"
level=$(printf '%0250d' 0)
for i in 1 2 3 4; do deep="$deep/$level$i"; done
mkdir -p "$deep"
# Four folder levels of 251 bytes: 1007 bytes of directory name; with the file's name the path
# passes the 1023 bytes an archive path can hold.
printf 'x' >"$deep/a_rather_long_name.txt"
refuse "an over-long path" "a_rather_long_name.txt" "$W/r2"

mkdir -p "$W/r3" && printf 'x' >"$W/r3/Readme.txt" && printf 'y' >"$W/r3/README.TXT"
refuse "names differing only in case" "Readme.txt" "$W/r3"

mkdir -p "$W/r5" && ln -s /etc/passwd "$W/r5/link"
refuse "a symbolic link" "link" "$W/r5"

# A folder one byte over what the shipped installer installs (a sparse file: no disk).
limit=805306368
mkdir -p "$W/r6" && truncate -s $((limit + 1)) "$W/r6/big.bin"
refuse "more than the shipped installer installs" "$((limit + 1)) bytes ($((limit / 1048576 + 1)) MB), more than the $((limit / 1048576)) MB" "$W/r6"

# The name rules themselves are one table in pelpack_names_test.cpp.

for epoch in soon 910692730086 99999999999999999999; do
  expect_error 2 "pack SOURCE_DATE_EPOCH=$epoch" env SOURCE_DATE_EPOCH=$epoch "$PELPACK" pack "$SRC" -o "$W/keep.bin"
done

# --- bad input and arguments (names Windows would read as another file or a device: the name
# table in pelpack_names_test.cpp, read by every command through one check) ------------------
printf 'not an archive at all, just text\n' >"$W/text.txt"
: >"$W/empty.bin"
for input in nothing.bin text.txt empty.bin .; do
  for cmd in list verify; do
    expect_error 2 "$cmd $input" "$PELPACK" $cmd "$W/$input"
  done
done
expect_error 2 "extract missing file" "$PELPACK" extract "$W/nothing.bin" "$W/y"
expect_exit 2 "extract text file" "$PELPACK" extract "$W/text.txt" "$W/y"
[ ! -e "$W/y" ] || fail "extract of a broken archive created the folder"
expect_error 2 "pack missing folder" "$PELPACK" pack "$W/nothing" -o "$W/n.bin"
for args in "" "unpack $W/a1.bin" "pack $SRC" "list $W/a1.bin $W/a2.bin" "extract $W/a1.bin"; do
  expect_exit 2 "arguments: $args" "$PELPACK" $args
done

if [ "$failures" != 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
rm -rf "$W"
echo "all pelpack checks passed"
