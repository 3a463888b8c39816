#!/usr/bin/env bash
# tools/screenshot.sh           makes docs/fast-test-passed.png and docs/fast-test-failed.png: the
#                               window after a passing fast test and after one on an adaptor whose
#                               DTR line gives no power, drawn under Xvfb
# tools/screenshot.sh windows   makes docs/windows-fast-test-passed.png: the Windows window after a
#                               passing fast test, drawn under Wine (after ./build.sh windows)
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v xvfb-run >/dev/null; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q xvfb xauth
fi

if [ "${1:-}" = windows ]; then
  export ALDL_WINEPREFIX=$PWD/build-windows/wine-prefix
  # The server must take this X display: one left from an earlier run would keep its own.
  WINEPREFIX=$ALDL_WINEPREFIX wineserver -k 2>/dev/null || true
  xvfb-run -a -s "-screen 0 1024x768x24" \
    tools/wine_run.sh build-windows/window_screenshot.exe docs/windows-fast-test-passed.png sim
  WINEPREFIX=$ALDL_WINEPREFIX wineserver -k 2>/dev/null || true
  echo "wrote docs/windows-fast-test-passed.png"
  exit 0
fi

./build.sh build
for picture in "fast-test-passed sim" "fast-test-failed sim:no-dtr"; do
  set -- $picture
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
    build/window_screenshot "docs/$1.png" "$2"
  echo "wrote docs/$1.png"
done
