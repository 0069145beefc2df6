#!/bin/sh
# Installs everything the build and the tests need on a fresh Debian 12 machine (idempotent).
set -eu
PKGS="cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
 g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
 wine wine64 xvfb x11-utils locales-all fonts-wine liblnk-utils imagemagick attr python3 time
 osslsigncode openssl patchelf debian-archive-keyring clang-format"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "setup: installing:$missing"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y $missing
fi
