#!/usr/bin/env bash
# A differential update killed halfway through its one changed entry of 1 GiB, against nginx on
# loopback: the next start keeps what the small zip holds and asks only for the rest. Prints the
# bytes of the package the restart fetched over the changed entry's bytes, against the bound 0.55.
#   scripts/bench.sh delta_resume [ENTRY_MIB]
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$(pwd)"
source scripts/lib/loopback_server.sh
entry_mib="${1:-1024}"
port="${DELTA_BENCH_PORT:-48484}"
work="$root/build/bench-delta-resume"
build="$root/build/bench-delta-launcher"

rm -rf "$work"
mkdir -p "$work/www/PCDownload/sq1" "$work/player"
scripts/make_test_pki.sh "$work/pki" >/dev/null
build_loopback_launcher "$build" "$port" "$work/pki/ca.pem" -DCMAKE_BUILD_TYPE=Release
echo "writing the packages: one entry of $entry_mib MiB, all of it changed in the next version"
mapfile -t layouts < <(python3 scripts/bench/delta_packages.py "$build/demo/runa3D.exe" \
  "$work/www/PCDownload/sq1" 1 "$((entry_mib * 1024))" 100)
chmod -R a+rX "$work"
nginx_pid=""
cleanup() { [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true; }
trap cleanup EXIT
start_loopback_server "$work" "$port"
folder="$work/www/PCDownload/sq1/Marlwood77301"
log="$work/nginx-access.log"
field() { echo "${layouts[$1]}" | cut -d' ' -f"$2"; }
publish_version() {
  printf '{"lastVersion":"%s","unsupportedVersions":["%s"]}' "$1" "${2:-0.x.x}" >"$folder/config.json"
}

publish_version 1.0.0
timeout 600 python3 scripts/bench/time_to_file.py "$work/player" Kelpstone/game_received.txt \
  --may-end-first -- "$build/tidewake" >/dev/null
publish_version 1.0.1 1.0.0
changed=$(field 1 3)
# Killed once the small zip holds half of the changed entry.
python3 - "$build/tidewake" "$work/player" "$changed" <<'PY'
import os, signal, subprocess, sys, time
launcher, player, changed = sys.argv[1], sys.argv[2], int(sys.argv[3])
small = os.path.join(player, "Marlwood77301", "game_1_0_1.zip.delta.zip")
run = subprocess.Popen([launcher], cwd=player, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env={k: v for k, v in os.environ.items() if k != "DISPLAY"})
deadline = time.monotonic() + 300
while time.monotonic() < deadline:
    if os.path.exists(small) and os.path.getsize(small) >= changed // 2:
        break
    time.sleep(0.002)
run.send_signal(signal.SIGKILL)
run.wait()
print(f"killed with {os.path.getsize(small)} bytes of the {changed}-byte entry in the small zip")
PY
before=$(wc -l <"$log")
timeout 600 python3 scripts/bench/time_to_file.py "$work/player" Kelpstone/game_received.txt \
  --may-end-first -- "$build/tidewake" >/dev/null
fetched=$(tail -n +"$((before + 1))" "$log" | awk '$7 ~ /game_1_0_1.zip/ { sum += $10 } END { print sum + 0 }')
grep -h "kept from an earlier run" "$work/player/tidewake.log" | tail -1 || true
cmp -s "$work/player/Kelpstone/data/part0/file0.bin" <(unzip -p "$folder/game_1_0_1.zip" data/part0/file0.bin) ||
  { echo "the installed entry differs from the package's" >&2; exit 1; }
printf 'restart fetched %d bytes of the package for a changed entry of %d: %.4f (bound <= 0.55)\n' \
  "$fetched" "$changed" "$(echo "$fetched / $changed" | bc -l)"
