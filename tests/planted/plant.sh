#!/bin/bash
# Plants each fault of faults.tsv in turn, runs the tests that can see it and prints whether they
# failed ("caught") or passed ("MISSED"); the source is restored after each. Exit 1 when any
# fault was missed. Uses the builds of scripts/test.sh (BUILD_DIR, default build).
#   faults.tsv: STAGE <tab> FILE <tab> TEXT <tab> REPLACEMENT, one fault a line; TEXT occurs once
#   in FILE ("\n" stands for a line break). STAGE says which tests can see it (below).
#   PEL_PLANT_ONLY   line numbers of faults.tsv to plant (default: all)
set -u
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
LOG=$BUILD/planted
mkdir -p "$LOG"
[ -d "$BUILD/test-host" ] && [ -d "$BUILD/win-i686" ] || { echo "run scripts/test.sh once first"; exit 2; }
missed=0
trap '[ -f "$LOG/original" ] && cp "$LOG/original" "$ROOT/$file"; exit 130' INT TERM
n=0
while IFS=$'\t' read -r -u 3 stage file text replacement; do
  n=$((n + 1))
  case $stage in "" | "#"*) continue ;; esac
  if [ -n "${PEL_PLANT_ONLY:-}" ] && ! [[ " $PEL_PLANT_ONLY " == *" $n "* ]]; then continue; fi
  cp "$ROOT/$file" "$LOG/original"
  python3 - "$ROOT/$file" "$text" "$replacement" <<'PY' || { echo "fault $n: text not found once in $file"; missed=1; continue; }
import sys
path, old, new = (a.replace("\\n", "\n") for a in sys.argv[1:])
source = open(path, encoding="utf-8").read()
if source.count(old) != 1: sys.exit(1)
open(path, "w", encoding="utf-8").write(source.replace(old, new))
PY
  # "unit" runs the native tests; "e2e NAME..." those scenarios ("e2e@1252 NAME..." under that code
  # page, "e2e@1252/Иван NAME..." with that user's profile too); "unit e2e NAME..." both, the
  # scenarios only when the native tests passed; "pe" the checks of the Windows builds.
  status=0
  if [[ $stage == unit* ]]; then
    (cmake --build "$BUILD/test-host" && ctest --test-dir "$BUILD/test-host" -j "$(nproc)") >"$LOG/$n.log" 2>&1 || status=1
  fi
  if [[ $stage == pe ]]; then
    (cmake --build "$BUILD/win-i686" && PEL_REUSE_BUILDS=1 "$ROOT/scripts/test-pe.sh") >"$LOG/$n.log" 2>&1 || status=1
  fi
  if [ $status -eq 0 ] && [[ $stage =~ e2e(@([0-9]+)(/([^ ]+))?)?\ (.*) ]]; then
    (cmake --build "$BUILD/host" && cmake --build "$BUILD/win-i686" && cmake --build "$BUILD/win-x86_64" &&
      PEL_E2E_BUILD=0 PEL_E2E_ARCH=i686 \
      PEL_E2E_LOCALE=${BASH_REMATCH[2]} PEL_E2E_PROFILE=${BASH_REMATCH[4]} PEL_E2E_ONLY="${BASH_REMATCH[5]}" \
      "$ROOT/scripts/test-e2e.sh") >>"$LOG/$n.log" 2>&1 || status=1
  fi
  cp "$LOG/original" "$ROOT/$file"
  if [ $status -ne 0 ]; then verdict=caught; else verdict=MISSED; missed=1; fi
  printf '%-6s %3d %s: %s -> %s\n' "$verdict" "$n" "$file" "$text" "$replacement"
done 3<"$ROOT/tests/planted/faults.tsv"
exit $missed
