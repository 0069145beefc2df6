#!/bin/sh
# Signed builds: a throwaway certificate authority and code-signing certificate (PKCS#12 with a
# password), the shipped i686 installer built and signed with it, its signature and those of the
# programs it carries verified against that authority, and the payload read back from it.
#   BUILD_DIR  build folder (default: build); the signed builds go to $BUILD_DIR/signed (kept for
#              the scenarios under Wine)
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD_DIR:-$ROOT/build}
SIGNED=$BUILD/signed
KEYS=$SIGNED/keys
fail() { echo "test-sign: $*" >&2; exit 1; }

rm -rf "$KEYS"
mkdir -p "$KEYS"
cd "$KEYS"
quiet() { "$@" >>"$KEYS/openssl.log" 2>&1 || { cat "$KEYS/openssl.log" >&2; fail "$1 failed"; }; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Test Signing CA" \
  -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign,cRLSign
quiet openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Test Code Signer"
printf '%s\n' 'basicConstraints=CA:false' 'keyUsage=critical,digitalSignature' 'extendedKeyUsage=codeSigning' >signer.ext
quiet openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile signer.ext -out signer.pem
printf 'throwaway-%s\n' "$$" >password
quiet openssl pkcs12 -export -inkey signer.key -in signer.pem -passout file:password -out signer.p12
cd "$ROOT"

BUILD_DIR=$SIGNED PEL_INSTALLER_ONLY=1 PEL_ARCHS=i686 PEL_SIGN_PKCS12=$KEYS/signer.p12 PEL_SIGN_PASSWORD_FILE=$KEYS/password \
  "$ROOT/scripts/build.sh" >"$SIGNED.log" 2>&1 || { tail -n 30 "$SIGNED.log" >&2; fail "the signed build failed"; }

exe=$SIGNED/win-i686/PelbrixSetup.exe
osslsigncode verify -CAfile "$KEYS/ca.pem" -in "$exe" >"$SIGNED/verify.txt" 2>&1 ||
  { cat "$SIGNED/verify.txt" >&2; fail "$exe: the signature does not verify"; }
"$SIGNED/host/tools/pelpack" list "$exe" >"$SIGNED/list.tsv" 2>"$SIGNED/list.err" ||
  { cat "$SIGNED/list.err" >&2; fail "pelpack cannot list the signed $exe"; }
"$SIGNED/host/tools/pelpack" list "$SIGNED/win-i686/resources/payload.bin" >"$SIGNED/list-bin.tsv"
# The same entries as the archive packed (the first line also names where it was found).
[ "$(tail -n +2 "$SIGNED/list.tsv")" = "$(tail -n +2 "$SIGNED/list-bin.tsv")" ] || fail "$exe: the payload listed differs from the archive packed"
# The programs the build packed are signed too, before packing.
rm -rf "$SIGNED/payload"
"$SIGNED/host/tools/pelpack" extract "$exe" "$SIGNED/payload" >/dev/null || fail "pelpack cannot extract $exe"
for program in uninstall.exe Pelbrix.exe; do
  osslsigncode verify -CAfile "$KEYS/ca.pem" -in "$SIGNED/payload/$program" >/dev/null 2>&1 ||
    fail "$program packed in $exe is not signed"
done
echo "$exe: signed, verified against the test authority, payload of $(wc -l <"$SIGNED/list.tsv") entries read, its programs signed"

# What the signature adds to the shipped installer (the unsigned build of the same commit is in
# $BUILD/win-i686, made by the stages before this one).
unsigned=$BUILD/win-i686/PelbrixSetup.exe
if [ -f "$unsigned" ]; then
  echo "the signatures add $(( $(wc -c <"$SIGNED/win-i686/PelbrixSetup.exe") - $(wc -c <"$unsigned") )) bytes to the i686 installer"
fi
