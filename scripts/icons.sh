#!/usr/bin/env bash
# Renders the program's icon (dist/icons/hicolor/scalable/apps/es.talpor.Talpor.svg) into
# the PNG sizes of the hicolor theme beside it. The PNGs are kept in git, so building and
# installing need no SVG tool; run this after changing the SVG (needs librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../dist/icons/hicolor"
svg=scalable/apps/es.talpor.Talpor.svg
for n in 16 32 48 64 128 256; do
  mkdir -p "${n}x${n}/apps"
  rsvg-convert -w "$n" -h "$n" "$svg" -o "${n}x${n}/apps/es.talpor.Talpor.png"
done
