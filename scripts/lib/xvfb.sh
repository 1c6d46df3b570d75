# Sourced by the scripts that show the launcher on an X display (demo, Windows tests and road,
# road and UI benchmarks).
#   x_display_usable
# true when DISPLAY names an X server that answers.
#   start_private_xvfb [SCREEN]
# starts Xvfb on a display number it picks itself among the free ones, with one screen of SCREEN
# (default 1280x800x24), -noreset (it stays up between clients) and -nolisten tcp; returns once
# it accepts clients, with DISPLAY exported and xvfb_pid set. Prints why and returns 1 when none
# could be started.
#   stop_private_xvfb
# ends that Xvfb; for the caller's EXIT trap (does nothing when none was started).
xvfb_pid=""

x_display_usable() {
  [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1
}

start_private_xvfb() {
  local screen="${1:-1280x800x24}" number_file number="" why="no display within 10 s"
  if ! command -v Xvfb >/dev/null; then
    echo "no Xvfb display could be started (Xvfb is not installed)" >&2
    return 1
  fi
  number_file="$(mktemp)"
  # -displayfd: Xvfb takes the first free display itself and writes its number once it accepts
  # clients, so two scripts started at once never race for the same one.
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "$screen" 3>"$number_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    number="$(cat "$number_file")"
    [ -n "$number" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { why="Xvfb ended at start"; break; }
    sleep 0.1
  done
  rm -f "$number_file"
  if [[ ! "$number" =~ ^[0-9]+$ ]] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
    kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
    echo "no Xvfb display could be started ($why)" >&2
    return 1
  fi
  export DISPLAY=":$number"
}

stop_private_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}
