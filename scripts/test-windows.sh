#!/usr/bin/env bash
# The Windows stage of the tests: cross-builds the launcher and its Windows test suites with
# MinGW-w64, runs the suites under Wine (zh_CN locale, so the ANSI code page is 936; the cases that
# must hold in any code page also under en_US, 1252) on a private Xvfb display, then the launcher
# road suite against the Windows exe (the Linux suite's Windows instances: its test server and
# assertions, the exe under Wine, every message box answered from the keyboard) and the whole road
# against nginx (scripts/windows-road.sh).
#
# Fails when a Windows test fails. What the machine lacks (packages, the Wine prefix, the cross-
# built libraries) is made here, each step bounded by a time-out and kept for the next run.
#
#   scripts/test-windows.sh [--build | --run]
# --build stops once everything the stage runs is built (no Wine, no display: scripts/test.sh
# runs it in the background while the sanitizer suites leave a core idle); --run then runs what
# it built; neither does both.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib/locale.sh
source scripts/lib/wine_prefix.sh
source scripts/lib/xvfb.sh
stage_start=$(date +%s)
step() { echo "== windows: $* ($(( $(date +%s) - stage_start )) s)"; }

mode=all
case "${1:-}" in
  --build) mode=build ;;
  --run) mode=run ;;
  "") ;;
  *) echo "usage: $0 [--build | --run]" >&2; exit 2 ;;
esac

build_stage() {
  step "packages"
  scripts/deps.sh g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev wine wine64 \
    fonts-wqy-zenhei locales dpkg-dev xvfb xdotool imagemagick autoconf automake libtool make

  step "libcurl, libsodium and minizip for Windows"
  scripts/build-windows-deps.sh

  step "configure and build"
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw
  # The road suite runs on Linux and drives the Windows exe: its Linux build (the default
  # preset's, which the optimised stage of scripts/test.sh reuses).
  cmake --preset default >/dev/null
  cmake --build --preset default --target tidewake_app_tests
  step "the launcher of the road under Wine"
  scripts/windows-road.sh --build
}
if [ "$mode" != run ]; then build_stage; fi
if [ "$mode" = build ]; then
  step "built"
  exit 0
fi

# --- Wine: prefixes of our own under build/, each made once under the locale it stands for -----
cleanup() {
  stop_entered_wineservers
  stop_private_xvfb
}
trap cleanup EXIT

# A display of our own, kept up between the Wine programs.
start_private_xvfb 1600x1000x24 || exit 1

# The code page cases run again under en_US (ANSI code page 1252; ctest's win32.cp1252 names the
# prefix), then every suite and the road under zh_CN (936), whose environment stays.
step "Wine session, en_US"
enter_wine_locale "$root" en_US.UTF-8 || exit 1
step "Wine session, zh_CN"
enter_wine_locale "$root" zh_CN.UTF-8 || exit 1
# The road suite's high-DPI case runs the launcher on a screen of 144 DPI: a copy of the zh_CN
# prefix, so that every other case keeps 96.
step "Wine prefix of 144 DPI"
export TIDEWAKE_WINE_PREFIX_144DPI="$root/build/wine-prefix-dpi144"
copy_wine_prefix_with_dpi "$WINEPREFIX" "$TIDEWAKE_WINE_PREFIX_144DPI" 144 || exit 1

step "unit tests under Wine"
ctest --preset mingw

step "launcher road suite against the Windows exe"
TIDEWAKE_WINDOWS_LAUNCHER="$root/build/mingw/tidewake.exe" timeout -k 10 900 \
  build/default/tests/tidewake_app_tests --gtest_color=no --gtest_filter="Windows/*"

if [ -x scripts/windows-road.sh ]; then
  step "launcher road under Wine"
  scripts/windows-road.sh
fi
step "done"
