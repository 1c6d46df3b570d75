#!/usr/bin/env bash
# The Windows launcher's whole road under Wine + Xvfb: a loopback HTTPS server (nginx) publishes
# the sample game built for Windows as a signed release (its documents signed with Debian's
# minisign), the launcher built against it (its CA compiled in and handed to libcurl, since
# Schannel under Wine verifies only that way; the release's public key compiled in) installs the
# game in a fresh working directory and starts it with its own arguments. Checked: the launcher's
# exit code, the installed files, what the game received, that both signatures were fetched, and a
# screenshot whose opaque pixels show the splash. A second run finds the game current and
# downloads nothing.
#
# Environment (scripts/test-windows.sh sets them; standalone runs get these defaults): WINEPREFIX
# (build/wine-prefix), LOCPATH (compiled locales, build/locale), DISPLAY (an X server to use;
# else a private Xvfb), WINDOWS_ROAD_PORT (48481).
# Needs the packages of scripts/test-windows.sh and the libraries of scripts/build-windows-deps.sh.
# With --build it only builds the launcher and the sample game (no Wine, no display), so that a
# later run finds them built.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
source scripts/lib/loopback_server.sh
source scripts/lib/locale.sh
source scripts/lib/wine_prefix.sh
source scripts/lib/xvfb.sh
port="${WINDOWS_ROAD_PORT:-48481}"
build_only=0
[ "${1:-}" = --build ] && build_only=1
work="$root/build/windows-road"
build="$root/build/mingw-road"
# Kept between runs: a new key would rebuild the launcher each time.
keys="$root/build/windows-road-signing"
use_wine_prefix "${WINEPREFIX:-$root/build/wine-prefix}"

fail() {
  echo "windows road: FAIL: $*"
  exit 1
}

# The ANSI code page is 936 only under a Chinese locale; the Wine prefix is made under it too.
use_private_locale "${LOCPATH:-$root/build/locale}" zh_CN.UTF-8 || fail "no zh_CN.UTF-8 locale"

echo "== windows road: building the launcher against https://localhost:$port/PCDownload/sq1/"
rm -rf "$work"
mkdir -p "$work/player" "$work/www/PCDownload/sq1"
# The CA is kept with the key, renewed a day before it expires: its bytes are compiled in, and a
# new one would rebuild the launcher that --build made.
if ! openssl x509 -checkend 86400 -noout -in "$keys/pki/ca.pem" >/dev/null 2>&1; then
  rm -rf "$keys/pki"
fi
scripts/make_test_pki.sh "$keys/pki" >/dev/null
cp -r "$keys/pki" "$work/pki"
scripts/build-windows-deps.sh >/dev/null
if [ ! -s "$keys/release.pub" ] || [ ! -s "$keys/release.key" ]; then
  mkdir -p "$keys"
  rm -f "$keys/release.pub" "$keys/release.key"
  minisign -G -W -p "$keys/release.pub" -s "$keys/release.key" </dev/null >/dev/null ||
    fail "no signing key"
fi
build_loopback_launcher "$build" "$port" "$keys/pki/ca.pem" \
  --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLAUNCHER_PUBLIC_KEY="$keys/release.pub"
[ "$build_only" = 1 ] && exit 0

echo "== windows road: publishing the sample game"
python3 demo/make_package.py "$build/demo/runa3D.exe" "$work/www/PCDownload/sq1" 1.0.0 8
documents="$work/www/PCDownload/sq1/Marlwood77301"
minisign -S -s "$keys/release.key" -m "$documents/config.json" "$documents/fileInfo_1_0_0.json" \
  </dev/null >/dev/null || fail "the documents could not be signed"
nginx_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  stop_wineserver
  stop_private_xvfb
}
trap cleanup EXIT
start_loopback_server "$work" "$port"

x_display_usable || start_private_xvfb 1280x800x24 || fail "no X display"
read -r screen_w screen_h < <(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p' | head -1)

if ! wine_prefix_ready; then
  echo "== windows road: creating the Wine prefix $WINEPREFIX"
  make_wine_prefix || fail "the Wine prefix could not be made"
fi

# Runs the launcher in the player's folder. With a screenshot folder, the screen is photographed
# every few tenths of a second while the launcher runs: a quick road on loopback shows its splash
# for only a second or two.
run_launcher() {
  local label="$1" shots="$2"
  echo "== windows road: $label"
  (cd "$work/player" && exec wine "$build/tidewake.exe" --server=demo "two words" last) \
    >"$work/$label.log" 2>&1 &
  local pid=$!
  if [ -n "$shots" ]; then
    mkdir -p "$shots"
    for _ in $(seq 400); do
      xdotool search --name '^Tidewake$' >/dev/null 2>&1 && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.02
    done
    local n=0
    while kill -0 "$pid" 2>/dev/null && [ "$n" -lt 20 ]; do
      n=$((n + 1))
      import -window root "$shots/$(printf %02d "$n").png" 2>/dev/null || true
      sleep 0.1
    done
  fi
  local rc=0
  wait "$pid" || rc=$?
  echo "launcher exit code: $rc (log: $work/$label.log)"
  if [ "$rc" -ne 0 ]; then
    tail -20 "$work/$label.log" "$work/player/tidewake.log" 2>/dev/null || true
    fail "$label: the launcher ended with $rc"
  fi
  # The game runs on after the launcher ended: wait for what it writes. (The stage keeps one
  # wineserver up for all its programs, so waiting for the server would last its whole time-out.)
  for _ in $(seq 300); do
    [ -s "$work/player/Kelpstone/game_received.txt" ] && break
    sleep 0.1
  done
}

expect_received() {
  local received="$work/player/Kelpstone/game_received.txt"
  [ -s "$received" ] || fail "the game was not started (no $received)"
  echo "-- the game received:"
  cat "$received"
  tr -d '\r' <"$received" >"$work/received.txt"
  grep -qi '^cwd=.*[\\/]player[\\/]Kelpstone$' "$work/received.txt" || fail "game working directory"
  # An argument with a blank reaches the game as two words, as on every platform.
  printf 'argc=4\narg1=--server=demo\narg2=two\narg3=words\narg4=last\n' >"$work/expected-args.txt"
  grep -v '^cwd=' "$work/received.txt" | cmp -s - "$work/expected-args.txt" ||
    fail "the game's arguments differ from the launcher's"
}

# The suites before this one leave the prefix's server stopped or still ending, and a copy of
# theirs could hold the launcher's named mutex: a server of this run's own, proven to start
# programs.
stop_wineserver
wine_starts_programs || fail "Wine does not start programs"
run_launcher first-run "$work/first-run-shots"
expect_received
for f in runa3D.exe data/readme.txt data/levels/level1.dat; do
  [ -f "$work/player/Kelpstone/$f" ] || fail "fresh install lacks $f"
done
echo "-- installed: $(cd "$work/player/Kelpstone" && find . -type f | sort | tr '\n' ' ')"
[ ! -e "$work/player/Marlwood77301" ] || fail "the package folder was left behind"
for signature in config.json.minisig fileInfo_1_0_0.json.minisig; do
  grep -q "GET [^ ]*/Marlwood77301/$signature[? ]" "$work/nginx-access.log" ||
    fail "the launcher did not fetch $signature"
done
shown=""
for shot in "$work"/first-run-shots/*.png; do
  [ -s "$shot" ] || continue
  if python3 scripts/windows_road_check.py "$shot" resources/png/1005_background.png \
    "$screen_w" "$screen_h" 1110 492; then
    shown="$shot"
    break
  fi
done
[ -n "$shown" ] || fail "no screenshot shows the splash ($work/first-run-shots)"
cp "$shown" "$work/first-run.png"
echo "screenshot: $work/first-run.png"

# The first run may fetch the package as several ranges; the second must fetch none of it.
first_downloads=$(grep -c '\.zip' "$work/nginx-access.log" || true)
[ "$first_downloads" -ge 1 ] || fail "the first run fetched no package"
rm -f "$work/player/Kelpstone/game_received.txt"
run_launcher second-run ""
expect_received
downloads=$(grep -c '\.zip' "$work/nginx-access.log" || true)
[ "$downloads" -eq "$first_downloads" ] ||
  fail "$((downloads - first_downloads)) package requests in the second run (it must download nothing)"
echo "windows road: PASS (signed release: fresh install, game started with the launcher's arguments, splash on screen, second run current)"
