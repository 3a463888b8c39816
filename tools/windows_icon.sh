#!/usr/bin/env bash
# tools/windows_icon.sh ICON.svg ICON.ico   draws the SVG icon at the sizes Windows shows and
#                                           packs them into one .ico (librsvg2-bin, icoutils)
set -euo pipefail
svg=$1 ico=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pngs=()
for size in 16 24 32 48 64 256; do
  rsvg-convert -w "$size" -h "$size" -o "$work/$size.png" "$svg"
  pngs+=("$work/$size.png")
done
icotool -c -o "$ico" "${pngs[@]}"
