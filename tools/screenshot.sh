#!/usr/bin/env bash
# Makes docs/fast-test-passed.png: the window after a passing fast test, drawn under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v xvfb-run >/dev/null; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q xvfb xauth
fi
./build.sh build
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  build/window_screenshot docs/fast-test-passed.png
echo "wrote docs/fast-test-passed.png"
