#!/usr/bin/env bash
# The launcher's whole road on this machine: a loopback HTTPS server (nginx) publishes a sample
# game, a launcher built against it installs the game in a fresh working directory and starts it.
# A second run finds the game current and starts it without downloading.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
source scripts/lib/loopback_server.sh
source scripts/lib/xvfb.sh
port="${DEMO_PORT:-48480}"
work="$root/build/demo-run"
build="$root/build/demo"

scripts/deps.sh

echo "== building the launcher against https://localhost:$port/PCDownload/sq1/"
rm -rf "$work"
mkdir -p "$work"
scripts/make_test_pki.sh "$work/pki" >/dev/null
build_loopback_launcher "$build" "$port" "$work/pki/ca.pem" -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== publishing the sample game"
mkdir -p "$work/www/PCDownload/sq1"
python3 demo/make_package.py "$build/demo/runa3D.exe" "$work/www/PCDownload/sq1" 1.0.0 8
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

rm -f "$work/player/Kelpstone/game_received.txt"
run_launcher second-run
for _ in $(seq 50); do [ -s "$work/player/Kelpstone/game_received.txt" ] && break; sleep 0.1; done
echo "-- package requests over both runs: $(grep -c '\.zip' "$work/nginx-access.log" || true) (the second run downloads nothing)"
echo "-- the game received:"
cat "$work/player/Kelpstone/game_received.txt"
