#!/usr/bin/env bash
# tools/windows_qt.sh   prints the folder of a static Qt for 64-bit Windows, building it first
#                       when the cache has none for this recipe (about 30 minutes on 2 cores)
#
# Qt is built from Debian's own qt6-base source, of the version of the installed host tools
# (qt6-base-dev-tools), cross-compiled with mingw-w64. The source comes through a private apt
# configuration: the system's stays as it is. The result is kept in
# ${XDG_CACHE_HOME:-~/.cache}/aldl-tester/windows-qt/<version>-<recipe>, where <recipe> is a hash
# of the recipe (the toolchain and the configure options), so that a changed recipe builds anew
# and an unchanged one is reused in seconds.
# The caller installs the packages (./build.sh windows does).
set -euo pipefail

# The compilers by name: Qt's configure does not find the -posix ones from a prefix alone.
# -fno-ipa-ra: the linker keeps one copy of each inline function (std::mt19937's, Qt's own),
# which may be the program's; a caller must not count on the registers its own copy left alone
# (QRandomGenerator crashed on the program's copy of std::mt19937).
toolchain='set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_FLAGS_INIT -fno-ipa-ra)
set(CMAKE_CXX_FLAGS_INIT -fno-ipa-ra)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
'
# Only what the two programs and their tests use. Debian's source leaves out the tablet
# library (wintab), hence no tablet events.
configure_options=(-static -static-runtime -release
  -qt-host-path /usr -xplatform win32-g++ -nomake tests -nomake examples
  -no-opengl -no-dbus -no-icu -no-glib -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype
  -qt-harfbuzz -qt-pcre -qt-doubleconversion -no-feature-tabletevent
  -no-feature-sql -no-feature-network -no-feature-testlib -no-feature-printsupport
  -no-feature-concurrent -no-feature-xml -no-feature-vulkan -no-feature-zstd)

version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
recipe=$(printf '%s\n' "$toolchain" "${configure_options[@]}" | sha256sum | cut -c1-12)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/aldl-tester/windows-qt
prefix=$cache/${version//[^A-Za-z0-9.+-]/_}-$recipe
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work=$prefix.partial
rm -rf "$work"
mkdir -p "$work"
echo "Building Qt $version for Windows once, in $work (about 30 minutes on 2 cores)" >&2

# Debian's source package, fetched with apt's state and sources in the work folder.
. /etc/os-release
apt=$work/apt
mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$apt/sources"
cat >"$apt/sources/debian.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $VERSION_CODENAME
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
apt_options=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$apt/sources"
  -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache::Archives=$apt/archives"
  -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Sandbox::User=$(id -un)"
  -o "Debug::NoLocking=1")
apt-get -q "${apt_options[@]}" update >&2
(cd "$work" && apt-get -q "${apt_options[@]}" source "qt6-base=$version" >&2)
source_dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)

printf '%s' "$toolchain" >"$work/toolchain.cmake"

mkdir -p "$work/build"
cd "$work/build"
"$source_dir/configure" -prefix "$prefix" "${configure_options[@]}" \
  -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >configure.log 2>&1 ||
  { tail -n 40 configure.log >&2; exit 1; }

# Ninja's [done/total] counter on one line every few seconds while it builds, read from its log,
# so that nothing between the build and its log can end it.
jobs=${ALDL_QT_JOBS:-$(nproc)}
cmake --build . --parallel "$jobs" >build.log 2>&1 &
builder=$!
while kill -0 "$builder" 2>/dev/null; do
  printf '\rQt for Windows: %s ' "$(grep -o '^\[[0-9]*/[0-9]*\]' build.log | tail -n 1)" >&2
  sleep 5
done
echo >&2
if ! wait "$builder"; then
  grep -m 20 -B 2 -A 10 'error:' build.log >&2 || tail -n 40 build.log >&2
  exit 1
fi
rm -rf "$prefix"
cmake --install . >install.log
touch "$prefix/.complete"
cd "$cache"
rm -rf "$work"
echo "$prefix"
