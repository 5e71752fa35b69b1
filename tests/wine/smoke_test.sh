#!/bin/bash
# The built stub under Wine: as built (no archive behind it) and with a
# settings block whose archive lies past the end of the file.
set -u
# shellcheck source=tests/wine/lib.sh
. "$(dirname "$0")/lib.sh"

if [ ! -f "$VELKAR_EXE" ]; then
    fail "velkar.exe present" "$VELKAR_EXE is missing; build the windows preset first"
    finish
    exit
fi
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

# Without an archive the scan pass fails quietly and the run ends with 0.
wine_new_prefix bare
wine_start "$VELKAR_EXE"
wine_wait_exit 30
if [ "$WINE_STATUS" != 0 ]; then
    fail "bare stub" "exit status $WINE_STATUS"
elif [ -n "$WINE_WINDOWS" ]; then
    fail "bare stub" "showed a window: $(echo "$WINE_WINDOWS" | sort -u | tr '\n' ' ')"
else
    pass "bare stub ends with 0 and shows nothing"
fi

# An archive offset behind the end of the file is reported under the block's
# caption; the run still ends with 0 once the message is answered.
wine_new_prefix offset
smoke=$WINE_RUN/smoke.exe
cp "$VELKAR_EXE" "$smoke"
# shellcheck disable=SC2046 # the byte lists are meant to split
put_bytes "$smoke" $((0x200)) $(u32_bytes $(($(stat -c %s "$smoke") + 100)))
# shellcheck disable=SC2046
put_bytes "$smoke" $((0x204)) $(text_bytes "Velkar Smoke")
wine_start "$smoke"
if window=$(wine_wait_window "Velkar Smoke" 30); then
    text=$(wine_window_text "Velkar Smoke")
    expected="\"$(printf 'Z:%s' "$smoke" | tr / '\\')\" Unexpeted EOF"
    wine_press "$window" Return
    wine_wait_exit 30
    if [ "$text" != "$expected" ]; then
        fail "archive past the end" "message \"$text\", expected \"$expected\""
    elif [ "$WINE_STATUS" = 0 ]; then
        pass "archive past the end: \"$text\" answered, exit 0"
    else
        fail "archive past the end" "exit status $WINE_STATUS after the message"
    fi
else
    wine_wait_exit 1
    fail "archive past the end" "no window \"Velkar Smoke\" to answer (program status $WINE_STATUS)"
fi

finish
