#!/bin/bash
# The Reference button under Wine: the directory chooser opens on the
# program's current directory, and what is chosen there is where the files
# go; cancelling it changes nothing. The dialog itself sits in the middle of
# the screen.
set -u
. "$(dirname "$0")/lib.sh"

wine_require "$VELKAR_EXE" "$VELKAR_BUILDER" "$(command -v jlha || echo jlha)" || exit
wine_setup || exit 1

samples=$VELKAR_ROOT/samples/files

# make_sample DIR: DIR/sample.exe, whose settings name C:\elsewhere as the
# destination, so files land anywhere else only through the chooser.
make_sample() {
    (cd "$samples" && jlha a2o5q "$1/sample.lzh" readme.txt docs >/dev/null) &&
        "$VELKAR_BUILDER" -o "$1/sample.exe" --stub "$VELKAR_EXE" --title "Chooser Test" \
            --dir 'C:\elsewhere' --archive "$1/sample.lzh" >/dev/null
}

# choose NAME KEY: starts the sample in "$WINE_RUN/my files", presses
# Reference, answers the chooser with KEY and then OK in the dialog.
choose() {
    local name=$1 key=$2 dialog chooser
    mkdir -p "$WINE_RUN/my files"
    if ! make_sample "$WINE_RUN"; then
        fail "$name" "cannot make the sample"
        return 1
    fi
    cd "$WINE_RUN/my files" || return 1
    wine_start "$WINE_RUN/sample.exe"
    cd - >/dev/null || return 1
    if ! dialog=$(wine_wait_window "Chooser Test" 30); then
        fail "$name" "no dialog"
        return 1
    fi
    DIALOG_GEOMETRY=$(xdotool getwindowgeometry --shell "$dialog" 2>/dev/null)
    xdotool windowfocus "$dialog" 2>/dev/null
    xdotool key alt+r 2>/dev/null
    if ! chooser=$(wine_wait_window "Extracting directory" 30); then
        fail "$name" "Reference opened no chooser"
        return 1
    fi
    wine_press "$chooser" "$key"
    SHOWN=$(wine_window_text --edit "Chooser Test")
    wine_press "$dialog" Return
    wine_wait_exit 30
}

# The chooser's OK takes the directory it shows; a blank in it is kept
# together by quotes in the edit box, which OK strips again.
wine_new_prefix chosen
if choose "chosen directory" Return; then
    if [ "$WINE_STATUS" != 1 ]; then
        fail "chosen directory" "exit status $WINE_STATUS"
    elif [ "$SHOWN" != "\"$(windows_path "$WINE_RUN/my files")\"" ]; then
        fail "chosen directory" "the edit box shows $SHOWN"
    elif diff -r "$samples" "$WINE_RUN/my files" >/dev/null && [ ! -e "$WINEPREFIX/drive_c/elsewhere" ]; then
        pass "chosen directory with a blank: shown quoted as $SHOWN, unpacked there, exit 1"
    else
        fail "chosen directory" "files not in \"my files\""
    fi
fi

# Without a window manager the X window is the whole Windows window, frame
# included.
eval "$DIALOG_GEOMETRY"
read -r screen_width screen_height < <(xdotool getdisplaygeometry)
if [ "$X" = $(((screen_width - WIDTH) / 2)) ] && [ "$Y" = $(((screen_height - HEIGHT) / 2)) ]; then
    pass "dialog centred: ${WIDTH}x$HEIGHT at $X,$Y"
else
    fail "dialog centred" "${WIDTH}x$HEIGHT at $X,$Y"
fi

wine_new_prefix cancelled
if choose "chooser cancelled" Escape; then
    if [ "$WINE_STATUS" = 1 ] && [ "$SHOWN" = 'C:\elsewhere' ] && diff -r "$samples" "$WINEPREFIX/drive_c/elsewhere" >/dev/null &&
        [ -z "$(ls -A "$WINE_RUN/my files")" ]; then
        pass "chooser cancelled: the destination stays, exit 1"
    else
        fail "chooser cancelled" "exit status $WINE_STATUS, or files in the wrong place"
    fi
fi

finish
