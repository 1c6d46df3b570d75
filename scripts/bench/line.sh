#!/usr/bin/env bash
# Download at the speed of the line: nginx in a network namespace serving a package over HTTPS,
# the link shaped with tc (tbf, rate only) and, in the first rig, nginx's limit_rate capping
# each connection as a long lossy path does. The launcher's download (HttpUtil::DownloadPackage,
# through tests/bench/download_bench) beside one curl connection and aria2c -x16 -s16 -k1M on
# the same rig: throughput ratios, CPU seconds per GiB, the connection count it settled on, and
# the check after the download (the digest made on the way against reading the file again).
# In the capped rig also the differential road's fetch of ranges spread over the package.
# Then KILLS kills at random moments of one download, each followed by a restart, and the
# bytes the server sent in total.
#   scripts/bench.sh line [SIZE_MIB] [KILLS] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/../.."
size_mib="${1:-512}"
kills="${2:-30}"
runs="${3:-1}"
link_mbit=400
cap_mbit=50

[ "$(id -u)" = 0 ] || { echo "the rig needs root (network namespace, tc)" >&2; exit 1; }
command -v aria2c >/dev/null || { echo "aria2c missing (apt-get install aria2)" >&2; exit 1; }
cmake --preset default >/dev/null
cmake --build --preset default --target download_bench >/dev/null
bench="$PWD/build/default/tests/download_bench"
ca="$PWD/build/test-ca/ca.pem"

ns="twline$$"
host_if="twl$$a"
ns_if="twl$$b"
server_ip=10.203.7.2
client_ip=10.203.7.1
work="$(mktemp -d /tmp/tidewake-line-XXXXXX)"
nginx_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  ip link del "$host_if" 2>/dev/null || true
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

ip netns add "$ns"
ip link add "$host_if" type veth peer name "$ns_if"
ip link set "$ns_if" netns "$ns"
ip addr add "$client_ip/24" dev "$host_if"
ip link set "$host_if" up
ip netns exec "$ns" ip addr add "$server_ip/24" dev "$ns_if"
ip netns exec "$ns" ip link set "$ns_if" up
ip netns exec "$ns" ip link set lo up
# The server's side sends the package: its egress is the line.
ip netns exec "$ns" tc qdisc add dev "$ns_if" root tbf rate "${link_mbit}mbit" burst 1mb latency 50ms

mkdir -p "$work/root" "$work/logs" "$work/tmp" "$work/client"
chmod 755 "$work" "$work/root"
"$bench" issue-cert "$work/cert.pem" "$work/key.pem" "$server_ip"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$work/root/pkg.bin"
chmod 644 "$work/root/pkg.bin"
bytes=$(stat -c %s "$work/root/pkg.bin")
want_md5=$(md5sum "$work/root/pkg.bin" | cut -d' ' -f1)
port=8443
url="https://$server_ip:$port/pkg.bin"

start_nginx() {  # $1: limit_rate in bytes per second, 0 for none
  [ -n "$nginx_pid" ] && kill "$nginx_pid" && wait "$nginx_pid" 2>/dev/null || true
  cat >"$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 256; }
http {
  log_format sent '\$body_bytes_sent';
  access_log $work/logs/access.log sent;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  server {
    listen $server_ip:$port ssl;
    server_name localhost;
    ssl_certificate $work/cert.pem;
    ssl_certificate_key $work/key.pem;
    root $work/root;
    limit_rate $1;
  }
}
CONF
  ip netns exec "$ns" nginx -e "$work/logs/error.log" -p "$work" -c "$work/nginx.conf" -g 'daemon off;' &
  nginx_pid=$!
  for _ in $(seq 50); do
    curl -s -o /dev/null --cacert "$ca" "https://$server_ip:$port/" && return 0
    sleep 0.1
  done
  echo "nginx did not start" >&2
  exit 1
}

# Runs a client under /usr/bin/time; prints "seconds cpu_seconds".
timed() {
  local out="$work/time.txt"
  /usr/bin/time -f '%e %U %S' -o "$out" "$@" >"$work/client.log" 2>"$work/client.err" ||
    { echo "client failed: $*" >&2; tail -5 "$work/client.err" >&2; exit 1; }
  awk '{printf "%s %.3f\n", $1, $2 + $3}' "$out"
}
check_copy() {
  [ "$(md5sum "$1" | cut -d' ' -f1)" = "$want_md5" ] || { echo "$2: copy differs" >&2; exit 1; }
}

declare -A secs cpus
measure() {  # $1: rig name
  local rig="$1" i t
  for i in $(seq "$runs"); do
    rm -rf "$work/client"/*
    t=$(timed curl -sf -o "$work/client/out.bin" --cacert "$ca" "$url")
    check_copy "$work/client/out.bin" curl
    secs[$rig,curl]+="${t% *} "; cpus[$rig,curl]+="${t#* } "
    rm -rf "$work/client"/*
    t=$(timed aria2c -x16 -s16 -k1M --ca-certificate="$ca" --file-allocation=none \
          --summary-interval=0 --console-log-level=warn -d "$work/client" -o out.bin "$url")
    check_copy "$work/client/out.bin" aria2c
    secs[$rig,aria2]+="${t% *} "; cpus[$rig,aria2]+="${t#* } "
    rm -rf "$work/client"/*
    timed "$bench" package "$url" "$work/client/out.bin" "$bytes" >/dev/null
    check_copy "$work/client/out.bin" launcher
    # The download alone: the client then reads the file again to time the check as it was.
    read -r _ dl read_check made_check _ dl_cpu < <(grep '^result' "$work/client.log")
    secs[$rig,ours]+="$dl "; cpus[$rig,ours]+="$dl_cpu "
    settled=$(grep -o 'download: [0-9]* connections' "$work/client.log" | tail -1 | grep -o '[0-9]*' || true)
    printf '%s run %d: curl %ss, aria2c %ss, launcher %ss (settled on %s connections); check: read again %.3fs, digest made on the way %.6fs\n' \
      "$rig" "$i" "$(echo "${secs[$rig,curl]}" | awk '{print $NF}')" \
      "$(echo "${secs[$rig,aria2]}" | awk '{print $NF}')" "$dl" "${settled:-?}" "$read_check" "$made_check"
    check_ratio=$(echo "$made_check / $read_check" | bc -l)
    printf '%s run %d: check now / before: %.6f (target <= 0.05)\n' "$rig" "$i" "$check_ratio"
  done
}
# The differential road's fetch in the capped rig: 80 entries of 256 KiB spread over the package
# (about what 2 % of a 1 GiB package changed brings), against one curl connection asking for as
# many bytes as one range.
ranges_line=""
measure_ranges() {
  local count=80 each=262144 ours theirs fetched connections
  timed "$bench" ranges "$url" "$bytes" "$count" "$each" >/dev/null
  read -r _ ours fetched < <(grep '^ranges [0-9]' "$work/client.log")
  connections=$(grep -o 'up to [0-9]* connections' "$work/client.log" | grep -o '[0-9]*' || echo 1)
  theirs=$(timed curl -sf -o /dev/null -r "0-$((count * each - 1))" --cacert "$ca" "$url")
  ranges_line=$(printf 'capped    differential fetch, %d ranges of %d KiB: %.2f s over up to %s connections = %.3f of the line; one curl connection %.2f s (%.2fx)' \
    "$count" "$((each / 1024))" "$ours" "$connections" \
    "$(echo "$fetched / $ours / 1048576 / $line_mib" | bc -l)" "${theirs% *}" \
    "$(echo "${theirs% *} / $ours" | bc -l)")
}
median() { printf '%s\n' $1 | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
summary() {  # $1: rig name, $2: line rate in MiB/s for the ratio to the line
  local rig="$1" c a o
  c=$(median "${secs[$rig,curl]}"); a=$(median "${secs[$rig,aria2]}"); o=$(median "${secs[$rig,ours]}")
  local gib
  gib=$(echo "$bytes / 1073741824" | bc -l)
  printf '%-9s launcher %6.2f MiB/s = %.3f of the line; vs one curl %.2fx; vs aria2c %.2fx\n' "$rig" \
    "$(echo "$bytes / $o / 1048576" | bc -l)" "$(echo "$bytes / $o / 1048576 / $2" | bc -l)" \
    "$(echo "$c / $o" | bc -l)" "$(echo "$a / $o" | bc -l)"
  printf '%-9s CPU s/GiB: launcher %.2f, curl %.2f, aria2c %.2f\n' "$rig" \
    "$(echo "$(median "${cpus[$rig,ours]}") / $gib" | bc -l)" \
    "$(echo "$(median "${cpus[$rig,curl]}") / $gib" | bc -l)" \
    "$(echo "$(median "${cpus[$rig,aria2]}") / $gib" | bc -l)"
}

line_mib=$(echo "$link_mbit * 1000000 / 8 / 1048576" | bc -l)
start_nginx "$((cap_mbit * 1000000 / 8))"
measure capped
measure_ranges
start_nginx 0
measure uncapped
echo "== link $link_mbit Mbit/s, $size_mib MiB package, $runs run(s) each"
echo "capped: $cap_mbit Mbit/s per connection (nginx limit_rate); uncapped: no per-connection limit"
summary capped "$line_mib"
summary uncapped "$line_mib"
echo "$ranges_line"

# Kills at random moments of one download in the capped rig, each followed by a restart; the
# last run goes to the end.
[ "$kills" -gt 0 ] || exit 0
start_nginx "$((cap_mbit * 1000000 / 8))"
rm -rf "$work/client"/*
: >"$work/logs/access.log"
expected_s=$(echo "$bytes / ($line_mib * 1048576)" | bc -l)
for k in $(seq "$kills"); do
  "$bench" package "$url" "$work/client/out.bin" "$bytes" >/dev/null 2>&1 &
  pid=$!
  # A moment within the first third of what the whole download would take at the line rate.
  sleep "$(python3 -c "import random; print(round(random.uniform(0.05, $expected_s / 3), 3))")"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done
"$bench" package "$url" "$work/client/out.bin" "$bytes" >"$work/client.log" 2>&1 ||
  { echo "the run after the kills failed" >&2; tail -5 "$work/client.log" >&2; exit 1; }
kill_md5=$(md5sum "$work/client/out.bin" | cut -d' ' -f1)
sleep 0.5
sent=$(awk '{s += $1} END {printf "%.0f\n", s}' "$work/logs/access.log")
# Each kill loses what the parts file had not named yet: the pieces in flight (at most 8
# connections of 8 MiB) less what the last save caught of them.
printf 'kills: %d, then a run to the end: MD5 %s (%s); bytes sent %.3f x the package, %.1f MiB lost per kill (pieces in flight: at most 64 MiB)\n' \
  "$kills" "$kill_md5" "$([ "$kill_md5" = "$want_md5" ] && echo right || echo WRONG)" \
  "$(echo "$sent / $bytes" | bc -l)" "$(echo "($sent - $bytes) / $kills / 1048576" | bc -l)"
