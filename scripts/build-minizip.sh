#!/usr/bin/env bash
# Builds minizip, the zip reader the launcher links (and the zip writer its tests use), from
# contrib/minizip of Debian's zlib source package with Debian's fixes applied, for one platform:
#   linux  third_party_build/linux   (the host's compiler; position-independent)
#   mingw  third_party_build/mingw   (MinGW-w64, for the Windows build)
# Both platforms link this one source. Debian's separate minizip package is an older fork that
# leaves the sizes and offsets of an entry at 0xFFFFFFFF when its central-directory record keeps
# them in a Zip64 extra field, so every package past 4 GiB fails to extract with it.
#
# The result (include/minizip, lib/libminizip.a) is kept: a second run with the same source
# revision and recipe only checks a stamp.
#
# Usage: scripts/build-minizip.sh linux|mingw [--force]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/lib/debian_source.sh

target=${1:-}
force=0
[ "${2:-}" = "--force" ] && force=1
case "$target" in
  linux)
    cc=${CC:-cc} ar=ar
    cflags=(-O2 -fPIC -D_FILE_OFFSET_BITS=64 -D_LARGEFILE64_SOURCE) ;;
  mingw)
    cc=x86_64-w64-mingw32-gcc-posix ar=x86_64-w64-mingw32-ar
    cflags=(-O2) ;;
  *) echo "usage: scripts/build-minizip.sh linux|mingw [--force]" >&2; exit 2 ;;
esac
# No encryption: the packages are never encrypted, and the code would only widen what a forged
# archive can reach.
cflags+=(-DNOCRYPT -DNOUNCRYPT)

out=$root/third_party_build/$target
sources=$root/third_party_build/debian-src
work=$root/third_party_build/minizip-$target
# Raise it when the build below changes.
recipe=3

for tool in "$cc" "$ar" dpkg-source patch; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool (run scripts/deps.sh)" >&2; exit 1; }
done

mkdir -p "$sources"
fetch_debian_sources "$sources" zlib
zlib_dsc=$(newest_debian_dsc "$sources" zlib)
stamp="$recipe $(basename "$zlib_dsc")"
if [ "$force" = 0 ] && [ -f "$out/lib/libminizip.a" ] && [ -f "$out/stamp-minizip" ] &&
   [ "$(cat "$out/stamp-minizip")" = "$stamp" ]; then
  echo "minizip ($target): cached in ${out#"$root"/}"
  exit 0
fi

started=$(date +%s)
unpack_debian_source "$zlib_dsc" "$work/zlib-src"
src=$work/zlib-src/contrib/minizip
rm -rf "$work/obj"
mkdir -p "$work/obj" "$out/include/minizip" "$out/lib"
# zlib's own headers come from the platform's zlib package, the one the launcher links.
for c in ioapi unzip zip; do
  "$cc" "${cflags[@]}" -c "$src/$c.c" -o "$work/obj/$c.o"
done
rm -f "$out/lib/libminizip.a"
"$ar" rcs "$out/lib/libminizip.a" "$work/obj"/*.o
cp "$src/"{ioapi,unzip,zip}.h "$out/include/minizip/"
echo "$stamp" >"$out/stamp-minizip"
echo "minizip ($target): built from $(basename "$zlib_dsc" .dsc) in $(( $(date +%s) - started )) s into ${out#"$root"/}"
