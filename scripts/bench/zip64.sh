#!/usr/bin/env bash
# A real package past 4 GiB, too slow for the test command: a 4.1 GiB archive written by Info-ZIP's
# zip whose first entry is a stored file of 4200 MiB (more than 32 bits can count) and whose other
# entries, deflated text and binary data, start past the 4 GiB offset, so the central directory
# keeps their offsets in Zip64 extra fields. ZipUtil::Unzip extracts it onto the disk as an
# install does; every entry must come out equal to its source. Info-ZIP's unzip is timed beside.
# Needs about 9 GiB free below build/ while it runs; the archive is kept for the next run.
#
#   scripts/bench.sh zip64
set -euo pipefail
cd "$(dirname "$0")/../.."

data="build/bench-data/zip64"
src="$data/src"
archive="$data/package.zip"
out="$data/out"
big_bytes=$((4200 * 1024 * 1024))

cmake --preset default >/dev/null
cmake --build --preset default --target unzip_bench >/dev/null
bench="build/default/tests/unzip_bench"

# The source tree: the large file is sparse (it costs no disk), with marks at its start, middle
# and end so that a shifted or cut copy cannot compare equal.
make_sources() {
  rm -rf "$src" && mkdir -p "$src/after/text"
  truncate -s "$big_bytes" "$src/big.bin"
  for at in 0 $((big_bytes / 2)) $((big_bytes - 16)); do
    printf 'tidewake mark %2d' $((at % 97)) | dd of="$src/big.bin" bs=1 seek="$at" conv=notrunc status=none
  done
  for n in 1 2 3 4; do
    seq 1 $((n * 20000)) | awk -v n="$n" '{ printf "%08d kelp %d stone %x\n", $1, $1 * n, $1 }' \
      >"$src/after/text/part$n.txt"
  done
  head -c $((3 * 1024 * 1024)) /dev/urandom >"$src/after/noise.dat"
  head -c $((256 * 1024)) /dev/urandom >"$src/after/runa3D.exe"
}

started=$(date +%s.%N)
if [ ! -f "$archive" ] || [ ! -d "$src" ]; then
  echo "building the archive (once) ..."
  make_sources
  rm -f "$archive"
  # -n .bin stores the large file as it is; the rest is deflated.
  (cd "$src" && zip -q -n .bin "$OLDPWD/$archive" big.bin after/text/*.txt after/noise.dat after/runa3D.exe)
  printf 'archive built in %.0f s\n' "$(echo "$(date +%s.%N) - $started" | bc -l)"
fi

size=$(stat -c %s "$archive")
last_offset=$(zipinfo -v "$archive" | sed -n 's/^  offset of local header from start of archive: *\([0-9]*\).*/\1/p' | tail -1)
entries=$(unzip -Z1 "$archive" | wc -l)
printf 'archive: %s, %.2f GiB, %d entries, last entry at offset %.2f GiB\n' "$archive" \
  "$(echo "$size / 1073741824" | bc -l)" "$entries" "$(echo "$last_offset / 1073741824" | bc -l)"
[ "$last_offset" -gt 4294967295 ] || { echo "the last entry does not start past 4 GiB" >&2; exit 1; }

compare_all() {
  local dir=$1 f
  while read -r f; do
    cmp "$src/$f" "$dir/$f" || { echo "$f differs in $dir" >&2; exit 1; }
  done < <(cd "$src" && find . -type f | sed 's|^\./||')
}

timed() {
  local s
  s=$(date +%s.%N)
  "$@" >"$data/log.txt" 2>&1 || { cat "$data/log.txt" >&2; exit 1; }
  echo "$(date +%s.%N) - $s" | bc -l
}

rm -rf "$out" && mkdir -p "$out" && sync
ours=$(timed "$bench" "$archive" "$out/")
printf 'ZipUtil::Unzip onto the disk: %.1f s\n' "$ours"
compare_all "$out"
echo "every entry equal to its source"
rm -rf "$out" && mkdir -p "$out" && sync
theirs=$(timed unzip -o -q "$archive" -d "$out/")
printf 'unzip -o -q (no flush):       %.1f s\n' "$theirs"
rm -rf "$out"
printf 'whole benchmark: %.0f s\n' "$(echo "$(date +%s.%N) - $started" | bc -l)"
