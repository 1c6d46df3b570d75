#!/usr/bin/env bash
# Installs what is missing, builds the launcher and every test, and runs the suites: under
# AddressSanitizer + UBSan, under ThreadSanitizer, and last in the optimised build, whose
# summary ends the output.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

presets=(asan tsan default)
[ -n "${TIDEWAKE_PRESETS:-}" ] && read -r -a presets <<<"$TIDEWAKE_PRESETS"

for preset in "${presets[@]}"; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: test"
  ctest --preset "$preset"
done
