#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, then builds the one
# library taken from a Debian source package rather than a binary one: zlib's minizip
# (scripts/build-minizip.sh), which the Linux build links. Idempotent: only what is missing is
# installed or built, so a warm machine pays one dpkg query and a stamp check.
#   scripts/deps.sh                  everything (build, tests, demo)
#   scripts/deps.sh --publisher      only what the publisher's tool needs (cmake --preset publisher)
#   scripts/deps.sh PACKAGE...       everything and these
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libcurl4-openssl-dev zlib1g-dev rapidjson-dev libssl-dev dpkg-dev patch
  libgtk-3-dev fonts-arphic-uming
  libcpp-httplib-dev libgtest-dev googletest
  xvfb xdotool x11-apps x11-utils imagemagick python3
  openssl curl unzip zip nginx-light bc
  locales
  clang libclang-rt-14-dev
  libsodium-dev minisign osslsigncode rclone
)
if [ "${1:-}" = --publisher ]; then
  shift
  packages=(
    build-essential cmake ninja-build pkg-config
    libcurl4-openssl-dev zlib1g-dev rapidjson-dev libssl-dev dpkg-dev patch
    libsodium-dev rclone
  )
fi
[ "$#" -gt 0 ] && packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

"$(dirname "$0")/build-minizip.sh" linux
