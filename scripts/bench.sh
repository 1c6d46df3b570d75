#!/usr/bin/env bash
# scripts/bench.sh NAME [ARGS...]: runs the benchmark scripts/bench/NAME.sh.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
name="${1:-}"
if [ -z "$name" ] || [ ! -f "$here/bench/$name.sh" ]; then
  echo "usage: scripts/bench.sh NAME   (NAME: $(cd "$here/bench" && ls *.sh | sed 's/\.sh$//' | tr '\n' ' '))" >&2
  exit 2
fi
shift
# Packages and the minizip build: each benchmark configures the build.
"$here/deps.sh"
exec bash "$here/bench/$name.sh" "$@"
