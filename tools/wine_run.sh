#!/usr/bin/env bash
# tools/wine_run.sh PROGRAM.exe [ARGS]   runs a Windows program under Wine, in the prefix
#                                        $ALDL_WINEPREFIX
# tools/wine_run.sh --prepare            only readies the prefix
#
# The prefix is the build's own. A new one is made once (slow). Wine links COM1 and up to the
# machine's serial devices (/dev/ttyS0 is this machine's console) each time its server starts,
# so the server is kept running and the links are removed after it has started and before any
# program runs: nothing run here can reach a real serial device. Tests link COM ports to their
# own ptys in $ALDL_WINEPREFIX/dosdevices, and no other link survives.
set -euo pipefail
export WINEPREFIX=${ALDL_WINEPREFIX:?set ALDL_WINEPREFIX to the Wine prefix to use}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.made" ]; then
  echo "Making the Wine prefix $WINEPREFIX (once)" >&2
  wineboot -i >/dev/null 2>&1
  # Wine's own fonts (fonts-wine: MS Sans Serif, Tahoma) in the prefix's Fonts folder, where a
  # Windows program looks for them.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  touch "$WINEPREFIX/.made"
fi
# The drives are the prefix's C: and the root as Z:, whatever a prefix made earlier holds.
ln -sfn ../drive_c "$WINEPREFIX/dosdevices/c:"
ln -sfn / "$WINEPREFIX/dosdevices/z:"
# -p: the server stays, so it never starts again and links the serial devices once more.
wineserver -p >/dev/null 2>&1 || true
wine wineboot >/dev/null 2>&1
# A run keeps the links a test made to its ptys; --prepare, at a test program's start, removes
# those of earlier runs too.
keep=(! -lname '/dev/pts/*')
[ "${1:-}" = --prepare ] && keep=()
find "$WINEPREFIX/dosdevices" -maxdepth 1 -type l -iname 'com*' "${keep[@]}" -delete
flock -u 9
exec 9>&-
[ "${1:-}" = --prepare ] && exit 0
# Wine takes this process's place, so signals reach it, and its standard error goes straight to
# ours (WINEDEBUG=-all also quiets Debian's wrapper about wine32): a filter in between could
# still be writing when the program has ended.
exec wine "$@"
