#!/usr/bin/env bash
# Makes docs/fast-test-passed.png and docs/fast-test-failed.png: the window after a passing fast
# test and after one on an adaptor whose DTR line gives no power, drawn under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v xvfb-run >/dev/null; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q xvfb xauth
fi
./build.sh build
for picture in "fast-test-passed sim" "fast-test-failed sim:no-dtr"; do
  set -- $picture
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
    build/window_screenshot "docs/$1.png" "$2"
  echo "wrote docs/$1.png"
done
