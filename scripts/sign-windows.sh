#!/usr/bin/env bash
# Signs the Windows launcher with the publisher's code-signing certificate (Authenticode, SHA-256)
# with Debian's osslsigncode, verifies the signature, and only then puts the signed file in place
# of the unsigned one: a file that does not verify is never left behind.
#
#   TIDEWAKE_SIGN_PKCS12=publisher.p12 TIDEWAKE_SIGN_PASSWORD=... scripts/sign-windows.sh tidewake.exe
#
#   TIDEWAKE_SIGN_PKCS12         the certificate with its chain and private key (PKCS#12)
#   TIDEWAKE_SIGN_PASSWORD       its password; handed over in a file only this user can read,
#                                never on a command line that every user's ps shows
#   TIDEWAKE_SIGN_TIMESTAMP_URL  optional RFC 3161 time-stamp server: the signature then stays
#                                valid after the certificate has expired
#   TIDEWAKE_SIGN_CA             optional PEM file of the CAs the verification trusts (default:
#                                the system's bundle); also for the time-stamp's signer
#   TIDEWAKE_SIGN_DESCRIPTION    optional program name shown in Windows' prompts (default
#                                "Tidewake"), TIDEWAKE_SIGN_URL the publisher's site
set -euo pipefail

case "${1:-}" in
  -h | --help)
    # The comment at the top is the help.
    sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"
    exit 0
    ;;
esac

exe=${1:?usage: scripts/sign-windows.sh path/to/tidewake.exe}
pkcs12=${TIDEWAKE_SIGN_PKCS12:?TIDEWAKE_SIGN_PKCS12 names the PKCS#12 file of the certificate}
[ -n "${TIDEWAKE_SIGN_PASSWORD+set}" ] ||
  { echo "TIDEWAKE_SIGN_PASSWORD is not set" >&2; exit 2; }
ca=${TIDEWAKE_SIGN_CA:-/etc/ssl/certs/ca-certificates.crt}
[ -f "$exe" ] || { echo "no such file: $exe" >&2; exit 2; }
[ -f "$pkcs12" ] || { echo "no such file: $pkcs12" >&2; exit 2; }
[ -f "$ca" ] || { echo "no such file: $ca" >&2; exit 2; }
command -v osslsigncode >/dev/null || { echo "osslsigncode is missing: scripts/deps.sh" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
(umask 077 && printf '%s' "$TIDEWAKE_SIGN_PASSWORD" >"$work/password")

# The signed copy is written beside the original, so the final rename stays on one file system.
signed=$(mktemp "$exe.signed.XXXXXX")
trap 'rm -rf "$work" "$signed"' EXIT
rm -f "$signed"

args=(sign -pkcs12 "$pkcs12" -readpass "$work/password" -h sha256
  -n "${TIDEWAKE_SIGN_DESCRIPTION:-Tidewake}")
[ -n "${TIDEWAKE_SIGN_URL:-}" ] && args+=(-i "$TIDEWAKE_SIGN_URL")
[ -n "${TIDEWAKE_SIGN_TIMESTAMP_URL:-}" ] && args+=(-ts "$TIDEWAKE_SIGN_TIMESTAMP_URL")
osslsigncode "${args[@]}" -in "$exe" -out "$signed" >"$work/sign.log" 2>&1 ||
  { cat "$work/sign.log" >&2; echo "signing failed: $exe" >&2; exit 1; }

verify=(verify -CAfile "$ca")
[ -n "${TIDEWAKE_SIGN_TIMESTAMP_URL:-}" ] && verify+=(-TSA-CAfile "$ca")
if ! osslsigncode "${verify[@]}" -in "$signed" >"$work/verify.log" 2>&1; then
  cat "$work/verify.log" >&2
  echo "the signature does not verify: $exe is left unsigned" >&2
  exit 1
fi
chmod --reference="$exe" "$signed"
mv -f "$signed" "$exe"
echo "signed and verified: $exe"
