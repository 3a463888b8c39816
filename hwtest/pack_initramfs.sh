#!/usr/bin/env bash
# pack_initramfs.sh BUILD_DIR KERNEL_DIR OUTPUT: the guest's whole root file system: busybox,
# the USB modules, the headless runner, the probe and the chip emulator with the libraries they
# link, the harness's init and its stand-in for udev's by-id links, and a user and group dialout as
# Debian has them. Packed again only when one of its parts is newer than OUTPUT.
set -euo pipefail
build=$1
kernel=$2
output=$3
here=$(dirname "$(realpath "$0")")
programs=("$build/aldl-tester-cli" "$build/hwtest/aldl-hwtest-probe" "$build/hwtest/aldl-hwtest-chip")
parts=(/bin/busybox "$here/guest/init" "$here/guest/by-id-links" "${programs[@]}" "$kernel"/*.ko)

if [ -s "$output" ]; then
  stale=no
  for part in "${parts[@]}"; do [ "$part" -nt "$output" ] && stale=yes; done
  [ $stale = no ] && exit 0
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc,usr/bin,lib/modules}
cp /bin/busybox "$root/bin/busybox"
cp "$here/guest/init" "$root/init"
cp "$here/guest/by-id-links" "$root/bin/by-id-links"
cp "$kernel"/*.ko "$root/lib/modules/"
for program in "${programs[@]}"; do
  cp "$program" "$root/usr/bin/"
  # Each library where the dynamic loader looks for it: the paths ldd resolves on this machine.
  for library in $(ldd "$program" | awk '/=> \// { print $3 } /^\t\/.*ld-linux/ { print $1 }'); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
  done
done
cat > "$root/etc/passwd" <<'USERS'
root:x:0:0:root:/:/bin/sh
driver:x:1000:1000:an ordinary user:/tmp:/bin/sh
USERS
cat > "$root/etc/group" <<'GROUPS'
root:x:0:
dialout:x:20:driver
driver:x:1000:
GROUPS
chmod 755 "$root" "$root/init" "$root/bin/by-id-links"
chmod 1777 "$root/tmp"
mkdir -p "$(dirname "$output")"
(cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null) | gzip -1 > "$output.partial"
mv "$output.partial" "$output"
