#!/usr/bin/env bash
# The display areas of two screenshots of the analyzer's window, pixel for
# pixel: the level display above its tempo label (the label's text is drawn
# with each system's own font, so it is left out), the spectrum analyzer and
# the equalizer editor. Each is found as a large region of what displays
# draw (black, near black or a clear colour, not the window's greys), so
# frames, menus and fonts around them may differ.
# Usage: compare-displays.sh A.png B.png WORK_DIR; exit 0 when they match.
#        compare-displays.sh regions A.png: the areas found, one a line.
set -u
label_rows=13
# The regions WxH+X+Y of at least 60 by 30 pixels, left to right, then top
# to bottom: the level display with its label, the spectrum, the editor.
regions() {
    convert "$1" -fx '(max(max(r,g),b) < 0.235 || max(max(r,g),b) - min(min(r,g),b) >= 0.157) ? 1 : 0' \
        -colorspace gray -define connected-components:verbose=true -connected-components 4 null: |
        awk '$NF == "gray(255)" { split($2, g, /[x+]/); if (g[1] >= 60 && g[2] >= 30) print g[3], g[4], $2 }' |
        sort -n -k1,1 -k2,2 | awk '{ print $3 }'
}
if [[ $1 == regions ]]; then
    regions "$2"
    exit 0
fi
a=$1 b=$2 work=$3
mapfile -t ra < <(regions "$a")
mapfile -t rb < <(regions "$b")
if ((${#ra[@]} != 3 || ${#rb[@]} != 3)); then
    echo "compare-displays: not three display areas: ${ra[*]} / ${rb[*]}"
    exit 1
fi
status=0
names=("level display" "spectrum analyzer" "equalizer editor")
for i in 0 1 2; do
    read -r w h xa ya <<<"${ra[i]//[x+]/ }"
    read -r wb hb xb yb <<<"${rb[i]//[x+]/ }"
    if [[ $w != "$wb" || $h != "$hb" ]]; then
        echo "compare-displays: ${names[i]}: ${w}x$h against ${wb}x$hb"
        status=1
        continue
    fi
    ((i == 0)) && h=$((h - label_rows))
    convert "$a" -crop "${w}x$h+$xa+$ya" +repage "$work/region-a.png"
    convert "$b" -crop "${w}x$h+$xb+$yb" +repage "$work/region-b.png"
    differ=$(compare -metric AE "$work/region-a.png" "$work/region-b.png" null: 2>&1)
    echo "compare-displays: ${names[i]}: ${w}x$h, $differ pixels differ"
    [[ $differ == 0 ]] || status=1
done
exit $status
