#!/usr/bin/env bash
# FileMd5 against `openssl dgst -md5` on the same 1 GiB file: throughput ratio and our peak RSS.
# Targets: ratio >= 0.95, peak RSS <= 16 MiB.
set -euo pipefail
cd "$(dirname "$0")/../.."
runs="${RUNS:-5}"
size_mib="${SIZE_MIB:-1024}"

cmake --preset default >/dev/null
cmake --build --preset default --target tidewake_md5_bench >/dev/null
bench=build/default/tests/tidewake_md5_bench

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$work/data.bin"
cat "$work/data.bin" >/dev/null  # both tools read from the page cache

best_ours=999999 best_ref=999999 peak=0
for _ in $(seq "$runs"); do
  read -r digest secs rss < <("$bench" "$work/data.bin" 2>&1 >/dev/null)
  start=$(date +%s.%N)
  ref=$(openssl dgst -md5 -r "$work/data.bin" | cut -c1-32)
  end=$(date +%s.%N)
  [ "$digest" = "$ref" ] || { echo "digest mismatch: $digest vs $ref" >&2; exit 1; }
  ref_secs=$(echo "$end - $start" | bc -l)
  best_ours=$(echo "if ($secs < $best_ours) $secs else $best_ours" | bc -l)
  best_ref=$(echo "if ($ref_secs < $best_ref) $ref_secs else $best_ref" | bc -l)
  [ "$rss" -gt "$peak" ] && peak=$rss
done

printf 'file: %d MiB, runs: %d (best of each)\n' "$size_mib" "$runs"
printf 'FileMd5:          %.3f s  %.0f MiB/s\n' "$best_ours" "$(echo "$size_mib / $best_ours" | bc -l)"
printf 'openssl dgst -md5: %.3f s  %.0f MiB/s\n' "$best_ref" "$(echo "$size_mib / $best_ref" | bc -l)"
printf 'throughput ratio (ours / openssl): %.3f  (target >= 0.95)\n' "$(echo "$best_ref / $best_ours" | bc -l)"
printf 'peak RSS of FileMd5: %d KiB  (target <= 16384)\n' "$peak"
