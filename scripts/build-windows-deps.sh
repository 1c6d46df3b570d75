#!/usr/bin/env bash
# Builds the libraries the Windows launcher links and Debian ships no MinGW build of: libcurl
# (static, Schannel TLS, HTTP and HTTPS only, zlib) and minizip (scripts/build-minizip.sh), from
# Debian's own source packages with Debian's fixes applied. zlib itself comes from
# libz-mingw-w64-dev.
#
# The result lands in third_party_build/mingw (include/, lib/) and is kept: a second run with the
# same sources and recipe only checks a stamp. The source packages are fetched through a private
# apt setup (scripts/lib/debian_source.sh), so the machine's apt configuration is never touched.
#
# Usage: scripts/build-windows-deps.sh [--force]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

source scripts/lib/debian_source.sh

out=$root/third_party_build/mingw
work=$root/third_party_build/windows-deps
sources=$root/third_party_build/debian-src
triplet=x86_64-w64-mingw32
# Raise it when the libcurl build below changes.
curl_recipe=1

force=0
[ "${1:-}" = "--force" ] && force=1

# The same minizip as the Linux build's, from zlib's source.
scripts/build-minizip.sh mingw ${1:+"$1"}

if [ "$force" != 1 ] && [ -f "$out/stamp-curl" ] && [ "$(cat "$out/stamp-curl")" = "$curl_recipe" ] &&
   [ -f "$out/lib/libcurl.a" ]; then
  echo "windows deps: libcurl cached in ${out#"$root"/}"
  exit 0
fi

for tool in $triplet-gcc-posix dpkg-source cmake ninja patch; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool (run scripts/deps.sh)" >&2; exit 1; }
done

started=$(date +%s)
mkdir -p "$work" "$sources"
fetch_debian_sources "$sources" curl
curl_dsc=$(newest_debian_dsc "$sources" curl)

# --- libcurl ----------------------------------------------------------------------------------
csrc=$work/curl-src
unpack_debian_source "$curl_dsc" "$csrc"
rm -rf "$work/curl-build"
cmake -S "$csrc" -B "$work/curl-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
  -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_GNUTLS=OFF -DCURL_USE_MBEDTLS=OFF \
  -DCURL_USE_WOLFSSL=OFF -DCURL_USE_NSS=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF \
  -DCURL_USE_LIBPSL=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF \
  -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON \
  -DHTTP_ONLY=ON -DENABLE_UNIX_SOCKETS=OFF \
  -DCURL_ZLIB=ON -DZLIB_INCLUDE_DIR=/usr/$triplet/include -DZLIB_LIBRARY=/usr/$triplet/lib/libz.a \
  >"$work/curl-configure.log" 2>&1 || { tail -40 "$work/curl-configure.log"; exit 1; }
cmake --build "$work/curl-build" --target libcurl >"$work/curl-build.log" 2>&1 ||
  { tail -40 "$work/curl-build.log"; exit 1; }
cmake --install "$work/curl-build" >/dev/null
[ -f "$out/lib/libcurl.a" ] || { echo "libcurl.a was not installed" >&2; exit 1; }
echo "$curl_recipe" >"$out/stamp-curl"

echo "windows deps: libcurl built in $(( $(date +%s) - started )) s into ${out#"$root"/}"
