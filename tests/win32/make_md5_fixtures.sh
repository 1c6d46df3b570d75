#!/usr/bin/env bash
# Writes files of awkward sizes (empty, one byte, around the digest's 1 MiB chunk, several
# chunks) with fresh random bytes, and the lists md5sum and sha256sum make of them on Linux.
set -euo pipefail
dir=$1
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
: >empty.bin
printf abc >abc.txt
head -c 1 /dev/urandom >one.bin
head -c $((1024 * 1024 - 1)) /dev/urandom >chunk-minus-one.bin
head -c $((1024 * 1024)) /dev/urandom >chunk.bin
head -c $((3 * 1024 * 1024 + 7)) /dev/urandom >three-chunks.bin
md5sum -- *.bin *.txt >linux.md5
sha256sum -- *.bin *.txt >linux.sha256
