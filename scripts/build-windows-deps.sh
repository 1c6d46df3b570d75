#!/usr/bin/env bash
# Builds the libraries the Windows launcher links and Debian ships no MinGW build of: libcurl
# (static, Schannel TLS, HTTP and HTTPS only, zlib) and minizip, from Debian's own source
# packages with Debian's fixes applied. zlib itself comes from libz-mingw-w64-dev.
#
# The result lands in third_party_build/mingw (include/, lib/) and is kept: a second run with the
# same sources and recipe only checks a stamp. The source packages are fetched through a private
# apt setup (its own deb-src list and package lists under third_party_build/apt), so the
# machine's apt configuration is never touched.
#
# Usage: scripts/build-windows-deps.sh [--force]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

out=$root/third_party_build/mingw
work=$root/third_party_build/windows-deps
aptdir=$root/third_party_build/apt
triplet=x86_64-w64-mingw32
# Raise a recipe when its build below changes: only that library is built again.
minizip_recipe=2
curl_recipe=1

stamp_ok() { [ "${force:-}" != 1 ] && [ -f "$out/stamp-$1" ] && [ "$(cat "$out/stamp-$1")" = "$2" ]; }
force=0
[ "${1:-}" = "--force" ] && force=1

if stamp_ok minizip "$minizip_recipe" && stamp_ok curl "$curl_recipe" &&
   [ -f "$out/lib/libcurl.a" ] && [ -f "$out/lib/libminizip.a" ]; then
  echo "windows deps: cached in ${out#"$root"/}"
  exit 0
fi

for tool in $triplet-gcc-posix dpkg-source cmake ninja patch; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool (run scripts/deps.sh)" >&2; exit 1; }
done

started=$(date +%s)
mkdir -p "$work" "$aptdir"

# --- Debian sources -------------------------------------------------------------------------
fetch_sources() {
  local lists=$aptdir/lists cache=$aptdir/cache
  mkdir -p "$lists/partial" "$cache/archives/partial"
  cat >"$aptdir/sources.list" <<LIST
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security bookworm-security main
LIST
  local apt_opts=(
    -o "Dir::Etc::sourcelist=$aptdir/sources.list" -o "Dir::Etc::sourceparts=-"
    -o "Dir::State::Lists=$lists" -o "Dir::Cache=$cache" -o "Dir::State::status=/var/lib/dpkg/status"
    -o "APT::Get::List-Cleanup=0" -o "Acquire::Retries=3" -o "Debug::NoLocking=1"
  )
  [ "$(id -u)" -eq 0 ] && apt_opts+=(-o "APT::Sandbox::User=root")
  timeout 300 apt-get "${apt_opts[@]}" update -qq
  # Newest revision first (the security suite's); a mirror that lacks it falls back to the next.
  local pkg version
  for pkg in "$@"; do
    ls "$work/${pkg}"_*.dsc >/dev/null 2>&1 && continue
    for version in $(apt-cache "${apt_opts[@]}" showsrc "$pkg" |
                     sed -n 's/^Version: //p' | sort -u | sort -rV); do
      if (cd "$work" && timeout 600 apt-get "${apt_opts[@]}" source --download-only -qq \
            "$pkg=$version" >/dev/null 2>"$work/fetch-$pkg.log"); then
        echo "windows deps: $pkg $version"
        break
      fi
      echo "windows deps: $pkg $version not fetchable, trying an older revision"
    done
    ls "$work/${pkg}"_*.dsc >/dev/null 2>&1 || { cat "$work/fetch-$pkg.log" >&2; return 1; }
  done
}

if ! ls "$work"/curl_*.dsc >/dev/null 2>&1 || ! ls "$work"/zlib_*.dsc >/dev/null 2>&1; then
  echo "windows deps: fetching Debian sources of curl and zlib"
  fetch_sources curl zlib
fi
# The newest revision fetched wins when several are cached.
curl_dsc=$(ls "$work"/curl_*.dsc | sort -V | tail -1)
zlib_dsc=$(ls "$work"/zlib_*.dsc | sort -V | tail -1)

# Unpacks a source package without its patches, then applies the ones that fix the code:
# packaging-only patches and those for other TLS flavours (GnuTLS, NSS) are left out.
unpack() {
  local dsc=$1 dir=$2
  rm -rf "$dir"
  # apt checked the files against the signed release; the uploader's own key is not needed.
  dpkg-source --skip-patches -x "$dsc" "$dir" >"$work/unpack.log" 2>&1 || { cat "$work/unpack.log"; return 1; }
  local series=$dir/debian/patches/series applied=0 skipped=()
  if [ -f "$series" ]; then
    while read -r p _; do
      case "$p" in ''|'#'*) continue ;; esac
      case "$p" in
        *gnutls*|*nss*|*packag*|*debian*|*soname*|*symbols*|*deb-*|*multiarch*|*pkgconfig*|*pkg-config*)
          skipped+=("$p"); continue ;;
      esac
      patch -s -p1 -d "$dir" <"$dir/debian/patches/$p"
      applied=$((applied + 1))
    done <"$series"
  fi
  echo "windows deps: $(basename "$dsc" .dsc): $applied Debian patches applied${skipped[*]:+, left out: ${skipped[*]}}"
}

# --- zlib's minizip ---------------------------------------------------------------------------
# The launcher reads archives (unzip); the tests write them (zip), which the launcher never links.
if ! stamp_ok minizip "$minizip_recipe"; then
zsrc=$work/zlib-src
unpack "$zlib_dsc" "$zsrc"
rm -rf "$work/minizip-obj"
mkdir -p "$out/include/minizip" "$out/lib" "$work/minizip-obj"
for c in ioapi unzip zip; do
  $triplet-gcc-posix -O2 -DNOCRYPT -DNOUNCRYPT -I"$zsrc" -c "$zsrc/contrib/minizip/$c.c" \
    -o "$work/minizip-obj/$c.o"
done
rm -f "$out/lib/libminizip.a"
$triplet-ar rcs "$out/lib/libminizip.a" "$work/minizip-obj"/*.o
cp "$zsrc/contrib/minizip/"{ioapi,unzip,zip}.h "$out/include/minizip/"
echo "$minizip_recipe" >"$out/stamp-minizip"
fi

# --- libcurl ----------------------------------------------------------------------------------
if ! stamp_ok curl "$curl_recipe"; then
csrc=$work/curl-src
unpack "$curl_dsc" "$csrc"
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
fi

echo "windows deps: built in $(( $(date +%s) - started )) s into ${out#"$root"/}"
