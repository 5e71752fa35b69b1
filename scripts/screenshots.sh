#!/usr/bin/env bash
# Takes the README's pictures under Wine on a private Xvfb display: the main
# dialog of the bundled sample, and the directory chooser that its Reference
# button opens. Writes docs/dialog.png and docs/chooser.png.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
shots=$PWD/build/screenshots
scripts/make_sample.sh "$shots" --dir 'C:\Velkar Sample'

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
echo "wrote docs/dialog.png and docs/chooser.png"
