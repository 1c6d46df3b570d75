#!/usr/bin/env bash
# make_test_pki.sh DIR: a throw-away CA and a server certificate for "localhost" in DIR
# (ca.pem, server.pem, server.key). Reuses what is there.
set -euo pipefail
dir="$1"
mkdir -p "$dir"
cd "$dir"
[ -f ca.pem ] && [ -f server.pem ] && [ -f server.key ] && exit 0
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Tidewake Test CA" \
  -keyout ca.key -out ca.pem -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout server.key -out server.csr 2>/dev/null
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > ext.cnf
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
  -extfile ext.cnf -out server.pem 2>/dev/null
rm -f server.csr ext.cnf ca.srl
