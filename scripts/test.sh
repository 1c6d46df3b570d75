#!/usr/bin/env bash
# Installs what is missing, checks the layer order of the includes, gives each fuzz target a short
# run, builds the launcher and every test, and runs the suites: under AddressSanitizer + UBSan,
# under ThreadSanitizer, then the Windows build under Wine (scripts/test-windows.sh;
# TIDEWAKE_WINDOWS=0 leaves it out), and last in the optimised build, whose summary ends the
# output. Each fault class is looked for once where it shows best, which keeps the run within its
# budget: every suite under ASan + UBSan, the road suites (each case starts the launcher) there
# only; ThreadSanitizer over the suites that start threads, with the road cases that reach every
# thread of the launcher; the optimised build ("optimised": the default preset's tree) builds the
# launcher, the road suite the Windows stage drives and the publisher's suite, and runs the two
# slow publisher cases that only it runs (the presets' filters and targets). Line tables (-g1)
# instead of full debug information: stack traces keep their files and lines, and the builds
# take a quarter less. TIDEWAKE_PRESETS="default" builds and runs every suite but the road ones
# in the optimised build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# A folder includes only the folders below it (the layout table in README.md).
python3 scripts/check_layers.py includes
# The readers of outside input under libFuzzer for a second each (scripts/fuzz.sh runs them long).
scripts/fuzz.sh --smoke

presets=(asan tsan optimised)
[ -n "${TIDEWAKE_PRESETS:-}" ] && read -r -a presets <<<"$TIDEWAKE_PRESETS"
windows_done=0
[ "${TIDEWAKE_WINDOWS:-1}" = 0 ] && windows_done=1

for preset in "${presets[@]}"; do
  configure=$preset
  [ "$preset" = optimised ] && configure=default
  if [ "$configure" = default ] && [ "$windows_done" = 0 ]; then
    scripts/test-windows.sh
    windows_done=1
  fi
  echo "== $preset: configure and build"
  cmake --preset "$configure" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: test"
  ctest --preset "$preset"
done
[ "$windows_done" = 1 ] || scripts/test-windows.sh
