#!/usr/bin/env bash
# Differential updates against a real static HTTPS server (nginx on loopback): a 1 GiB package of
# a few thousand files is installed, then the next version, with 2 % of its bytes in changed
# files, is installed by fetching only the changed entries. Prints
#  - bytes fetched over (changed entries' compressed bytes + directory + end records), against
#    the bound 1.05;
#  - the differential update's time over the full update of the same version (the same start
#    with nothing known of the installed files: the whole package), both measured here, against
#    0.1, from the start; the same from the end of the check (the fileInfo's arrival, a time both
#    players share) to the game's start, which is the update itself;
#  - the same content republished as a new version: the bytes fetched, all of them end records
#    and directory.
#   scripts/bench.sh delta [FILES] [FILE_KIB] [CHANGED_PERCENT]
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$(pwd)"
source scripts/lib/loopback_server.sh
files="${1:-4096}"
file_kib="${2:-256}"
percent="${3:-2}"
port="${DELTA_BENCH_PORT:-48483}"
work="$root/build/bench-delta"
build="$root/build/bench-delta-launcher"

rm -rf "$work"
mkdir -p "$work/www/PCDownload/sq1"
scripts/make_test_pki.sh "$work/pki" >/dev/null
build_loopback_launcher "$build" "$port" "$work/pki/ca.pem" -DCMAKE_BUILD_TYPE=Release
echo "writing the packages: $files files of $file_kib KiB, $percent % changed in the next version"
mapfile -t layouts < <(python3 scripts/bench/delta_packages.py "$build/demo/runa3D.exe" \
  "$work/www/PCDownload/sq1" "$files" "$file_kib" "$percent")
chmod -R a+rX "$work"
nginx_pid=""
cleanup() { [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true; }
trap cleanup EXIT
start_loopback_server "$work" "$port"
folder="$work/www/PCDownload/sq1/Marlwood77301"
log="$work/nginx-access.log"

# The version the server offers; the previous one is out of support, so a fresh cached
# document of it does not keep the player there.
publish_version() {
  local unsupported='"0.x.x"'
  [ -n "${2:-}" ] && unsupported="\"$2\""
  printf '{"lastVersion":"%s","unsupportedVersions":[%s]}' "$1" "$unsupported" >"$folder/config.json"
}
timer="$root/scripts/bench/time_to_file.py"
launch() {
  timeout 600 python3 "$timer" "$1" Kelpstone/game_received.txt --may-end-first -- "$build/tidewake" bench
}
# Seconds from the fileInfo's arrival (its run log line) to the game's start (its file's time).
update_seconds() {
  python3 - "$1" <<'PY'
import datetime, os, re, sys
player = sys.argv[1]
arrived = None
with open(os.path.join(player, "tidewake.log"), encoding="utf-8", errors="replace") as log:
    for line in log:
        match = re.match(r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})Z http post succ to \S*fileInfo_", line)
        if match:
            arrived = datetime.datetime.strptime(match.group(1), "%Y-%m-%d %H:%M:%S.%f")
started = os.stat(os.path.join(player, "Kelpstone", "game_received.txt")).st_mtime
epoch = arrived.replace(tzinfo=datetime.timezone.utc).timestamp()
print(f"{started - epoch:.3f}")
PY
}
# Body bytes nginx sent for a version's package since the log had $1 lines.
package_bytes() {
  tail -n +"$(($1 + 1))" "$log" | awk -v zip="game_$2.zip" '$7 ~ zip { sum += $10 } END { print sum + 0 }'
}
log_lines() { wc -l <"$log"; }
field() { echo "${layouts[$1]}" | cut -d' ' -f"$2"; }

echo "package 1.0.1: $(($(field 1 2) / 1048576)) MiB"
for player in delta full; do
  rm -rf "$work/$player" && mkdir -p "$work/$player"
  publish_version 1.0.0
  launch "$work/$player" >/dev/null
done
# Nothing known per entry: this player's update is the whole package.
rm "$work/full/Kelpstone/.tidewake-manifest"

publish_version 1.0.1 1.0.0
sync
before=$(log_lines)
full_s=$(launch "$work/full")
full_bytes=$(package_bytes "$before" 1_0_1)
full_update_s=$(update_seconds "$work/full")
sync
before=$(log_lines)
delta_s=$(launch "$work/delta")
delta_bytes=$(package_bytes "$before" 1_0_1)
delta_update_s=$(update_seconds "$work/delta")
grep -h "delta update of" "$work/delta/tidewake.log" | tail -1 || true
cmp -s <(cd "$work/delta/Kelpstone" && find data -type f -exec md5sum {} + | sort -k2) \
       <(cd "$work/full/Kelpstone" && find data -type f -exec md5sum {} + | sort -k2) ||
  { echo "the two players' installed files differ" >&2; exit 1; }

publish_version 1.0.2 1.0.1
before=$(log_lines)
launch "$work/delta" >/dev/null
republish_bytes=$(package_bytes "$before" 1_0_2)

needed=$(($(field 1 3) + $(field 1 4) + $(field 1 5)))
printf 'full update: %d bytes in %.2f s; differential update: %d bytes in %.2f s\n' \
  "$full_bytes" "$full_s" "$delta_bytes" "$delta_s"
printf 'bytes fetched / (changed entries %d + directory %d + end records %d): %.4f (bound <= 1.05)\n' \
  "$(field 1 3)" "$(field 1 4)" "$(field 1 5)" "$(echo "$delta_bytes / $needed" | bc -l)"
printf 'differential / full update time: %.3f (target <= 0.1)\n' "$(echo "$delta_s / $full_s" | bc -l)"
printf 'from the end of the check to the game: %.2f s / %.2f s = %.3f (target <= 0.1)\n' \
  "$delta_update_s" "$full_update_s" "$(echo "$delta_update_s / $full_update_s" | bc -l)"
printf 'republished as 1.0.2: %d bytes fetched; directory %d + end records %d = %d\n' \
  "$republish_bytes" "$(field 2 4)" "$(field 2 5)" "$(($(field 2 4) + $(field 2 5)))"
