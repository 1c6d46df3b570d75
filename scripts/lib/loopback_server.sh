# Sourced by the scripts that run the launcher against nginx on loopback (demo, Windows road,
# road benchmark).
#   start_loopback_server WORK PORT
# serves WORK/www over HTTPS on PORT with the certificate in WORK/pki (scripts/make_test_pki.sh),
# logs requests to WORK/nginx-access.log, sets nginx_pid and returns once the server answers.
#   build_loopback_launcher BUILD PORT CA_BUNDLE [CMAKE_ARGS...]
# configures BUILD (Ninja, no tests, CMAKE_ARGS added: build type, toolchain) for a launcher whose
# base URL is https://localhost:PORT/PCDownload/sq1/ and which trusts the certificates of the PEM
# file CA_BUNDLE (a path on this machine: its bytes are compiled in, for Windows builds too), and
# builds the launcher and the sample game quietly.
start_loopback_server() {
  local work="$1" port="$2"
  mkdir -p "$work/www" "$work"/tmp-{body,proxy,fastcgi,uwsgi,scgi}
  sed -e "s|@WORK@|$work|g" -e "s|@PORT@|$port|g" demo/nginx.conf.in >"$work/nginx.conf"
  /usr/sbin/nginx -c "$work/nginx.conf" -p "$work" &
  nginx_pid=$!
  for _ in $(seq 50); do
    curl -s --cacert "$work/pki/ca.pem" -o /dev/null "https://localhost:$port/" && return 0
    sleep 0.1
  done
  echo "nginx did not answer on port $port" >&2
  return 1
}

build_loopback_launcher() {
  local build="$1" port="$2" ca_bundle="$3"
  shift 3
  # The base URL is built as given: this server's port.
  TIDEWAKE_TEST_PORT="$port" cmake -S . -B "$build" -G Ninja -DTIDEWAKE_BUILD_TESTS=OFF "$@" \
    -DLAUNCHER_BASE_URL="https://localhost:$port/PCDownload/sq1/" \
    -DLAUNCHER_CA_BUNDLE="$ca_bundle" >/dev/null || return 1
  cmake --build "$build" --target tidewake tidewake_sample_game >/dev/null
}
