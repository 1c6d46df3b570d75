#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (preset "fuzz": clang with ASan + UBSan) and runs them
# one after the other, niced:
#   scripts/fuzz.sh                every target for FUZZ_SECONDS seconds (default 600)
#   scripts/fuzz.sh --smoke        every target for a second: the run scripts/test.sh makes
#   scripts/fuzz.sh TARGET...      only these targets (names as in tests/fuzz, without .cpp)
# Each corpus grows in build/fuzz/corpus/<target>, seeded from tests/fuzz/seeds/<target>; an input
# that crashes or breaks a property is kept in build/fuzz/findings/<target>/. The last lines say,
# per target, how many inputs ran and whether one failed; the exit status is 1 when one did.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-600}"
targets=()
for arg in "$@"; do
  case "$arg" in
    --smoke) seconds=1 ;;
    *) targets+=("$arg") ;;
  esac
done

scripts/deps.sh
cmake --preset fuzz >/dev/null
if [ "${#targets[@]}" -eq 0 ]; then
  for source in tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
nice cmake --build --preset fuzz --target "${targets[@]}"

out="$PWD/build/fuzz"  # the preset's build tree; select_file_info_fuzz works in a folder of its own
summary=()
failed=0
for target in "${targets[@]}"; do
  corpus="$out/corpus/$target"
  findings="$out/findings/$target"
  mkdir -p "$corpus" "$findings"
  seeds=()
  [ -d "tests/fuzz/seeds/$target" ] && seeds=("$PWD/tests/fuzz/seeds/$target")
  log="$out/$target.log"
  echo "== fuzzing $target for ${seconds}s (log: $log)"
  status=0
  nice -n 15 "$out/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "${seeds[@]}" >"$log" 2>&1 ||
    status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  if [ "$status" -eq 0 ]; then
    summary+=("$target: ${runs:-?} inputs, no failure")
  else
    failed=1
    summary+=("$target: FAILED after ${runs:-?} inputs, see $log and $findings/")
    grep -m 5 -E 'ERROR|property broken|SUMMARY' "$log" || tail -n 20 "$log"
  fi
done
printf '%s\n' "${summary[@]}"
exit "$failed"
