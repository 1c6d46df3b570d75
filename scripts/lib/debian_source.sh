# Sourced by the scripts that build a library from Debian's own source package (minizip for both
# platforms, libcurl for Windows).
#   fetch_debian_sources DIR PACKAGE...
# downloads the newest fetchable revision of each source package into DIR (one that is already
# there is kept) through a private apt setup under DIR/apt: its own deb-src list and package
# lists, so the machine's apt configuration is never touched.
#   newest_debian_dsc DIR PACKAGE
# prints the .dsc of the newest revision of PACKAGE in DIR.
#   unpack_debian_source DSC DEST
# unpacks a source package into DEST (replacing it) and applies Debian's patches that fix the
# code: packaging-only patches and those for other TLS flavours (GnuTLS, NSS) are left out.

fetch_debian_sources() {
  local dir=$1
  shift
  local aptdir=$dir/apt
  local lists=$aptdir/lists cache=$aptdir/cache
  local missing=() pkg
  for pkg in "$@"; do
    ls "$dir/${pkg}"_*.dsc >/dev/null 2>&1 || missing+=("$pkg")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  echo "debian sources: fetching ${missing[*]}"
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
  local version
  for pkg in "${missing[@]}"; do
    for version in $(apt-cache "${apt_opts[@]}" showsrc "$pkg" |
                     sed -n 's/^Version: //p' | sort -u | sort -rV); do
      if (cd "$dir" && timeout 600 apt-get "${apt_opts[@]}" source --download-only -qq \
            "$pkg=$version" >/dev/null 2>"$dir/fetch-$pkg.log"); then
        echo "debian sources: $pkg $version"
        break
      fi
      echo "debian sources: $pkg $version not fetchable, trying an older revision"
    done
    ls "$dir/${pkg}"_*.dsc >/dev/null 2>&1 || { cat "$dir/fetch-$pkg.log" >&2; return 1; }
  done
}

newest_debian_dsc() {
  ls "$1/$2"_*.dsc | sort -V | tail -1
}

unpack_debian_source() {
  local dsc=$1 dir=$2
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  # apt checked the files against the signed release; the uploader's own key is not needed.
  dpkg-source --skip-patches -x "$dsc" "$dir" >"$dir.unpack.log" 2>&1 || { cat "$dir.unpack.log"; return 1; }
  local series=$dir/debian/patches/series applied=0 skipped=() p
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
  echo "debian sources: $(basename "$dsc" .dsc): $applied Debian patches applied${skipped[*]:+, left out: ${skipped[*]}}"
}
