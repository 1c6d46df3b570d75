#!/usr/bin/env bash
# Playable when the download ends: the launcher's whole update against nginx, in a network
# namespace of its own (loopback only).
#  1. The loopback shaped to 200 Mbit/s (tbf): seconds from the launcher's first package byte to
#     the game's start, against one curl downloading the same package alone (target <= 1.05 x).
#  2. The loopback without a cap: the whole update less the launcher's fixed waits (the two
#     documents' 500 ms fetch delays) against curl + md5sum + unzip in a row (target <= 0.45).
#     The launcher's peak RSS (target <= 64 MiB).
#  3. KILLS kills at random moments of an update from 1.0.0 to 1.0.1 (a smaller package), each
#     followed by a start that must end with 1.0.1 byte for byte; a game started by a killed run
#     must have found the whole of 1.0.1 too.
#   scripts/bench.sh playable [PACKAGE_MIB] [FILES] [RUNS] [KILLS] [KILL_PACKAGE_MIB]
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "${1:-}" != --inside ]; then
  [ "$(id -u)" = 0 ] || { echo "the rig needs root (network namespace, tc)" >&2; exit 1; }
  exec unshare -n bash "$0" --inside "$@"
fi
shift
root=$PWD
source scripts/lib/loopback_server.sh
package_mib="${1:-1024}"
files="${2:-4096}"
runs="${3:-3}"
kills="${4:-50}"
kill_mib="${5:-256}"
port=48484
link_mbit=200
work="$root/build/bench-playable"
build="${PLAYABLE_LAUNCHER_BUILD:-$root/build/bench-playable-launcher}"
timer="$root/scripts/bench/time_to_file.py"

ip link set lo up
rm -rf "$work"
mkdir -p "$work/www/PCDownload/sq1" "$work/chain"
scripts/make_test_pki.sh "$work/pki" >/dev/null
build_loopback_launcher "$build" "$port" "$work/pki/ca.pem" -DCMAKE_BUILD_TYPE=Release
# Half the files are text that deflates to about a fifth, half random bytes stored as they are:
# five thirds as much content makes a package of about PACKAGE_MIB.
make_release() {  # VERSION PACKAGE_MIB FILES; prints "zip_path md5 bytes"
  python3 demo/make_package.py "$build/demo/runa3D.exe" "$work/www/PCDownload/sq1" "$1" \
    "$(($2 * 5 / 3))" "$3" | tail -1
}
read -r zip_path _ zip_bytes < <(make_release 1.0.0 "$package_mib" "$files")
zip_rel="Marlwood77301/$(basename "$zip_path")"
url="https://localhost:$port/PCDownload/sq1/$zip_rel"
chmod -R a+rX "$work"
nginx_pid=""
trap '[ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true' EXIT
start_loopback_server "$work" "$port"

now() { date +%s.%N; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
# Neither side of a comparison pays for what the run before it left unwritten.
settle_disk() { sync; }
# A fresh install; prints "seconds_from_start seconds_from_first_package_byte peak_rss_kib
# cpu_seconds".
update_once() {
  rm -rf "$work/player" && mkdir -p "$work/player"
  settle_disk
  local times
  times=$(python3 "$timer" "$work/player" Kelpstone/game_received.txt --since "$zip_rel" -- \
    /usr/bin/time -f "%M %U %S" -o "$work/rss.txt" sh -c "exec '$build/tidewake' bench >'$work/update.log' 2>&1")
  cp "$work/player/tidewake.log" "$work/update-$1.log"
  local rss user sys
  read -r rss user sys <"$work/rss.txt"
  echo "$times $rss $(echo "$user + $sys" | bc -l)"
}
curl_once() {
  rm -f "$work/chain/pkg.zip"
  settle_disk
  local start
  start=$(now)
  curl -sf --cacert "$work/pki/ca.pem" -o "$work/chain/pkg.zip" "$url"
  echo "$(now) - $start" | bc -l
}
chain_once() {
  rm -rf "$work/chain" && mkdir -p "$work/chain"
  settle_disk
  local start
  start=$(now)
  curl -sf --cacert "$work/pki/ca.pem" -o "$work/chain/pkg.zip" "$url"
  md5sum "$work/chain/pkg.zip" >/dev/null
  unzip -o -q "$work/chain/pkg.zip" -d "$work/chain/Kelpstone"
  echo "$(now) - $start" | bc -l
}
# Every entry of the zip is in the folder with its bytes (CRC-32 and length).
tree_matches() { python3 "$root/scripts/bench/tree_matches.py" "$1" "$2"; }

echo "package: $((zip_bytes / 1048576)) MiB, $files files; $runs run(s) each"

# --- 1. shaped ---------------------------------------------------------------------------------
tc qdisc add dev lo root tbf rate "${link_mbit}mbit" burst 1mb latency 50ms
shaped_curl=() shaped_ours=()
for _ in $(seq "$runs"); do
  shaped_curl+=("$(curl_once)")
  read -r _ since _ _ < <(update_once shaped)
  tree_matches "$zip_path" "$work/player/Kelpstone" || exit 1
  shaped_ours+=("$since")
done
tc qdisc del dev lo root
c=$(printf '%s\n' "${shaped_curl[@]}" | median)
o=$(printf '%s\n' "${shaped_ours[@]}" | median)
printf 'shaped %d Mbit/s: first package byte to game started %.2f s; one curl alone %.2f s: %.3f x (target <= 1.05)\n' \
  "$link_mbit" "$o" "$c" "$(echo "$o / $c" | bc -l)"

# --- 2. uncapped -------------------------------------------------------------------------------
chain=() ours=() peak=() cpu=()
for _ in $(seq "$runs"); do
  chain+=("$(chain_once)")
  read -r whole _ rss seconds < <(update_once loopback)
  tree_matches "$zip_path" "$work/player/Kelpstone" || exit 1
  ours+=("$whole") peak+=("$rss") cpu+=("$seconds")
done
c=$(printf '%s\n' "${chain[@]}" | median)
o=$(printf '%s\n' "${ours[@]}" | median)
p=$(printf '%s\n' "${peak[@]}" | sort -g | tail -1)
printf 'loopback: whole update %.2f s (less the fixed 1.0 s: %.2f s); curl+md5sum+unzip %.2f s: %.3f (target <= 0.45)\n' \
  "$o" "$(echo "$o - 1.0" | bc -l)" "$c" "$(echo "($o - 1.0) / $c" | bc -l)"
printf 'peak RSS of the launcher: %.1f MiB (target <= 64)\n' "$(echo "$p / 1024" | bc -l)"
# Downloading, hashing and unpacking at once is bound by the cores: what the launcher spent.
printf 'launcher CPU (user + system): %.2f s on %d cores\n' \
  "$(printf '%s\n' "${cpu[@]}" | median)" "$(nproc)"
# What the last update staged, and what its install took from the package instead.
grep -h 'stage:\|staged install:' "$work/update.log" || true

# --- 3. kills ----------------------------------------------------------------------------------
[ "$kills" -gt 0 ] || exit 0
kill_files=$((files * kill_mib / package_mib))
rm -rf "$work/www/PCDownload/sq1/Marlwood77301"
read -r old_zip _ _ < <(make_release 1.0.0 "$kill_mib" "$kill_files")
rm -rf "$work/player" "$work/player-old" && mkdir -p "$work/player"
python3 "$timer" "$work/player" Kelpstone/game_received.txt -- "$build/tidewake" bench >/dev/null
tree_matches "$old_zip" "$work/player/Kelpstone" || exit 1
# No manifest: the update takes the whole package (with its stage), not the differential road.
rm -f "$work/player/Kelpstone/game_received.txt" "$work/player/Kelpstone/.tidewake-manifest"
mv "$work/player" "$work/player-old"
read -r new_zip _ _ < <(make_release 1.0.1 "$kill_mib" "$kill_files")
# A supported version with a fresh cache would be left as it is.
printf '{"lastVersion": "1.0.1", "unsupportedVersions": ["1.0.0"]}\n' \
  >"$work/www/PCDownload/sq1/Marlwood77301/config.json"
chmod -R a+rX "$work/www"
# How long a whole update takes, so the kills fall anywhere in it.
cp -a "$work/player-old" "$work/player"
start=$(now)
python3 "$timer" "$work/player" Kelpstone/game_received.txt -- "$build/tidewake" bench >/dev/null
span=$(echo "$(now) - $start" | bc -l)
tree_matches "$new_zip" "$work/player/Kelpstone" || exit 1
declare -A landed=()
bad=0
for k in $(seq "$kills"); do
  rm -rf "$work/player" && cp -a "$work/player-old" "$work/player"
  (cd "$work/player" && exec env -u DISPLAY "$build/tidewake" bench >"$work/killed.log" 2>&1) &
  pid=$!
  # Past the documents' fixed delays (1 s), anywhere in the update that follows.
  sleep "$(python3 -c "import random; print(round(random.uniform(0.9, $span), 3))")"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if grep -q 'staged install:' "$work/killed.log"; then where=moves
  elif grep -q 'download succ' "$work/killed.log"; then where=check
  else where=download; fi
  [ -f "$work/player/Kelpstone/game_received.txt" ] && where=started
  landed[$where]=$((${landed[$where]:-0} + 1))
  # A game the killed run started must have found the new version whole.
  if [ "$where" = started ] && ! tree_matches "$new_zip" "$work/player/Kelpstone"; then
    echo "kill $k: the game started from a tree that is not 1.0.1" >&2
    bad=$((bad + 1))
  fi
  rm -f "$work/player/Kelpstone/game_received.txt"
  python3 "$timer" "$work/player" Kelpstone/game_received.txt -- "$build/tidewake" bench >/dev/null
  if ! tree_matches "$new_zip" "$work/player/Kelpstone"; then
    echo "kill $k (during $where): the next start did not end with 1.0.1" >&2
    bad=$((bad + 1))
  fi
done
summary=""
for where in download check moves started; do summary+=" $where ${landed[$where]:-0},"; done
printf 'kills: %d (landed in:%s), next starts ending with 1.0.1 byte for byte: %d of %d\n' \
  "$kills" "${summary%,}" "$((kills - bad))" "$kills"
[ "$bad" = 0 ]
