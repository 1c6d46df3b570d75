#!/usr/bin/env bash
# Builds the libraries the Windows launcher links and Debian ships no MinGW build of: libcurl
# (static, Schannel TLS, HTTP and HTTPS only, zlib), libsodium (static, minimal: the launcher only
# verifies Ed25519 signatures over BLAKE2b digests) and minizip (scripts/build-minizip.sh), from
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
# Raise them when the build of that library below changes.
curl_recipe=1
sodium_recipe=1

force=0
[ "${1:-}" = "--force" ] && force=1

# The same minizip as the Linux build's, from zlib's source.
scripts/build-minizip.sh mingw ${1:+"$1"}

# --- libsodium --------------------------------------------------------------------------------
# Debian's source package is the upstream tree without its generated configure script: autoreconf
# makes it, as Debian's own build does. Only the library is built, not its tests.
build_libsodium() {
  local tool
  for tool in $triplet-gcc-posix $triplet-nm dpkg-source patch autoreconf libtoolize make; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool (run scripts/deps.sh)" >&2; exit 1; }
  done
  mkdir -p "$sources" "$work"
  fetch_debian_sources "$sources" libsodium
  local dsc stamp
  dsc=$(newest_debian_dsc "$sources" libsodium)
  stamp="$sodium_recipe $(basename "$dsc")"
  if [ "$force" != 1 ] && [ -f "$out/stamp-sodium" ] && [ "$(cat "$out/stamp-sodium")" = "$stamp" ] &&
     [ -f "$out/lib/libsodium.a" ] && [ -f "$out/include/sodium.h" ]; then
    echo "windows deps: libsodium cached in ${out#"$root"/}"
    return 0
  fi
  local started src=$work/sodium-src build=$work/sodium-build
  started=$(date +%s)
  unpack_debian_source "$dsc" "$src"
  (cd "$src" && autoreconf -fi) >"$work/sodium-autoreconf.log" 2>&1 ||
    { tail -40 "$work/sodium-autoreconf.log"; exit 1; }
  rm -rf "$build" "$out/include/sodium" "$out/include/sodium.h" "$out/lib/libsodium.a"
  mkdir -p "$build"
  # No -g: nothing debugs inside libsodium, and the debug information doubles the compile time.
  (cd "$build" && "$src/configure" --host=$triplet CC=$triplet-gcc-posix CFLAGS=-O2 \
     --prefix="$out" --disable-shared --enable-static --enable-minimal --disable-dependency-tracking) \
    >"$work/sodium-configure.log" 2>&1 || { tail -40 "$work/sodium-configure.log"; exit 1; }
  make -C "$build/src/libsodium" -j"$(nproc)" >"$work/sodium-build.log" 2>&1 ||
    { tail -40 "$work/sodium-build.log"; exit 1; }
  make -C "$build/src/libsodium" install >"$work/sodium-install.log" 2>&1 ||
    { tail -40 "$work/sodium-install.log"; exit 1; }
  rm -f "$out/lib/libsodium.la"
  # The launcher's verification needs these; a recipe that dropped them must not pass for built.
  local symbol defined
  defined=$($triplet-nm -g --defined-only "$out/lib/libsodium.a" 2>/dev/null)
  for symbol in sodium_init crypto_sign_verify_detached crypto_generichash_init \
                crypto_generichash_update crypto_generichash_final; do
    grep -q " T $symbol\$" <<<"$defined" || { echo "libsodium.a lacks $symbol" >&2; exit 1; }
  done
  echo "$stamp" >"$out/stamp-sodium"
  echo "windows deps: libsodium built in $(( $(date +%s) - started )) s into ${out#"$root"/}"
}
build_libsodium

# --- libcurl ----------------------------------------------------------------------------------
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
