#!/usr/bin/env bash
# Runs one benchmark: scripts/bench.sh NAME [ARGS...] runs scripts/bench/NAME.sh.
set -euo pipefail
cd "$(dirname "$0")"
name="${1:?usage: scripts/bench.sh NAME [ARGS...]}"
shift
exec "bench/$name.sh" "$@"
