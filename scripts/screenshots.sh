#!/usr/bin/env bash
# Takes the README's pictures under Wine on a private Xvfb display: the main
# dialog of the bundled sample, the directory chooser that its Reference
# button opens, and the dialog of a file made with an author's icon (drawn
# here). Writes docs/dialog.png, docs/chooser.png and docs/author_icon.png.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
shots=$PWD/build/screenshots
scripts/make_sample.sh "$shots" --dir 'C:\Velkar Sample'
# An author's icon: a white peak on a green tile, in three bitmap sizes and a
# PNG 256x256.
icon=$PWD/build/screenshots-author
rm -rf "$icon" && mkdir -p "$icon"
for size in 16 32 48 256; do
    convert -size ${size}x${size} xc:none \
        -fill seagreen -draw "roundrectangle 0,0 $((size - 1)),$((size - 1)) $((size / 5)),$((size / 5))" \
        -fill white -draw "polygon $((size / 4)),$((size * 3 / 4)) $((size / 2)),$((size / 5)) $((size * 3 / 4)),$((size * 3 / 4))" \
        "PNG32:$icon/$size.png"
done
icotool -c -o "$icon/acme.ico" "$icon/16.png" "$icon/32.png" "$icon/48.png" --raw="$icon/256.png"
authored=$PWD/build/screenshots-icon
scripts/make_sample.sh "$authored" --dir 'C:\Velkar Sample' --title "Acme Viewer Setup" --icon "$icon/acme.ico" \
    --file-version 2.1.0.0 --product "Acme Viewer" --company "Acme"

. tests/wine/lib.sh
wine_setup
wine_new_prefix screenshots
mkdir -p "$WINEPREFIX/drive_c/Velkar Sample"
# The chooser opens in the program's current directory: C:\ here.
cd "$WINEPREFIX/drive_c"
wine_start "$shots/sample.exe"
dialog=$(wine_wait_window "Velkar Sample" 30)
import -window "$dialog" "$repo/docs/dialog.png"
xdotool windowfocus "$dialog"
xdotool key alt+r
chooser=$(wine_wait_window "Extracting directory" 30)
import -window "$chooser" "$repo/docs/chooser.png"
wine_press "$chooser" Escape
wine_press "$dialog" Escape
wine_wait_exit 30

wine_start "$authored/sample.exe"
dialog=$(wine_wait_window "Acme Viewer Setup" 30)
import -window "$dialog" "$repo/docs/author_icon.png"
wine_press "$dialog" Escape
wine_wait_exit 30
echo "wrote docs/dialog.png, docs/chooser.png and docs/author_icon.png"
