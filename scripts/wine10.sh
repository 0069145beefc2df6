#!/bin/bash
# Wine 10 in its WoW64 mode, for running the shipped 32-bit installer: 32-bit Windows code runs
# inside a 64-bit Linux process, so no 32-bit Linux code is needed.
#
# Run it to prepare the tree (idempotent, cached under $BUILD_DIR/wine10, prints how long it
# took); source it from bash to prepare it and get, for the Wine helpers in scripts/wine-lib.sh:
#   WINE             the loader that starts a Windows program (32- or 64-bit)
#   WINESERVER       the server of the same version
#   WINE_FONTS       Wine's own fonts, to copy into a prefix's Fonts folder
# (What a 32-bit program sees differently, its Program Files folder and its view of HKLM, is
# stated per build in tests/e2e/builds.conf.)
#
# Everything comes from Debian 13's archive through apt with a private configuration (its own
# sources list, state and cache in the tree), leaving the system's apt sources and packages alone:
#   wine64, libwine (amd64)  the loader, the server, the 64-bit DLLs and the Unix side
#   libwine (i386)           only its 32-bit Windows DLLs (PE files)
#   libc6 (amd64)            glibc 2.41: Wine 10 needs 2.38+, Debian 12 has 2.36. The loader and
#                            server are pointed at it with patchelf (interpreter and rpath); every
#                            other library comes from the system. This beats a debootstrap root
#                            entered with chroot: a sixth of the download, no mounts to bind and
#                            undo, and the same paths inside and outside Wine.
#   libz-mingw-w64           zlib1.dll, which Debian's install script would otherwise make
#   fonts-wine               Tahoma and friends: with them the pages are not clipped
#   WINE10_SUITE         the suite to take the packages from (default: trixie)
#   WINE10_MIRROR        the archive (default: the Debian archive that this machine's apt sources
#                        name, so the packages come from the user's own mirror)

# Prints the URI of the first Debian archive in the machine's apt sources, as apt-config names
# them: one-line ".list" files and deb822 ".sources" files. A Debian archive is a "deb" source
# whose suite is a release name or alias (bookworm, stable...); "-security", "-updates" and other
# vendors' suites are not. Prints nothing when there is none.
wine10_apt_mirror() {
  local list parts
  eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
  {
    [ -f "$list" ] && printf '%s\n' "$list"
    for f in "$parts"*.list "$parts"*.sources; do [ -f "$f" ] && printf '%s\n' "$f"; done
  } | while IFS= read -r f; do
    case $f in
      *.sources) awk '
          # One deb822 stanza per record: the fields Types, URIs, Suites and Enabled.
          BEGIN { RS = ""; FS = "\n" }
          {
            types = ""; uris = ""; suites = ""; enabled = "yes"
            for (i = 1; i <= NF; i++) {
              line = $i
              if (line ~ /^#/) continue
              key = tolower(line); sub(/:.*/, "", key)
              value = line; sub(/^[^:]*:[ \t]*/, "", value)
              if (key == "types") types = value
              else if (key == "uris") uris = value
              else if (key == "suites") suites = value
              else if (key == "enabled") enabled = tolower(value)
            }
            if (enabled == "no" || (" " types " ") !~ / deb /) next
            n = split(uris, u, /[ \t]+/)
            m = split(suites, s, /[ \t]+/)
            for (j = 1; j <= m; j++) for (k = 1; k <= n; k++) if (u[k] != "") print u[k], s[j]
          }' "$f" ;;
      *) awk '
          # One-line form: deb [options] URI suite components...
          $1 == "deb" {
            i = 2
            if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
            if (i + 1 <= NF) print $i, $(i + 1)
          }' "$f" ;;
    esac
  done | awk '
      $2 ~ /^(buster|bullseye|bookworm|trixie|forky|duke|sid|oldoldstable|oldstable|stable|testing|unstable)$/ {
        sub(/\/+$/, "", $1); print $1; exit
      }'
}

wine10_dir() {
  printf '%s\n' "${BUILD_DIR:-$1/build}/wine10"
}

# Builds the tree in DIR unless its stamp says it is complete. Runs in a subshell: the caller's
# shell options stay as they are.
wine10_prepare() (  # DIR
  set -eu
  dir=$1
  root=$dir/root
  stamp=$dir/ready
  suite=${WINE10_SUITE:-trixie}
  mirror=${WINE10_MIRROR:-$(wine10_apt_mirror)}
  [ -n "$mirror" ] ||
    { echo "wine10: no Debian archive in the apt sources; set WINE10_MIRROR to one" >&2; exit 1; }
  recipe="2 $suite $mirror"
  if [ -f "$stamp" ] && [ "$(head -n 1 "$stamp")" = "$recipe" ] && [ -x "$root/usr/lib/wine/wine64" ]; then
    return 0
  fi
  rm -f "$stamp"   # an interrupted preparation leaves no stamp behind
  started=$(date +%s)
  command -v patchelf >/dev/null || { echo "wine10: patchelf is missing (scripts/setup.sh installs it)" >&2; exit 1; }
  apt=$dir/apt
  mkdir -p "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$dir/debs"
  : >"$apt/status"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" >"$apt/sources.list"
  set -- -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/parts" \
    -o Dir::Etc::Preferences="$apt/none" -o Dir::Etc::PreferencesParts="$apt/parts" \
    -o Dir::State="$apt/state" -o Dir::State::status="$apt/status" -o Dir::Cache="$apt/cache" \
    -o APT::Architectures::=amd64 -o APT::Architectures::=i386 -o Acquire::Languages=none \
    -o APT::Sandbox::User=root -q
  echo "wine10: reading the $suite package lists"
  apt-get "$@" update >"$dir/apt.log" 2>&1 || { tail -n 20 "$dir/apt.log" >&2; exit 1; }
  rm -f "$dir/debs/"*.deb
  echo "wine10: downloading"
  (cd "$dir/debs" && apt-get "$@" download wine64 libwine libwine:i386 libc6 libz-mingw-w64 fonts-wine) \
    >>"$dir/apt.log" 2>&1 || { tail -n 20 "$dir/apt.log" >&2; exit 1; }

  echo "wine10: unpacking"
  rm -rf "$root"
  mkdir -p "$root"
  for deb in "$dir"/debs/*.deb; do
    case $deb in
      *_i386.deb)
        dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$root" ./usr/lib/i386-linux-gnu/wine/i386-windows ;;
      *) dpkg-deb -x "$deb" "$root" ;;
    esac
  done
  lib=$root/usr/lib/x86_64-linux-gnu
  wine=$lib/wine
  # The 32-bit DLLs go where the 64-bit loader looks for them (the amd64 folder ships empty).
  mkdir -p "$wine/i386-windows"
  mv "$root/usr/lib/i386-linux-gnu/wine/i386-windows/"* "$wine/i386-windows/"
  # zlib1.dll (user32 needs it) is loaded from there only when marked as one of Wine's own DLLs,
  # as Debian's install script marks it: the text at offset 64 of the DOS stub.
  for pair in x86_64:x86_64 i686:i386; do
    in=$root/usr/${pair%%:*}-w64-mingw32/lib/zlib1.dll
    out=$wine/${pair##*:}-windows/zlib1.dll
    { head -c 64 "$in"; printf 'Wine builtin DLL\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'; tail -c +97 "$in"; } >"$out"
  done
  # The loader starts "wineserver" beside itself: Debian's wrapper there would start the
  # system's server of another version.
  ln -sfn wineserver64 "$root/usr/lib/wine/wineserver"
  # The server looks for its nls files in share/wine/wine.
  ln -sfn . "$root/usr/share/wine/wine"
  for program in wine64 wineserver64; do
    patchelf --set-interpreter "$lib/ld-linux-x86-64.so.2" --force-rpath --set-rpath "$lib" \
      "$root/usr/lib/wine/$program"
  done
  "$root/usr/lib/wine/wine64" --version >"$dir/version" 2>&1 ||
    { cat "$dir/version" >&2; echo "wine10: the patched loader does not start" >&2; exit 1; }
  {
    echo "$recipe"
    for deb in "$dir"/debs/*.deb; do basename "$deb"; done
  } >"$stamp"
  echo "wine10: $(cat "$dir/version") ready in $dir/root, $(( $(date +%s) - started )) s"
)

wine10_main() {
  local root dir started
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  dir=$(wine10_dir "$root")
  started=$(date +%s%N)
  wine10_prepare "$dir" || return 1
  WINE=$dir/root/usr/lib/wine/wine64
  WINESERVER=$dir/root/usr/lib/wine/wineserver64
  WINE_FONTS=$dir/root/usr/share/wine/fonts
  echo "wine10: $WINE ($(cat "$dir/version")), ready after $(( ($(date +%s%N) - started) / 1000000 )) ms" >&2
}

# Succeeds when Wine 10 runs a 32-bit program on this machine. Its WoW64 mode switches the
# 64-bit process to a 32-bit code segment, which some virtual machines refuse (the kernel logs
# "IA-32 emulation off"): there no 32-bit program starts at all. Asked once per tree, in a prefix
# of its own (about 20 s); the answer is kept beside the tree (WINE10_RUNS_32BIT=yes or no, when
# set, answers instead). Returns 1 for no, 2 when not even a 64-bit program starts.
wine10_runs_32bit() {
  local dir answer
  dir=$(wine10_dir "$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)")
  answer=${WINE10_RUNS_32BIT:-$(cat "$dir/runs-32bit" 2>/dev/null)}
  if [ -z "$answer" ]; then
    rm -rf "$dir/probe"
    # A 32-bit program that exits with 7, and the 64-bit one as the witness that Wine itself works.
    WINEPREFIX=$dir/probe WINEDEBUG=-all DISPLAY= "$WINE" 'C:\windows\syswow64\cmd.exe' /c exit 7 \
      </dev/null >"$dir/probe.log" 2>&1
    local rc32=$?
    WINEPREFIX=$dir/probe WINEDEBUG=-all DISPLAY= "$WINE" 'C:\windows\system32\cmd.exe' /c exit 7 \
      </dev/null >>"$dir/probe.log" 2>&1
    local rc64=$?
    WINEPREFIX=$dir/probe "$WINESERVER" -k </dev/null >/dev/null 2>&1
    rm -rf "$dir/probe"
    [ $rc64 = 7 ] || { echo "wine10: no program starts (see $dir/probe.log)" >&2; return 2; }
    answer=no
    [ $rc32 != 7 ] || answer=yes
    echo $answer >"$dir/runs-32bit"
  fi
  [ "$answer" = yes ]
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -eu
  wine10_main
  echo "WINE=$WINE"
  echo "WINESERVER=$WINESERVER"
  echo "WINE_FONTS=$WINE_FONTS"
else
  wine10_main
fi
