#!/usr/bin/env bash
# Installs what is missing, checks the layer order of the includes, gives each fuzz target a short
# run, builds the launcher and every test, and runs the suites: under AddressSanitizer + UBSan,
# under ThreadSanitizer, then the Windows build under Wine (scripts/test-windows.sh, its builds made
# in the background meanwhile; TIDEWAKE_WINDOWS=0 leaves it out), and last in the optimised build,
# whose summary ends the output. Each fault class is looked for once where it shows best, which
# keeps the run within its budget: every suite under ASan + UBSan, the road suites (each case starts
# the launcher) there only; ThreadSanitizer over the suites that start threads, with the road cases
# that reach every thread of the launcher; the optimised build ("optimised": the default preset's
# tree) builds the launcher, the road suite the Windows stage drives and the publisher's suite, and
# runs the two slow publisher cases that only it runs (the presets' filters and targets). Line
# tables (-g1) instead of full debug information: stack traces keep their files and lines, and the
# builds take a quarter less. TIDEWAKE_PRESETS="default" builds and runs every suite but the road
# ones in the optimised build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# A folder includes only the folders below it (the layout table in README.md).
python3 scripts/check_layers.py includes
# The readers of outside input under libFuzzer for a second each (scripts/fuzz.sh runs them long).
scripts/fuzz.sh --smoke

presets=(asan tsan optimised)
[ -n "${TIDEWAKE_PRESETS:-}" ] && read -r -a presets <<<"$TIDEWAKE_PRESETS"
windows=${TIDEWAKE_WINDOWS:-1}

# The Windows stage's builds (cross-built libraries, the exe and its suites, the optimised road
# suite) run beside the sanitizer suites, whose road cases leave about half of the machine idle
# while they wait on launchers. Niced, so that the suites keep nearly all of the machine.
windows_build_pid=""
windows_build_log=build/windows-build.log
stop_windows_build() {
  [ -n "$windows_build_pid" ] && kill -- "-$windows_build_pid" 2>/dev/null || true
}
trap stop_windows_build EXIT
start_windows_build() {
  if [ "$windows" != 1 ] || [ -n "$windows_build_pid" ]; then return 0; fi
  echo "== windows: building in the background (log: $windows_build_log)"
  mkdir -p build
  # A session of its own, so that an early exit can end the whole build. The scheduler weighs
  # sessions against each other before their processes' nice values: the session's own weight is
  # lowered too, or the build would take a full core from the suites.
  setsid -w sh -c 'echo 19 2>/dev/null >/proc/self/autogroup; exec nice -n 19 "$@"' sh \
    scripts/test-windows.sh --build >"$windows_build_log" 2>&1 &
  windows_build_pid=$!
}
run_windows() {
  if [ "$windows" != 1 ]; then return 0; fi
  windows=0
  if [ -z "$windows_build_pid" ]; then
    scripts/test-windows.sh
    return
  fi
  local rc=0
  wait "$windows_build_pid" || rc=$?
  windows_build_pid=""
  cat "$windows_build_log"
  [ "$rc" = 0 ] || { echo "the Windows build failed (exit $rc)"; exit 1; }
  scripts/test-windows.sh --run
}

for preset in "${presets[@]}"; do
  configure=$preset
  [ "$preset" = optimised ] && configure=default
  if [ "$configure" = default ]; then run_windows; fi
  echo "== $preset: configure and build"
  cmake --preset "$configure" >/dev/null
  cmake --build --preset "$preset"
  start_windows_build
  echo "== $preset: test"
  ctest --preset "$preset"
done
run_windows
