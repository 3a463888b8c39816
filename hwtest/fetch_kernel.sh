#!/usr/bin/env bash
# fetch_kernel.sh CACHE_DIR: Debian's own kernel, taken apart rather than installed (installing
# it builds an initramfs for a minute). Leaves CACHE_DIR/<package>/vmlinux, uncompressed
# because it boots in half the time under emulation, and the USB modules beside it;
# prints that folder. A second run finds it there.
set -euo pipefail
cache=$1
# The kernel and module order the guest loads, dependencies first: the FTDI adaptor on xHCI,
# then the dummy USB controller with FunctionFS for the emulated chips, and their drivers.
modules=(usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio configfs udc-core dummy_hcd
         libcomposite usb_f_fs cp210x ch341 pl2303 cdc-acm)

kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }'
}

dir=""
complete() {
  [ -s "$dir/vmlinux" ] || return 1
  for m in "${modules[@]}"; do [ -s "$dir/$m.ko" ] || return 1; done
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Debian's package lists may be missing or name a package the mirror has dropped: then read them
# again once.
for attempt in first second; do
  [ $attempt = second ] && apt-get update -q >&2
  package=$(kernel_package)
  [ -n "$package" ] || continue
  dir=$cache/$package
  if complete; then
    echo "$dir"
    exit 0
  fi
  echo "fetch_kernel: taking apart $package" >&2
  (cd "$scratch" && apt-get download -q "$package" 2>/dev/null >&2) && break
  package=""
done
[ -n "$package" ] || { echo "fetch_kernel: cannot download Debian's linux-image-amd64 kernel" >&2; exit 1; }
dpkg-deb -x "$scratch"/"$package"_*.deb "$scratch/root"

mkdir -p "$dir.partial"
# The bzImage carries the kernel as an xz stream after its decompressor; xz stops at the
# stream's end and complains about the bytes after it, which are not the kernel's.
image=$(ls "$scratch"/root/boot/vmlinuz-*)
offset=$(LC_ALL=C grep -aobUP '\xfd7zXZ\x00' "$image" | head -n 1 | cut -d: -f1)
[ -n "$offset" ] || { echo "fetch_kernel: no xz stream in $image" >&2; exit 1; }
tail -c +"$((offset + 1))" "$image" | xz -dc > "$dir.partial/vmlinux" 2>/dev/null || true
[ "$(head -c 4 "$dir.partial/vmlinux" | od -An -c | tr -d ' ')" = "177ELF" ] ||
  { echo "fetch_kernel: $image did not unpack to an ELF kernel" >&2; exit 1; }

for m in "${modules[@]}"; do
  file=$(find "$scratch/root/lib/modules" -name "$m.ko*" | head -n 1)
  [ -n "$file" ] || { echo "fetch_kernel: $package has no module $m" >&2; exit 1; }
  case "$file" in
    *.ko.xz) xz -dc "$file" > "$dir.partial/$m.ko" ;;
    *.ko.zst) zstd -qdc "$file" > "$dir.partial/$m.ko" ;;
    *) cp "$file" "$dir.partial/$m.ko" ;;
  esac
done
rm -rf "$dir"
mv "$dir.partial" "$dir"
echo "$dir"
