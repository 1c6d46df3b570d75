#!/usr/bin/env bash
# The Windows stage of the tests: cross-builds the launcher and its Windows test suites with
# MinGW-w64, runs the suites under Wine (zh_CN locale, so the ANSI code page is 936) on a private
# Xvfb display, then the whole launcher road under Wine (scripts/windows-road.sh).
#
# Fails when a Windows test fails. What the machine lacks (packages, the Wine prefix, the cross-
# built libraries) is made here, each step bounded by a time-out and kept for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
stage_start=$(date +%s)
step() { echo "== windows: $* ($(( $(date +%s) - stage_start )) s)"; }

step "packages"
scripts/deps.sh g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev wine wine64 \
  fonts-wqy-zenhei locales dpkg-dev xvfb xdotool imagemagick

step "libcurl and minizip for Windows"
scripts/build-windows-deps.sh

step "configure and build"
cmake --preset mingw >/dev/null
cmake --build --preset mingw

# --- Wine: a prefix of our own under build/, made once under the locale the tests use ---------
export LOCPATH=$root/build/locale
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 2>/dev/null
export WINEPREFIX=$root/build/wine-prefix
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko: the launcher needs neither, and their install prompts would wait forever.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$LOCPATH/zh_CN.UTF-8/LC_CTYPE" ]; then
  mkdir -p "$LOCPATH"
  localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8" 2>/dev/null ||
    [ -f "$LOCPATH/zh_CN.UTF-8/LC_CTYPE" ]
fi

xvfb_pid=""
cleanup() {
  timeout -k 5 30 wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# A free display of our own; -noreset keeps it up between the Wine programs.
for n in $(seq 91 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1600x1000x24 -noreset -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
    export DISPLAY=":$n"
    break
  fi
  xvfb_pid=""
done
[ -n "${DISPLAY:-}" ] || { echo "no Xvfb display could be started" >&2; exit 1; }

make_prefix() {
  rm -rf "$WINEPREFIX"
  timeout -k 10 180 wineboot -i >/dev/null 2>&1 || return 1
  timeout -k 10 60 wineserver -w || return 1
  # GDI+ finds no Chinese family of its own: the launcher's Song face is WenQuanYi Zen Hei.
  for face in "宋体" "SimSun" "NSimSun"; do
    timeout -k 10 60 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ \
      /d "WenQuanYi Zen Hei" /f >/dev/null 2>&1 || return 1
  done
  timeout -k 10 60 wineserver -w || return 1
  date >"$WINEPREFIX/.tidewake-ready"
}
if [ ! -f "$WINEPREFIX/.tidewake-ready" ]; then
  step "Wine prefix"
  make_prefix || make_prefix || { echo "the Wine prefix could not be made" >&2; exit 1; }
fi

step "Wine session"
# One wineserver, with Wine's own services, for the whole stage, started here: had the first
# test started them, they would inherit its output pipe and ctest would wait for them to end.
# (A server that already runs for this prefix is kept.)
timeout -k 10 60 wineserver -p </dev/null >/dev/null 2>&1 || true
timeout -k 10 120 wine cmd /c exit </dev/null >/dev/null 2>&1 ||
  { echo "Wine does not start programs in $WINEPREFIX" >&2; exit 1; }

step "unit tests under Wine"
ctest --preset mingw

if [ -x scripts/windows-road.sh ]; then
  step "launcher road under Wine"
  scripts/windows-road.sh
fi
step "done"
