#!/usr/bin/env bash
# What checking the signatures adds to a start: the public key parsed, and for the config and a
# fileInfo document of FILES names their minisign signatures (made by Debian's minisign) parsed
# and verified: BLAKE2b-512 of the document, Ed25519 over the digest, the global signature over
# the trusted comment. Measured natively and, with the Windows build and Wine at hand, under Wine
# (zh_CN prefix, private Xvfb). Each run is a fresh process, so "per start" holds libsodium's own
# start too; target: both documents in under 5 ms per start.
#
#   scripts/bench.sh signatures [RUNS] [FILES]     (default 9 starts, 5000 names in the fileInfo)
set -euo pipefail
cd "$(dirname "$0")/../.."
root="$(pwd)"
runs="${1:-9}"
files="${2:-5000}"
rounds=200
budget_ms=5
work="$root/build/bench-data/signatures"

cmake --preset default >/dev/null
cmake --build --preset default --target tidewake_signature_bench >/dev/null
native=build/default/tests/tidewake_signature_bench

# Documents as the publisher writes them, signed the way minisign signs by default (prehashed,
# trusted comment "timestamp:<t>\tfile:<name>\thashed").
rm -rf "$work"
mkdir -p "$work"
python3 - "$work" "$files" <<'PY'
import hashlib, json, os, sys
work, count = sys.argv[1], int(sys.argv[2])
names = [f"Kelpstone/data/area{i // 100:03d}/asset_{i:05d}.pak" for i in range(count)]
names.append("Kelpstone/runa3D.exe")
info = {"zipName": "game_1.0.2.zip", "zipMd5": hashlib.md5(b"bench").hexdigest(),
        "zipSha256": hashlib.sha256(b"bench").hexdigest(), "zipBytes": 1 << 31,
        "fileNameList": names}
with open(os.path.join(work, "fileInfo_1.0.2.json"), "w") as f:
    json.dump(info, f, indent=2)
with open(os.path.join(work, "config.json"), "w") as f:
    json.dump({"lastVersion": "1.0.2", "unsupportedVersions": ["1.0.0", "0.*"]}, f, indent=2)
PY
minisign -G -W -p "$work/public.key" -s "$work/secret.key" >/dev/null
minisign -S -s "$work/secret.key" -m "$work/config.json" "$work/fileInfo_1.0.2.json" >/dev/null
printf 'config.json: %d bytes; fileInfo_1.0.2.json: %d bytes (%d names); %d starts, %d rounds each\n' \
  "$(stat -c %s "$work/config.json")" "$(stat -c %s "$work/fileInfo_1.0.2.json")" "$((files + 1))" \
  "$runs" "$rounds"

median() { sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
column() { awk -v c="$1" '{print $c}' <<<"$2" | median; }

# Runs the program RUNS times (the command before it in "$@"), then prints the medians.
measure() {
  local label=$1 prefix=$2
  shift 2
  local lines="" line i
  for i in $(seq "$runs"); do
    # (set -e does not hold inside a function called with ||: a failed run must stop it here.)
    line=$("$@" "${prefix}$work/public.key" "${prefix}$work/config.json" \
      "${prefix}$work/fileInfo_1.0.2.json" "$rounds") || { echo "$label: the check failed" >&2; return 1; }
    lines+="${line%$'\r'}"$'\n'
  done
  lines=${lines%$'\n'}
  local first key config file_info
  first=$(column 1 "$lines") key=$(column 2 "$lines")
  config=$(column 3 "$lines") file_info=$(column 4 "$lines")
  echo "== $label (medians of $runs starts)"
  awk -v k="$key" -v c="$config" -v f="$file_info" 'BEGIN {
    printf "  parse the public key:                    %8.4f ms\n", k / 1000
    printf "  config: parse + verify its signature:    %8.3f ms\n", c / 1000
    printf "  fileInfo: parse + verify its signature:  %8.3f ms\n", f / 1000
    printf "  both documents, warm:                    %8.3f ms\n", (k + c + f) / 1000 }'
  awk -v v="$first" -v b="$budget_ms" -v l="$label" 'BEGIN {
    printf "  per start (first check in the process):  %8.3f ms   (budget %d ms, %.1f %% of it)\n",
      v / 1000, b, v / 10 / b
    if (v / 1000 >= b) { printf "%s: over the budget\n", l > "/dev/stderr"; exit 1 } }'
}

status=0
measure "native (Linux, libsodium from libsodium-dev)" "" "$native" || status=1

wine_bench=build/mingw/tests/tidewake_signature_bench.exe
if [ -f third_party_build/mingw/lib/libsodium.a ] && command -v wine >/dev/null &&
   cmake --preset mingw >/dev/null 2>&1 &&
   cmake --build --preset mingw --target tidewake_signature_bench >/dev/null; then
  source scripts/lib/locale.sh
  source scripts/lib/wine_prefix.sh
  source scripts/lib/xvfb.sh
  cleanup() {
    stop_entered_wineservers
    stop_private_xvfb
  }
  trap cleanup EXIT
  start_private_xvfb 1280x800x24 || exit 1
  enter_wine_locale "$root" zh_CN.UTF-8 || exit 1
  # Wine maps the Linux root to drive Z:.
  measure "Windows build under Wine (libsodium from Debian's source, MinGW-w64)" "Z:" \
    timeout -k 5 120 wine "$wine_bench" || status=1
else
  echo "== Windows build under Wine: skipped (run scripts/test-windows.sh once to set it up)"
fi
exit "$status"
