# Shell helpers for running the installer under Wine: a prefix that behaves, a virtual display,
# screenshots on the driver's request. Sourced by scripts/test-e2e.sh and scripts/run-installer.sh.
#
# WINE and WINESERVER name the Wine in use: a file sourced after this one may set others.
#
# Wine's helper processes inherit open pipes and can keep a `$(wine64 ...)` or a `| ...` waiting
# forever: every Wine command here reads /dev/null and writes into files.

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
IMPORT=/usr/bin/import

# Environment of every Wine process: Russian locale (ANSI code page 1251), quiet, no Mono/Gecko
# prompts, no Linux menu entries.
wine_env() {  # PREFIX
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export LC_ALL=ru_RU.UTF-8
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
  unset WINEARCH
}

# Runs one Wine program; its output goes to LOG. Returns the program's exit code.
wine_run() {  # LOG PROGRAM [ARGS...]
  log=$1
  shift
  "$WINE" "$@" </dev/null >>"$log" 2>&1
}

wine_stop() {  # PREFIX
  WINEPREFIX="$1" "$WINESERVER" -k >/dev/null 2>&1 </dev/null || true
  WINEPREFIX="$1" "$WINESERVER" -w >/dev/null 2>&1 </dev/null || true
}

# Makes a fresh prefix: wineboot, real user folders instead of links into the Linux home, the
# Wine fonts (Cyrillic in "MS Sans Serif", drawn caption buttons), no window manager handling,
# no crash dialog; then the caller's make_prefix_extra LOG, when it defines one. The registry
# reaches its files when the server stops.
make_prefix() {  # PREFIX LOG
  prefix=$1
  log=$2
  rm -rf "$prefix"
  mkdir -p "$prefix"
  wine_env "$prefix"
  wine_run "$log" wineboot -i || true   # the 32-bit half always complains here
  [ -d "$prefix/drive_c/windows" ] || { echo "wineboot made no prefix in $prefix (see $log)" >&2; return 1; }
  for user in "$prefix"/drive_c/users/*/; do
    for link in "$user"*; do
      if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
    done
  done
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp "${WINE_FONTS:-/usr/share/wine/fonts}"/* "$prefix/drive_c/windows/Fonts/"
  wine_run "$log" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
  wine_run "$log" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  if declare -F make_prefix_extra >/dev/null; then make_prefix_extra "$log"; fi
  wine_stop "$prefix"
}

# The Linux folder of the prefix's user profile (C:\users\<name>).
prefix_user_dir() {  # PREFIX
  for user in "$1"/drive_c/users/*/; do
    case $user in */Public/) continue ;; esac
    printf '%s\n' "${user%/}"
    return 0
  done
  return 1
}

XVFB_PID=
XVFB_DISPLAY=

# Starts Xvfb on a display it finds free (so that runs side by side never share one) and waits
# until it answers: Xvfb writes the display's number when it is ready.
xvfb_start() {  # LOGDIR
  : >"$1/xvfb.display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$1/xvfb.display" >"$1/xvfb.log" 2>&1 &
  XVFB_PID=$!
  until read -r n <"$1/xvfb.display"; do
    kill -0 "$XVFB_PID" 2>/dev/null || { XVFB_PID=; echo "no display for Xvfb (see $1/xvfb.log)" >&2; return 1; }
    sleep 0.1
  done
  XVFB_DISPLAY=":$n"
  export DISPLAY=":$n"
}

xvfb_stop() {
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null
    wait "$XVFB_PID" 2>/dev/null
    XVFB_PID=
  fi
}

SHOOTER_PID=

# Serves the driver's screenshot requests: for every shot-NAME.req in WATCHDIR it saves the
# screen as SHOTDIR/NAME.png, cut to the area the request names (WIDTHxHEIGHT+LEFT+TOP) if any,
# and answers with shot-NAME.done.
shooter_start() {  # WATCHDIR SHOTDIR
  watch=$1
  shots=$2
  mkdir -p "$shots"
  (
    while :; do
      for request in "$watch"/shot-*.req; do
        [ -e "$request" ] || continue
        name=${request##*/shot-}
        name=${name%.req}
        area=$(cat "$request")
        # shellcheck disable=SC2046  # no area: no crop options
        "$IMPORT" -display "$DISPLAY" -window root $([ -z "$area" ] || echo "-crop $area +repage") \
          "$shots/$name.png" >/dev/null 2>&1 </dev/null
        rm -f "$request"
        : >"$watch/shot-$name.done"
      done
      sleep 0.1
    done
  ) &
  SHOOTER_PID=$!
}

shooter_stop() {
  if [ -n "$SHOOTER_PID" ]; then
    kill "$SHOOTER_PID" 2>/dev/null
    wait "$SHOOTER_PID" 2>/dev/null
    SHOOTER_PID=
  fi
}
