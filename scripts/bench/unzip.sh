#!/usr/bin/env bash
# Extraction throughput: ZipUtil::Unzip (unzip_bench) against Info-ZIP's `unzip -o -q`, both into
# an empty folder, on one archive of about 512 MiB that mixes many small files with large
# compressible and incompressible ones. Prints the best and median times of each, the
# throughput ratio (target: at least 1.0 x unzip) and the peak resident memory of both.
# The ratio compares like with like: ZipUtil::Unzip leaving the files in the system's cache
# (--in-cache), as unzip does. An install also waits until the files are on the disk: the flush
# alone (`sync -f`, the syncfs an install ends with, right after the in-cache run) and a whole
# install-like run are timed too and printed on their own lines, and so is the in-cache run on
# one thread, to show what the threads bring on this machine.
#
#   scripts/bench.sh unzip [RUNS]      (default 5 runs each, after one warm-up run)
set -euo pipefail
cd "$(dirname "$0")/../.."

runs="${1:-5}"
data="build/bench-data/unzip"
archive="$data/mixed.zip"
out="$data/out"

command -v unzip >/dev/null && command -v zip >/dev/null || scripts/deps.sh

cmake --preset default >/dev/null
cmake --build --preset default --target unzip_bench >/dev/null
bench="build/default/tests/unzip_bench"

if [ ! -f "$archive" ]; then
  echo "building the archive (once) ..."
  tree="$data/tree"
  rm -rf "$tree" && mkdir -p "$tree"
  # Many small files: 16 folders of 2 KiB text pieces, 16 MiB in all.
  for d in $(seq -w 1 16); do
    mkdir -p "$tree/small/d$d"
    head -c $((768 * 1024)) /dev/urandom | base64 -w 76 |
      split -b 2048 -a 4 - "$tree/small/d$d/part_"
  done
  # Large compressible files: base64 text (deflates to about 3/4) and log-like lines (far more).
  mkdir -p "$tree/large"
  head -c $((96 * 1024 * 1024)) /dev/urandom | base64 -w 76 >"$tree/large/text1.txt"
  head -c $((48 * 1024 * 1024)) /dev/urandom | base64 -w 76 >"$tree/large/text2.txt"
  seq 1 9000000 | awk '{ printf "%08d kelp %d stone %x tide\n", $1, $1 * 7, $1 }' \
    >"$tree/large/lines.log"
  # Large incompressible files: zip stores them.
  for n in 1 2 3; do head -c $((96 * 1024 * 1024)) /dev/urandom >"$tree/large/blob$n.bin"; done
  (cd "$tree" && zip -r -q ../mixed.zip .)
  rm -rf "$tree"
fi

size=$(stat -c %s "$archive")
entries=$(unzip -Z1 "$archive" | wc -l)
unpacked=$(unzip -Zt "$archive" | awk '{ print $(NF-6) }' | tr -d ,)
printf 'archive: %s, %.1f MiB, %d entries, %.1f MiB unpacked\n' \
  "$archive" "$(echo "$size / 1048576" | bc -l)" "$entries" "$(echo "$unpacked / 1048576" | bc -l)"

# One timed run: prints "seconds peak_kib".
run_once() {
  rm -rf "$out" && mkdir -p "$out"
  sync
  /usr/bin/time -f '%e %M' -o "$data/time.txt" "$@" >/dev/null 2>"$data/stderr.txt" || {
    cat "$data/stderr.txt" >&2
    exit 1
  }
  cat "$data/time.txt"
}

ours=()
single=()
flush=()
flushed=()
theirs=()
ours_rss=0
theirs_rss=0
run_once "$bench" "$archive" "$out/" --in-cache >/dev/null  # warm-up: archive into the page cache
for i in $(seq 1 "$runs"); do
  read -r t m < <(run_once "$bench" "$archive" "$out/" --in-cache)
  ours+=("$t"); [ "$m" -gt "$ours_rss" ] && ours_rss=$m
  /usr/bin/time -f '%e' -o "$data/time.txt" sync -f "$out"
  flush+=("$(cat "$data/time.txt")")
  read -r t m < <(run_once "$bench" "$archive" "$out/" --in-cache --threads 1)
  single+=("$t")
  read -r t m < <(run_once unzip -o -q "$archive" -d "$out/")
  theirs+=("$t"); [ "$m" -gt "$theirs_rss" ] && theirs_rss=$m
  read -r t m < <(run_once "$bench" "$archive" "$out/")
  flushed+=("$t")
  echo "run $i: ZipUtil::Unzip ${ours[-1]} s (then its flush ${flush[-1]} s, on one thread" \
    "${single[-1]} s), unzip ${theirs[-1]} s, ZipUtil::Unzip onto the disk ${flushed[-1]} s"
done

# The extraction must be complete and equal to unzip's: compare a listing with sizes.
rm -rf "$out" && mkdir -p "$out"
"$bench" "$archive" "$out/" >/dev/null 2>&1
expected=$(unzip -Z1 "$archive" | grep -v '/$' | wc -l)
got=$(find "$out" -type f | wc -l)
[ "$expected" -eq "$got" ] || { echo "ZipUtil::Unzip wrote $got files, expected $expected" >&2; exit 1; }
unzip -p "$archive" large/lines.log | cmp - "$out/large/lines.log"
rm -rf "$out"

stats() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { printf "%s %s\n", a[1], a[int((NR + 1) / 2)] }'; }
read -r ours_best ours_median < <(stats "${ours[@]}")
read -r single_best single_median < <(stats "${single[@]}")
read -r flush_best flush_median < <(stats "${flush[@]}")
read -r flushed_best flushed_median < <(stats "${flushed[@]}")
read -r theirs_best theirs_median < <(stats "${theirs[@]}")
mib=$(echo "$unpacked / 1048576" | bc -l)
printf 'ZipUtil::Unzip: best %.2f s, median %.2f s (%.0f MiB/s unpacked), peak RSS %d KiB\n' \
  "$ours_best" "$ours_median" "$(echo "$mib / $ours_median" | bc -l)" "$ours_rss"
printf 'unzip -o -q:    best %.2f s, median %.2f s (%.0f MiB/s unpacked), peak RSS %d KiB\n' \
  "$theirs_best" "$theirs_median" "$(echo "$mib / $theirs_median" | bc -l)" "$theirs_rss"
printf 'throughput ratio (median): %.2f x unzip (target >= 1.0)\n' \
  "$(echo "$theirs_median / $ours_median" | bc -l)"
printf 'ZipUtil::Unzip on one thread: best %.2f s, median %.2f s (threads: %.2f x faster, %d cores)\n' \
  "$single_best" "$single_median" "$(echo "$single_median / $ours_median" | bc -l)" "$(nproc)"
printf 'flush to the disk after it: best %.2f s, median %.2f s\n' "$flush_best" "$flush_median"
printf 'ZipUtil::Unzip onto the disk (as an install): best %.2f s, median %.2f s (%.2f x unzip)\n' \
  "$flushed_best" "$flushed_median" "$(echo "$theirs_median / $flushed_median" | bc -l)"
