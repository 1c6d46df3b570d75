# Sourced by the scripts that run the Windows build under Wine (Windows tests and road).
#   use_wine_prefix PREFIX
# exports WINEPREFIX=PREFIX and what every Wine run here wants: a 64-bit prefix, no debug output,
# and no Mono or Gecko (the launcher needs neither, and their install prompts would wait forever).
#   wine_prefix_ready
# true when $WINEPREFIX was made completely by make_wine_prefix (it is kept for the next runs).
#   make_wine_prefix
# makes $WINEPREFIX afresh under the locale of the environment (LANG, LC_ALL: the ANSI code page
# follows it), with WenQuanYi Zen Hei for the Song faces. Every Wine step is bounded by a
# time-out; a failed attempt is tried once more; prints why and returns 1 when both fail.
#   stop_wineserver
# ends every Wine process of the prefix; for the caller's EXIT trap.
use_wine_prefix() {
  export WINEPREFIX="$1" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
}

wine_prefix_ready() {
  [ -f "$WINEPREFIX/.tidewake-ready" ]
}

make_wine_prefix_once() {
  rm -rf "$WINEPREFIX"
  timeout -k 10 180 wineboot -i >/dev/null 2>&1 || return 1
  timeout -k 10 60 wineserver -w || return 1
  # GDI+ finds no Chinese family under Wine: the launcher's Song face becomes WenQuanYi Zen Hei.
  local face
  for face in "宋体" "SimSun" "NSimSun"; do
    timeout -k 10 60 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ \
      /d "WenQuanYi Zen Hei" /f >/dev/null 2>&1 || return 1
  done
  timeout -k 10 60 wineserver -w || return 1
  date >"$WINEPREFIX/.tidewake-ready"
}

make_wine_prefix() {
  make_wine_prefix_once || make_wine_prefix_once || {
    echo "the Wine prefix could not be made" >&2
    return 1
  }
}

stop_wineserver() {
  timeout -k 5 30 wineserver -k 2>/dev/null || true
}
