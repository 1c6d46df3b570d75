#!/usr/bin/env bash
# The splash's drawing costs: composition times (headless), and the CPU share of one core that an
# idle splash and a busy one (status dots, progress and size text changing every frame) take
# under the application's frame loop, on the GTK backend in a private Xvfb (or headless with
# --headless). Targets: idle <= 2 %, busy <= 10 %. The loop's 1 ms sleeps alone cost something
# on a busy machine, so the bare loop is measured too.
#
#   scripts/bench.sh ui [SECONDS] [--headless]
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/xvfb.sh
seconds="${1:-10}"
mode="${2:-}"

cmake --preset default >/dev/null
cmake --build --preset default --target tidewake_ui_bench >/dev/null
bench=build/default/tests/tidewake_ui_bench

echo "== composition (mean of 200)"
"$bench" compose 200

trap stop_private_xvfb EXIT
if [ "$mode" != "--headless" ] && command -v Xvfb >/dev/null && start_private_xvfb 1280x800x24; then
  echo "== frame loop on Xvfb $DISPLAY (GTK backend, no compositor: shape mask)"
else
  mode="--headless"
  echo "== frame loop, headless backend"
fi

check() {  # label, measured percent, target percent
  awk -v m="$2" -v t="$3" -v l="$1" 'BEGIN { printf "%-6s %6.2f %% of one core (target <= %s %%, ratio %.2f)\n", l, m, t, m / t }'
}
bare=$("$bench" bare "$seconds")
echo "$bare"
idle=$("$bench" idle "$seconds" $mode)
echo "$idle"
busy=$("$bench" busy "$seconds" $mode)
echo "$busy"
echo "== against the targets"
percent() { sed -E 's/.*= ([0-9.]+) %.*/\1/' <<<"$1"; }
check idle "$(percent "$idle")" 2
check busy "$(percent "$busy")" 10
awk -v i="$(percent "$idle")" -v b="$(percent "$bare")" \
  'BEGIN { printf "idle against the bare sleep loop of the same frame loop: %.2fx (+%.2f points)\n", i / b, i - b }'
