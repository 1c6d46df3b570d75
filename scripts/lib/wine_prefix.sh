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
#   wine_prefix_for_locale ROOT LOCALE
# prints the prefix kept for LOCALE below ROOT/build: wine-prefix for zh_CN.UTF-8 (ANSI code page
# 936, the one most runs use), wine-prefix-en_US for en_US.UTF-8 (1252), and so on. A prefix keeps
# the locale it was made under, so each locale has its own.
#   enter_wine_locale ROOT LOCALE
# switches the environment to LOCALE and its prefix: compiles the locale into ROOT/build/locale
# (lib/locale.sh), makes the prefix when it is not ready, and starts its wineserver with Wine's
# services, so that no test's program starts them (they would inherit its output pipe, and ctest
# would wait for them to end). Needs an X display. Returns 1 (having said why) on failure.
#   stop_entered_wineservers
# stop_wineserver for every prefix enter_wine_locale or copy_wine_prefix_with_dpi named; for the
# caller's EXIT trap.
#   copy_wine_prefix_with_dpi SOURCE TARGET DPI
# makes TARGET, once (it is kept), a copy of the ready prefix SOURCE whose screen has DPI dots
# per inch (LogPixels: 144 is 150 %), for the cases of a high-DPI screen; SOURCE keeps its own.
# Its Wine services start with the first program run in it. Returns 1 (having said why) on
# failure.
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

wine_prefix_for_locale() {
  local root="$1" locale="$2"
  if [ "$locale" = zh_CN.UTF-8 ]; then
    echo "$root/build/wine-prefix"
  else
    echo "$root/build/wine-prefix-${locale%%.*}"
  fi
}

entered_wine_prefixes=()

enter_wine_locale() {
  local root="$1" locale="$2"
  use_private_locale "$root/build/locale" "$locale" || return 1
  use_wine_prefix "$(wine_prefix_for_locale "$root" "$locale")"
  entered_wine_prefixes+=("$WINEPREFIX")
  if ! wine_prefix_ready; then
    echo "== making the Wine prefix $WINEPREFIX under $locale"
    make_wine_prefix || return 1
  fi
  wine_starts_programs
}

# A server that already runs for this prefix is kept. One that is still ending (killed by an
# earlier run a moment ago) refuses the first program: the second try gets a new one.
wine_starts_programs() {
  local try
  for try in 1 2; do
    timeout -k 10 60 wineserver -p </dev/null >/dev/null 2>&1 || true
    timeout -k 10 120 wine cmd /c exit </dev/null >/dev/null 2>&1 && return 0
    timeout -k 5 30 wineserver -w 2>/dev/null || true
  done
  echo "Wine does not start programs in $WINEPREFIX" >&2
  return 1
}

copy_wine_prefix_with_dpi() {
  local source="$1" target="$2" dpi="$3"
  entered_wine_prefixes+=("$target")
  [ -f "$target/.tidewake-dpi-$dpi" ] && return 0
  rm -rf "$target"
  cp -a "$source" "$target" || {
    echo "the Wine prefix $source could not be copied to $target" >&2
    return 1
  }
  # Wine reads the screen's DPI from the user's desktop settings as each program starts.
  if ! (WINEPREFIX="$target" &&
        timeout -k 10 120 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
          /d "$dpi" /f </dev/null >/dev/null 2>&1 &&
        timeout -k 10 60 wineserver -w); then
    echo "the Wine prefix $target could not be set to $dpi DPI" >&2
    return 1
  fi
  date >"$target/.tidewake-dpi-$dpi"
}

stop_entered_wineservers() {
  local prefix
  for prefix in "${entered_wine_prefixes[@]}"; do
    WINEPREFIX="$prefix" stop_wineserver
  done
}
