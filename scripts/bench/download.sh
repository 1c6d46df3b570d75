#!/usr/bin/env bash
# Download throughput of HttpUtil::DownloadFile against curl's command line: the same 512 MiB
# file from the same loopback HTTPS server (nginx with a certificate from the test CA), several
# alternating runs. Prints each run and the ratio of the
# median throughputs (target: at least 0.95).
#   scripts/bench.sh download [RUNS] [SIZE_MIB]
set -euo pipefail
cd "$(dirname "$0")/../.."
runs="${1:-5}"
size_mib="${2:-512}"

cmake --preset default >/dev/null
cmake --build --preset default --target download_bench >/dev/null
bench=build/default/tests/download_bench
ca=build/test-ca/ca.pem

work="$(mktemp -d /tmp/tidewake-bench-XXXXXX)"
nginx_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root" "$work/logs" "$work/tmp"
# Started by root, nginx serves from unprivileged workers: they must be able to read the file.
chmod 755 "$work" "$work/root"
"$bench" issue-cert "$work/cert.pem" "$work/key.pem"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$work/root/pkg.bin"
chmod 644 "$work/root/pkg.bin"

port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
cat >"$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  server {
    listen 127.0.0.1:$port ssl;
    server_name localhost;
    ssl_certificate $work/cert.pem;
    ssl_certificate_key $work/key.pem;
    root $work/root;
  }
}
CONF
nginx -e "$work/logs/error.log" -p "$work" -c "$work/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
for _ in $(seq 50); do
  curl -s -o /dev/null --cacert "$ca" "https://localhost:$port/" && break
  sleep 0.1
done

url="https://localhost:$port/pkg.bin"
bytes=$(stat -c %s "$work/root/pkg.bin")
ours=()
theirs=()
for i in $(seq "$runs"); do
  rm -f "$work/out.bin"
  start=$(date +%s.%N)
  curl -sf -o "$work/out.bin" --cacert "$ca" "$url"
  end=$(date +%s.%N)
  curl_s=$(echo "$end - $start" | bc -l)
  cmp -s "$work/out.bin" "$work/root/pkg.bin" || { echo "curl copy differs" >&2; exit 1; }
  rm -f "$work/out.bin"
  start=$(date +%s.%N)
  "$bench" fetch "$url" "$work/out.bin" 2>/dev/null >/dev/null
  end=$(date +%s.%N)
  ours_s=$(echo "$end - $start" | bc -l)
  cmp -s "$work/out.bin" "$work/root/pkg.bin" || { echo "HttpUtil copy differs" >&2; exit 1; }
  printf 'run %d: curl %.3f s (%.0f MiB/s), HttpUtil %.3f s (%.0f MiB/s)\n' "$i" \
    "$curl_s" "$(echo "$bytes / $curl_s / 1048576" | bc -l)" \
    "$ours_s" "$(echo "$bytes / $ours_s / 1048576" | bc -l)"
  theirs+=("$curl_s")
  ours+=("$ours_s")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
m_curl=$(median "${theirs[@]}")
m_ours=$(median "${ours[@]}")
ratio=$(echo "$m_curl / $m_ours" | bc -l)
printf 'median: curl %.3f s, HttpUtil %.3f s for %d MiB\n' "$m_curl" "$m_ours" "$size_mib"
printf 'throughput ratio HttpUtil/curl: %.3f (target >= 0.95)\n' "$ratio"
