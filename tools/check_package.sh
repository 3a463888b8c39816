#!/usr/bin/env bash
# tools/check_package.sh DEB: checks a built package as a Debian desktop would use it: the
# programs (stripped, runnable), the desktop entry naming the installed window, the icon, the
# metainfo and the manual pages, dependencies read from the programs, and Debian's own validators
# on the desktop entry and the metainfo.
set -euo pipefail
deb=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

fail() {
  echo "$deb: $*" >&2
  exit 1
}

desktop_entry=usr/share/applications/aldl-tester.desktop
metainfo=usr/share/metainfo/com.zantrix.aldl_tester.metainfo.xml
for f in usr/bin/aldl-tester usr/bin/aldl-tester-cli "$desktop_entry" "$metainfo" \
  usr/share/icons/hicolor/scalable/apps/aldl-tester.svg \
  usr/share/man/man1/aldl-tester.1.gz usr/share/man/man1/aldl-tester-cli.1.gz; do
  [ -s "$root/$f" ] || fail "/$f is missing or empty"
done

for program in aldl-tester aldl-tester-cli; do
  file -b "$root/usr/bin/$program" | grep -qE '(^|, )stripped$' || fail "/usr/bin/$program is not stripped"
done
"$root/usr/bin/aldl-tester-cli" --version >/dev/null || fail "aldl-tester-cli --version failed"

grep -qx 'Exec=/usr/bin/aldl-tester' "$root/$desktop_entry" || fail "the desktop entry does not start /usr/bin/aldl-tester"
grep -qx 'Icon=aldl-tester' "$root/$desktop_entry" || fail "the desktop entry names another icon"
for page in aldl-tester aldl-tester-cli; do
  gzip -dc "$root/usr/share/man/man1/$page.1.gz" | grep -q '^\.TH ' || fail "$page.1.gz is not a manual page"
done
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends does not name the window's Qt libraries"

desktop-file-validate "$root/$desktop_entry"
appstreamcli validate --no-net "$root/$metainfo"
echo "$deb: contents, desktop entry and metainfo checked"
