#!/usr/bin/env bash
# scripts/sign-windows.sh with a code-signing certificate of our own CA: the signed launcher
# verifies against that CA, still starts under Wine and makes its first request, and a byte
# changed after signing fails the check. Run by ctest in the Windows build (the Wine session of
# scripts/test-windows.sh: WINEPREFIX, DISPLAY).
#
#   sign_windows_test.sh LAUNCHER.exe SIGN_SCRIPT
set -euo pipefail
launcher=$1
sign=$2
work=$(mktemp -d)
wine_pid=
finish() {
  [ -n "$wine_pid" ] && kill -9 "$wine_pid" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$work"

# A CA, and below it a certificate for code signing only, in a PKCS#12 file with a password.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tidewake Test Code CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
  -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Tidewake Test Publisher" \
  -keyout signer.key -out signer.csr 2>/dev/null
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
  "extendedKeyUsage=codeSigning" >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
  -extfile signer.ext -out signer.pem 2>/dev/null
# Blanks, quotes and a dollar sign: the password must reach osslsigncode as it is.
# shellcheck disable=SC2016
password='pass word $1 "x"'
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
  -passout "pass:$password" -out signer.p12

cp "$launcher" tidewake.exe
osslsigncode verify -CAfile ca.pem -in tidewake.exe >/dev/null 2>&1 &&
  fail "the unsigned launcher verifies"

# A wrong password signs nothing and leaves the file as it was.
TIDEWAKE_SIGN_PKCS12=signer.p12 TIDEWAKE_SIGN_PASSWORD=wrong TIDEWAKE_SIGN_CA=ca.pem \
  "$sign" tidewake.exe >/dev/null 2>&1 && fail "signed with a wrong password"
cmp -s "$launcher" tidewake.exe || fail "a failed signing changed the file"

TIDEWAKE_SIGN_PKCS12=signer.p12 TIDEWAKE_SIGN_PASSWORD=$password TIDEWAKE_SIGN_CA=ca.pem \
  "$sign" tidewake.exe || fail "signing failed"
osslsigncode verify -CAfile ca.pem -in tidewake.exe >verify.log 2>&1 ||
  { cat verify.log; fail "the signed launcher does not verify"; }
grep -q "Tidewake Test Publisher" verify.log || fail "not signed by our certificate"
compgen -G 'tidewake.exe.signed.*' >/dev/null && fail "a temporary file was left behind"

# One byte of the code changed after signing: the digest no longer matches.
cp tidewake.exe tampered.exe
offset=$(( $(stat -c %s tampered.exe) / 2 ))
byte=$(od -An -tu1 -j "$offset" -N1 tampered.exe | tr -d ' ')
printf '%b' "\\$(printf '%03o' $(( byte ^ 0xff )))" |
  dd of=tampered.exe bs=1 seek="$offset" conv=notrunc status=none
osslsigncode verify -CAfile ca.pem -in tampered.exe >tampered.log 2>&1 &&
  { cat tampered.log; fail "a changed byte still verifies"; }
grep -q "MISMATCH" tampered.log || { cat tampered.log; fail "not refused for its digest"; }

# The signed launcher runs: no server answers on its port, so its first request fails and says so
# in its log.
mkdir run
(cd run && exec wine ../tidewake.exe >../run.out 2>&1) &
wine_pid=$!
for _ in $(seq 1 600); do
  grep -q "curl perform fail to" run/tidewake.log 2>/dev/null && break
  kill -0 "$wine_pid" 2>/dev/null || break
  sleep 0.1
done
grep -q "curl perform fail to" run/tidewake.log 2>/dev/null ||
  { cat run.out run/tidewake.log 2>/dev/null; fail "the signed launcher did not run"; }
echo "signed, verified, ran; a changed byte fails"
