#!/usr/bin/env bash
# Runs one benchmark: scripts/bench.sh NAME runs scripts/bench/NAME.sh with the remaining
# arguments. Without a name, lists the benchmarks.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
if [ "$#" -lt 1 ]; then
  echo "usage: scripts/bench.sh NAME [ARGS...]; benchmarks:"
  for f in "$here"/bench/*.sh; do basename "$f" .sh; done
  exit 2
fi
name="$1"
shift
script="$here/bench/$name.sh"
[ -f "$script" ] || { echo "no benchmark named $name" >&2; exit 2; }
exec bash "$script" "$@"
