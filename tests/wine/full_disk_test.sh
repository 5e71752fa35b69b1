#!/bin/bash
# A real full disk: a small tmpfs as the destination, filled half-way through
# the second of three members. velkar-run and the stub under Wine must both
# say "Write ERROR", delete the partial file, keep the first file byte for
# byte and write nothing else; with an old second.bin already there, that
# file is replaced only when whole, so it survives unchanged. Mounting needs root; without it the test says
# so and is skipped.
set -u
. "$(dirname "$0")/lib.sh"

VELKAR_RUN=${VELKAR_HOST_BUILD:-$VELKAR_ROOT/build/host}/tools/velkar-run
wine_require "$VELKAR_EXE" "$VELKAR_BUILDER" "$VELKAR_RUN" "$(command -v jlha || echo jlha)" || exit
WORK=$WINE_WORK/runs/full-disk.$$
DISK=$WORK/disk
rm -rf "$WORK"
mkdir -p "$WORK/files" "$DISK"
if ! mount -t tmpfs -o size=1m velkar-full "$DISK" 2>"$WORK/mount.log"; then
    echo "SKIP full disk: cannot mount a tmpfs here ($(cat "$WORK/mount.log")); run as root to test it"
    rm -rf "$WORK"
    finish
    exit
fi
# After wine_setup, whose own trap would replace this one and leave the
# tmpfs mounted.
wine_setup || { umount "$DISK"; rm -rf "$WORK"; exit 1; }
trap 'wine_cleanup; umount "$DISK" 2>/dev/null; rm -rf "$WORK"' EXIT

check() {
    if [ -z "$2" ]; then pass "$1"; else fail "$1" "$(printf '%s' "$2" | tr '\n' ';')"; fi
}

# Random bytes do not shrink, so the second member needs its 2 MB on disk.
head -c 100000 /dev/urandom >"$WORK/files/first.bin"
head -c 2000000 /dev/urandom >"$WORK/files/second.bin"
printf 'third\n' >"$WORK/files/third.txt"
(cd "$WORK/files" && jlha a2o5q "$WORK/full.lzh" first.bin second.bin third.txt >/dev/null)
caption="Velkar Full Disk"
"$VELKAR_BUILDER" -o "$WORK/full.exe" --stub "$VELKAR_EXE" --title "$caption" --archive "$WORK/full.lzh" >/dev/null ||
    { fail "full disk" "cannot make the file"; finish; exit; }
"$VELKAR_BUILDER" -o "$WORK/over.exe" --stub "$VELKAR_EXE" --title "$caption" --overwrite --no-keep-newer \
    --archive "$WORK/full.lzh" >/dev/null || { fail "full disk" "cannot make the file"; finish; exit; }
printf 'the old second\n' >"$WORK/old-second.bin"

# The destination's listing must be the first file alone, byte for byte.
only_first() {
    local listing
    listing=$(cd "$1" 2>/dev/null && find . -mindepth 1 | sort | tr '\n' ' ')
    [ "$listing" = "./first.bin " ] || echo "destination holds: $listing"
    cmp -s "$WORK/files/first.bin" "$1/first.bin" || echo "first.bin is not byte-exact"
}

# The same with the old second.bin beside it, untouched.
first_and_old_second() {
    local listing
    listing=$(cd "$1" 2>/dev/null && find . -mindepth 1 | sort | tr '\n' ' ')
    [ "$listing" = "./first.bin ./second.bin " ] || echo "destination holds: $listing"
    cmp -s "$WORK/files/first.bin" "$1/first.bin" || echo "first.bin is not byte-exact"
    cmp -s "$WORK/old-second.bin" "$1/second.bin" || echo "the old second.bin was changed"
}

out=$DISK/host
"$VELKAR_RUN" "$WORK/full.exe" -n "$out" >"$WORK/run.log" 2>&1 </dev/null
status=$?
check "velkar-run: Write ERROR, status 2, only the first file left" \
    "$([ $status = 2 ] || echo "status $status"
    grep -q "\"$out/second.bin\" Write ERROR" "$WORK/run.log" || echo "no Write ERROR naming second.bin: $(tr '\n' ' ' <"$WORK/run.log")"
    only_first "$out")"
rm -rf "$out"
mkdir -p "$out" && cp -p "$WORK/old-second.bin" "$out/second.bin"
"$VELKAR_RUN" "$WORK/over.exe" -n "$out" >"$WORK/run.log" 2>&1 </dev/null
status=$?
check "velkar-run over an old second.bin: Write ERROR, the old file unchanged" \
    "$([ $status = 2 ] || echo "status $status"
    grep -q "\"$out/second.bin\" Write ERROR" "$WORK/run.log" || echo "no Write ERROR naming second.bin"
    first_and_old_second "$out")"
rm -rf "$out"

# stub_until_write_error EXE OUT: runs EXE into OUT and answers the message
# box over its dialog, whose text it leaves in text.
stub_until_write_error() {
    local dialog box
    wine_start "$1" -n "$(windows_path "$2")"
    text=
    if dialog=$(wine_wait_owned "$caption" "" 30) && box=$(wine_wait_owned "$caption" "$dialog" 60); then
        text=$(wine_window_text "$caption")
        wine_press "$box" Return
    fi
    wine_wait_exit 30
}

wine_new_prefix full
out=$DISK/wine
stub_until_write_error "$WORK/full.exe" "$out"
check "the stub under Wine: Write ERROR, exit 1, only the first file left" \
    "$([ "$WINE_STATUS" = 1 ] || echo "exit status $WINE_STATUS"
    [ "$text" = "\"Z:$out/second.bin\" Write ERROR" ] || echo "message \"$text\""
    only_first "$out")"
rm -rf "$out"

out=$DISK/wine-old
mkdir -p "$out" && cp -p "$WORK/old-second.bin" "$out/second.bin"
stub_until_write_error "$WORK/over.exe" "$out"
check "the stub under Wine over an old second.bin: Write ERROR, the old file unchanged" \
    "$([ "$WINE_STATUS" = 1 ] || echo "exit status $WINE_STATUS"
    [ "$text" = "\"Z:$out/second.bin\" Write ERROR" ] || echo "message \"$text\""
    first_and_old_second "$out")"
finish
