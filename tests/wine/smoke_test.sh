#!/bin/bash
# The built stub under Wine: as built (no archive behind it) and with a
# settings block whose archive lies past the end of the file.
set -u
# shellcheck source=tests/wine/lib.sh
. "$(dirname "$0")/lib.sh"

wine_require "$VELKAR_EXE" || exit
wine_setup || exit 1

# put_bytes FILE OFFSET BYTES...: writes the bytes (decimal values) in place.
put_bytes() {
    local file=$1 offset=$2 escapes=
    shift 2
    local byte
    for byte in "$@"; do escapes+=$(printf '\\x%02x' "$byte"); done
    printf %b "$escapes" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}

u32_bytes() { echo $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
text_bytes() { printf '%s' "$1" | od -An -v -tu1; }

# expect_message NAME EXE CAPTION TEXT: the run shows one error box with that
# caption and text, and ends with 0 once it is answered.
expect_message() {
    local name=$1 exe=$2 caption=$3 expected=$4 window text
    wine_start "$exe"
    if window=$(wine_wait_window "$caption" 30); then
        text=$(wine_window_text "$caption")
        wine_press "$window" Return
        wine_wait_exit 30
        if [ "$text" != "$expected" ]; then
            fail "$name" "message \"$text\", expected \"$expected\""
        elif [ "$WINE_STATUS" = 0 ]; then
            pass "$name: \"$text\" answered, exit 0"
        else
            fail "$name" "exit status $WINE_STATUS after the message"
        fi
    else
        wine_wait_exit 1
        fail "$name" "no window \"$caption\" to answer (program status $WINE_STATUS)"
    fi
}

# As built, the archive offset is 0: the walk meets the stub's own DOS
# header where a member header should be.
wine_new_prefix bare
bare=$WINE_RUN/bare.exe
cp "$VELKAR_EXE" "$bare"
expect_message "bare stub" "$bare" "Velkar V2.60.w32.0033" "\"$(windows_path "$bare")\" Bad header"

# An archive offset behind the end of the file is reported under the block's
# caption.
wine_new_prefix offset
smoke=$WINE_RUN/smoke.exe
cp "$VELKAR_EXE" "$smoke"
# shellcheck disable=SC2046 # the byte lists are meant to split
put_bytes "$smoke" $((0x200)) $(u32_bytes $(($(stat -c %s "$smoke") + 100)))
# shellcheck disable=SC2046
put_bytes "$smoke" $((0x204)) $(text_bytes "Velkar Smoke")
expect_message "archive past the end" "$smoke" "Velkar Smoke" "\"$(windows_path "$smoke")\" Unexpeted EOF"

finish
