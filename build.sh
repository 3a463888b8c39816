#!/usr/bin/env bash
# ./build.sh build       build everything
# ./build.sh test        build and run every test
# ./build.sh gui [ARGS]  build and open the window
# ./build.sh run [ARGS]  build and run aldl-tester-cli (no ARGS: the fast test on the simulated
#                        adaptor)
# ./build.sh hwtest      build, then run the tester against the kernel's ftdi_sio driver under
#                        QEMU (hwtest/run.sh; a few minutes)
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ qt6-base-dev libgtest-dev libcli11-dev nlohmann-json3-dev)

install_missing_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing ${missing[*]}" >&2
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
}

build_dir=${ALDL_BUILD_DIR:-build}

build() {
  install_missing_packages
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DALDL_WERROR="${ALDL_WERROR:-OFF}" -DALDL_SANITIZE="${ALDL_SANITIZE:-OFF}" >/dev/null
  cmake --build "$build_dir"
}

command=${1:-}
[ $# -gt 0 ] && shift
case "$command" in
  build)
    build
    ;;
  test)
    build
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j2 "$@"
    ;;
  gui)
    build
    [ "${1:-}" = "--" ] && shift
    exec "$build_dir/aldl-tester" "$@"
    ;;
  run)
    build
    [ "${1:-}" = "--" ] && shift
    [ $# -eq 0 ] && set -- --simulate
    exec "$build_dir/aldl-tester-cli" "$@"
    ;;
  hwtest)
    build
    exec hwtest/run.sh "$build_dir"
    ;;
  *)
    echo "usage: $0 build | test | gui [ARGS] | run [ARGS] | hwtest" >&2
    exit 64
    ;;
esac
