# Sourced by the scripts that need a locale the machine may not have generated (the Windows
# tests and road run under zh_CN, so that Wine's ANSI code page is 936, and the code page cases
# again under en_US, code page 1252).
#   use_private_locale DIR LOCALE
# compiles LOCALE (LANGUAGE_TERRITORY.CHARMAP, e.g. zh_CN.UTF-8) into DIR with localedef once
# (kept for the next runs), then exports LOCPATH=DIR and LANG and LC_ALL=LOCALE. Needs no root.
# Prints why and returns 1 when the locale could not be compiled.
use_private_locale() {
  local dir="$1" locale="$2"
  export LOCPATH="$dir"
  if [ ! -f "$dir/$locale/LC_CTYPE" ]; then
    mkdir -p "$dir"
    # localedef ends non-zero on mere warnings too: what counts is the compiled locale.
    localedef -i "${locale%%.*}" -f "${locale#*.}" "$dir/$locale" 2>/dev/null ||
      [ -f "$dir/$locale/LC_CTYPE" ] || {
      echo "the locale $locale could not be compiled into $dir" >&2
      return 1
    }
  fi
  export LANG="$locale" LC_ALL="$locale" 2>/dev/null
}
