#!/usr/bin/env bash
# ./build.sh run [ARGS]   build and run aldl-tester-cli (no ARGS: the fast test on the simulated
#                         adaptor)
# ./build.sh gui [ARGS]   build and open the window
# ./build.sh test [ARGS]  build everything and run every test (ARGS go to ctest)
# ./build.sh build        build everything
# ./build.sh package      build the .deb and check it
# ./build.sh windows      cross-build the window and the headless runner for Windows with
#                         mingw-w64 (build-windows/aldl-tester.exe, aldl-tester-cli.exe, the .msi
#                         and a zip) and run the Windows tests under Wine (tools/wine_run.sh; ARGS
#                         go to ctest). The first run builds a static Qt for Windows once
#                         (tools/windows_qt.sh, about 30 minutes on 2 cores).
# ./build.sh hwtest       build, then run the tester against the kernel's own USB serial drivers
#                         (ftdi_sio, cp210x, ch341, pl2303, cdc-acm) under QEMU (hwtest/run.sh;
#                         a few minutes)
#
# Each command installs the Debian packages it needs (with sudo when not root, without
# recommended packages) and builds only the programs it needs. ALDL_WERROR=ON and
# ALDL_SANITIZE=ON build in folders of their own (build-werror, build-asan-werror, ...), so that
# no configuration rebuilds another's; ALDL_BUILD_DIR overrides the folder.
set -euo pipefail
cd "$(dirname "$0")"

# ccache keeps compiled objects between the build folders and runs (~/.cache/ccache).
run_packages=(cmake ninja-build g++ ccache libcli11-dev nlohmann-json3-dev)
# The window watches its X window through xcb (libxcb1-dev).
gui_packages=("${run_packages[@]}" qt6-base-dev libxcb1-dev)
# The window tests queue real window-system clicks (private headers), lose an X server (Xvfb)
# and open its boxes and menus as a user does (xdotool).
test_packages=("${gui_packages[@]}" qt6-base-private-dev libgtest-dev xvfb xdotool)
# dpkg-shlibdeps (dpkg-dev) and file find the package's dependencies; the validators check it.
package_packages=("${gui_packages[@]}" dpkg-dev file desktop-file-utils appstream)
# The Windows build: mingw-w64 cross-compiles, Wine runs the programs and tests; GoogleTest's
# sources (googletest) are built with mingw.
# The Linux build's wine_cli_tests play the far end on ptys, so the test packages come too. Qt
# for Windows is built from Debian's qt6-base source (dpkg-dev unpacks it) with the host's Qt
# tools; wixl makes the .msi, librsvg2-bin and icoutils the icon. The window under Wine takes
# its fonts from fonts-wine; xwd (x11-apps) shows the tests what it drew.
windows_packages=("${test_packages[@]}" g++-mingw-w64-x86-64-posix wine wine64 googletest
  qt6-base-dev-tools dpkg-dev perl wixl librsvg2-bin icoutils fonts-wine x11-apps)

werror=${ALDL_WERROR:-OFF}
sanitize=${ALDL_SANITIZE:-OFF}
default_build_dir=build
[ "$sanitize" = ON ] && default_build_dir+=-asan
[ "$werror" = ON ] && default_build_dir+=-werror
build_dir=${ALDL_BUILD_DIR:-$default_build_dir}

install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local install=(apt-get install -y -q --no-install-recommends "${missing[@]}")
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing ${missing[*]}" >&2
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${install[@]}"
  elif command -v sudo >/dev/null && echo "Installing ${missing[*]} with sudo" >&2 && sudo true; then
    sudo apt-get update -q
    sudo env DEBIAN_FRONTEND=noninteractive "${install[@]}"
  else
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Install them as root (for example after su -), then run $0 $command again:" >&2
    echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
}

# A build folder written by another user (typically root, through sudo) cannot be rebuilt: say
# how to recover rather than fail inside CMake or Ninja.
check_build_dir_owner() {
  local me
  me=$(id -u)
  for f in "$build_dir" "$build_dir/CMakeCache.txt" "$build_dir/build.ninja" "$build_dir/.ninja_log"; do
    [ -e "$f" ] || continue
    [ "$(stat -c %u "$f")" = "$me" ] && continue
    local owner
    owner=$(stat -c %U "$f")
    if [ "$me" -eq 0 ]; then
      echo "$build_dir/ belongs to $owner. Run $0 as $owner, without sudo: it asks for sudo" >&2
      echo "itself when it must install packages." >&2
    else
      echo "$f belongs to $owner, probably from a run with sudo. Remove the build folder," >&2
      echo "then run $0 again as yourself:" >&2
      echo "  sudo rm -rf $build_dir" >&2
    fi
    exit 1
  done
}

# configure GUI TESTING: ON builds the window or the tests. A new folder gets only what this
# command needs; an existing one keeps what earlier commands built.
configure() {
  local options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DALDL_WERROR="$werror" -DALDL_SANITIZE="$sanitize")
  command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  local fresh=no
  [ -f "$build_dir/CMakeCache.txt" ] || fresh=yes
  if [ "$1" = ON ] || [ $fresh = yes ]; then options+=(-DALDL_GUI="$1"); fi
  if [ "$2" = ON ] || [ $fresh = yes ]; then options+=(-DBUILD_TESTING="$2"); fi
  cmake -S . -B "$build_dir" -G Ninja "${options[@]}" >/dev/null
}

prepare() {  # prepare PACKAGE...: check the build folder, then install what is missing
  check_build_dir_owner
  install_packages "$@"
}

command=${1:-}
[ $# -gt 0 ] && shift
[ "${1:-}" = "--" ] && shift
case "$command" in
  run)
    prepare "${run_packages[@]}"
    configure OFF OFF
    cmake --build "$build_dir" --target aldl-tester-cli
    [ $# -eq 0 ] && set -- --simulate
    exec "$build_dir/aldl-tester-cli" "$@"
    ;;
  gui)
    prepare "${gui_packages[@]}"
    configure ON OFF
    cmake --build "$build_dir" --target aldl-tester
    exec "$build_dir/aldl-tester" "$@"
    ;;
  test)
    prepare "${test_packages[@]}"
    configure ON ON
    cmake --build "$build_dir"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j2 "$@"
    ;;
  build)
    prepare "${test_packages[@]}"
    configure ON ON
    cmake --build "$build_dir"
    ;;
  package)
    prepare "${package_packages[@]}"
    configure ON OFF
    cmake --build "$build_dir"
    (cd "$build_dir" && cpack) | tee "$build_dir/cpack.log"
    deb=$(sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' "$build_dir/cpack.log")
    tools/check_package.sh "$deb"
    echo "Install it with: sudo apt install ./${deb#"$PWD"/}"
    ;;
  windows)
    prepare "${windows_packages[@]}"
    configure ON ON
    cmake --build "$build_dir" --target wine_cli_tests
    windows_dir=${ALDL_WINDOWS_BUILD_DIR:-build-windows}
    windows_qt=$(tools/windows_qt.sh)
    options=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
      -DALDL_WERROR="$werror" -DALDL_GUI=ON -DBUILD_TESTING=ON
      -DALDL_WINDOWS_QT="$windows_qt" -DQT_HOST_PATH=/usr
      -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
      -DALDL_WINE_HARNESS="$PWD/$build_dir/autotests/wine_cli_tests")
    command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S . -B "$windows_dir" -G Ninja "${options[@]}" >/dev/null
    cmake --build "$windows_dir"
    ALDL_WINEPREFIX="$PWD/$windows_dir/wine-prefix" tools/wine_run.sh --prepare
    ctest --test-dir "$windows_dir" --output-on-failure "$@"
    ;;
  hwtest)
    prepare "${run_packages[@]}"
    configure OFF OFF
    cmake --build "$build_dir" --target aldl-tester-cli aldl-hwtest-far-end aldl-hwtest-probe \
      aldl-hwtest-chip
    exec hwtest/run.sh "$build_dir"
    ;;
  *)
    echo "usage: $0 run [ARGS] | gui [ARGS] | test [ARGS] | build | package | windows [ARGS] | hwtest" >&2
    exit 64
    ;;
esac
