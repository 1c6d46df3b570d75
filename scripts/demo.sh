#!/usr/bin/env bash
# The launcher's whole road on this machine: the publisher's tool packs and signs a sample game, a
# loopback HTTPS server (nginx) serves it, and a launcher built against that server and trusting
# that key installs the game in a fresh working directory and starts it.
# A second run finds the game current and starts it without downloading. Then the publisher
# puts out 1.0.1 with one file changed, and a third run fetches only that file's entry (with the
# package's directory), not the package.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
source scripts/lib/loopback_server.sh
source scripts/lib/xvfb.sh
port="${DEMO_PORT:-48480}"
work="$root/build/demo-run"
build="$root/build/demo"

scripts/deps.sh

rm -rf "$work"
mkdir -p "$work"
scripts/make_test_pki.sh "$work/pki" >/dev/null

# The key exists before the launcher is configured: its public half is compiled in. The tool is
# built without one, since an earlier run's key, still in the build's cache, went with its folder.
echo "== the publisher's tool and the demo's signing key (unencrypted: a demo, not a release)"
TIDEWAKE_TEST_PORT="$port" cmake -S . -B "$build" -G Ninja -DTIDEWAKE_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLAUNCHER_PUBLIC_KEY= >/dev/null
cmake --build "$build" --target tidewake-publish >/dev/null
mkdir -p "$work/keys"
"$build/tidewake-publish" keygen -W -p "$work/keys/demo.pub" -s "$work/keys/demo.key"

echo "== building the launcher against https://localhost:$port/PCDownload/sq1/, trusting that key"
build_loopback_launcher "$build" "$port" "$work/pki/ca.pem" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLAUNCHER_PUBLIC_KEY="$work/keys/demo.pub"

echo "== publishing the sample game (signed)"
game="$work/game"
mkdir -p "$game/data/levels" "$game/资料" "$work/www/PCDownload/sq1"
cp "$build/demo/runa3D.exe" "$game/runa3D.exe"
for _ in $(seq 100); do echo "Sample game 1.0.0"; done >"$game/data/readme.txt"
# Incompressible, so the download shows progress for a while.
head -c $((8 * 1024 * 1024)) /dev/urandom >"$game/data/levels/level1.dat"
printf '示例游戏\n' >"$game/资料/说明.txt"
"$build/tidewake-publish" pack "$game" 1.0.0 "$work/www/PCDownload/sq1" --unsupported 0.x.x \
  -s "$work/keys/demo.key"
"$build/tidewake-publish" check "$work/www/PCDownload/sq1" -p "$work/keys/demo.pub"
nginx_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  stop_private_xvfb
}
trap cleanup EXIT
start_loopback_server "$work" "$port"

# A window when a display exists; otherwise under Xvfb when it is there (with a screenshot),
# else headless.
mode=headless
if x_display_usable; then
  mode=window
elif command -v Xvfb >/dev/null && start_private_xvfb 1280x800x24; then
  mode=xvfb
fi

run_launcher() {
  local label="$1"
  echo "== $label ($mode)"
  local start
  start=$(date +%s.%N)
  (cd "$work/player" && "$build/tidewake" --server=demo "two words" last) >"$work/$label.log" 2>&1 &
  local pid=$!
  if [ "$mode" = xvfb ]; then
    sleep 1.2
    import -window root "$work/$label.png" 2>/dev/null && echo "screenshot: $work/$label.png"
  fi
  wait "$pid" || true
  printf 'launcher ended after %.1f s, log: %s\n' "$(echo "$(date +%s.%N) - $start" | bc -l)" "$work/$label.log"
}

mkdir -p "$work/player"
run_launcher first-run
for _ in $(seq 50); do [ -s "$work/player/Kelpstone/game_received.txt" ] && break; sleep 0.1; done
echo "-- the game received:"
cat "$work/player/Kelpstone/game_received.txt"
echo "-- installed: $(cd "$work/player/Kelpstone" && find . -type f | sort | tr '\n' ' ')"

first_run_requests=$(grep -c '\.zip' "$work/nginx-access.log" || true)
echo "-- package requests of the first run: $first_run_requests (its byte ranges)"
rm -f "$work/player/Kelpstone/game_received.txt"
run_launcher second-run
for _ in $(seq 50); do [ -s "$work/player/Kelpstone/game_received.txt" ] && break; sleep 0.1; done
echo "-- signatures fetched over both runs: $(grep -c '\.minisig' "$work/nginx-access.log" || true) (config's each run, fileInfo's once: then its signed cache)"
echo "-- package requests of the second run: $(( $(grep -c '\.zip' "$work/nginx-access.log" || true) - first_run_requests )) (it downloads nothing)"
echo "-- the game received:"
cat "$work/player/Kelpstone/game_received.txt"

echo "== publishing 1.0.1: one file changed (signed)"
for _ in $(seq 100); do echo "Sample game 1.0.1"; done >"$game/data/readme.txt"
"$build/tidewake-publish" pack "$game" 1.0.1 "$work/www/PCDownload/sq1" --unsupported 1.0.0 \
  -s "$work/keys/demo.key"
"$build/tidewake-publish" check "$work/www/PCDownload/sq1" -p "$work/keys/demo.pub"
rm -f "$work/player/Kelpstone/game_received.txt"
log_lines=$(wc -l <"$work/nginx-access.log")
run_launcher third-run
for _ in $(seq 50); do [ -s "$work/player/Kelpstone/game_received.txt" ] && break; sleep 0.1; done
package_bytes=$(stat -c %s "$work/www/PCDownload/sq1/Marlwood77301/game_1_0_1.zip")
fetched=$(tail -n +"$((log_lines + 1))" "$work/nginx-access.log" |
  awk '$7 ~ /game_1_0_1\.zip/ { sum += $10 } END { print sum + 0 }')
echo "-- the launcher's log: $(grep -h "delta update of" "$work/player/tidewake.log" || echo "no differential update")"
echo "-- package bytes fetched by the third run: $fetched of the package's $package_bytes"
echo "-- installed readme: $(head -1 "$work/player/Kelpstone/data/readme.txt")"
echo "-- the game received:"
cat "$work/player/Kelpstone/game_received.txt"
