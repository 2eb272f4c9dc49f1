#!/usr/bin/env bash
# Makes the launcher's PNG icons from the one SVG source, for the sizes the
# desktop asks for. Run it after changing the SVG and commit the result.
set -euo pipefail
cd "$(dirname "$0")"
name=org.corvane.AudioAnalyzer
command -v rsvg-convert >/dev/null || { echo "make-icons.sh: needs rsvg-convert (Debian: librsvg2-bin)" >&2; exit 1; }
for size in 16 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" "$name.svg" -o "hicolor/${size}x${size}/apps/$name.png"
done
