#!/bin/bash
# Self-extracting files made by velkar-build from jlha archives, run under Wine
# and driven through the main dialog and its message boxes as a user would:
# auto start, a typed destination, Cancel before and during the pass, the "!"
# question, overwrite questions, a refused network path and a damaged member.
# usage: dialog_test.sh [CASE...]   (default: every case; names below)
set -u
# shellcheck source=tests/wine/lib.sh
. "$(dirname "$0")/lib.sh"

CASES=(auto-start long-directory typed-directory cancel-before cancel-during cancel-replacing question overwrite replacing
    network-path crc-error)

wine_require "$VELKAR_EXE" "$VELKAR_BUILD/window_text.exe" "$VELKAR_BUILD/hold_file.exe" "$VELKAR_BUILDER" "$(command -v jlha || echo jlha)" || exit
wine_setup || exit 1
WORK=$WINE_WORK/runs/dialog-files.$$
rm -rf "$WORK"
mkdir -p "$WORK"
trap 'wine_cleanup; rm -rf "$WORK"' EXIT

# listing FOLDER: the names in the folder, sorted, on one line.
listing() {
    find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null | sort | tr '\n' ' ' | sed 's/ $//'
}

expect_no_window_left() {
    local left
    left=$(visible_windows)
    [ -z "$left" ] || echo "windows left: $(printf '%s' "$left" | tr '\n' '|')"
}

# A dialog whose pass runs has shown only its own caption, and leaves no
# window behind.
expect_quiet_run() {
    local seen
    seen=$(printf '%s' "$WINE_WINDOWS" | sort -u)
    [ "$seen" = "$1" ] || echo "windows seen: $(printf '%s' "$seen" | tr '\n' '|')"
    expect_no_window_left
}

# type_directory DIALOG CAPTION TEXT: replaces the destination with TEXT and
# reads it back, typing again when xdotool lost a key.
type_directory() {
    for _ in 1 2 3; do
        xdotool windowfocus "$1" 2>/dev/null || true
        xdotool key End shift+Home 2>/dev/null || true
        xdotool type --delay 20 "$3" 2>/dev/null || true
        [ "$(wine_window_text --edit "$2")" = "$3" ] && return 0
    done
    return 1
}

# output_path PATH: a file's path as the stub's messages show it: the
# destination and the member path joined with '/' throughout.
output_path() { printf 'Z:%s' "$1"; }

# start_in FOLDER EXE ARGS...: starts the program with FOLDER as its current
# directory.
start_in() {
    local folder=$1
    shift
    mkdir -p "$folder"
    pushd "$folder" >/dev/null || return 1
    wine_start "$@"
    popd >/dev/null || return 1
}

# The corpus of the first cases: nested folders, an empty file and an empty
# folder, a name with a blank, text, numbers and random bytes, packed with
# -lh0- and -lh5- to -lh7-; every file with its own old time.
CORPUS=$WORK/corpus
corpus_exe() {
    [ -f "$WORK/corpus.lzh" ] && return 0
    mkdir -p "$CORPUS/docs/deep/nested" "$CORPUS/empty dir"
    printf 'Velkar dialog test\r\nsecond line\r\n' >"$CORPUS/readme.txt"
    printf 'a name with a blank\n' >"$CORPUS/my notes.txt"
    : >"$CORPUS/empty.txt"
    awk 'BEGIN { srand(3); for (i = 0; i < 20000; i++) printf "%s%s", substr("lorem ipsum dolor sit amet velkar", 1 + int(rand() * 25), 1 + int(rand() * 8)), (i % 11 ? " " : "\n") }' \
        >"$CORPUS/docs/words.txt"
    seq 1 30000 >"$CORPUS/docs/deep/numbers.txt"
    LC_ALL=C awk 'BEGIN { srand(7); for (i = 0; i < 150000; i++) printf "%c", int(rand() * 256) }' \
        >"$CORPUS/docs/deep/nested/random.bin"
    awk 'BEGIN { for (i = 0; i < 6000; i++) printf "%05d %08x %s\n", i, (i * 2654435761) % 4294967296, substr("abcdefghij", 1 + i % 10) }' \
        >"$CORPUS/docs/deep/nested/table.txt"
    printf 'stored as it is\n' >"$CORPUS/stored.txt"
    local day=1 file
    while IFS= read -r -d '' file; do
        touch -d "2003-04-$day 05:06:07 UTC" "$file"
        day=$((day + 1))
    done < <(find "$CORPUS" -type f -print0 | sort -z)
    pack "$CORPUS" "$WORK/corpus.lzh" o5 readme.txt "my notes.txt" empty.txt docs/words.txt &&
        pack "$CORPUS" "$WORK/corpus.lzh" o6 docs/deep/numbers.txt &&
        pack "$CORPUS" "$WORK/corpus.lzh" o7 docs/deep/nested &&
        pack "$CORPUS" "$WORK/corpus.lzh" z stored.txt "empty dir" &&
        make_exe "$WORK/corpus.lzh" "$WORK/corpus.exe" --title "Velkar Dialog"
}

# 1. Auto start into a folder given on the command line that does not exist.
case_auto_start() {
    local name="auto start with -n DIR" out
    corpus_exe || { fail "$name" "cannot make the file"; return; }
    wine_new_prefix auto
    out=$WINE_RUN/out
    wine_start "$WORK/corpus.exe" -n "$(windows_path "$out")"
    wine_wait_exit 60
    check "$name: every file, folder and time, exit 1, no box and no window left" \
        "$(expect_status 1; same_tree "$CORPUS" "$out"; expect_quiet_run "Velkar Dialog")"
}

# 1b. A directory on the command line too long to take: the stub cannot use
# it, so the dialog waits for OK even with -n and the auto-start flag,
# showing where it would unpack instead; nothing is written unasked.
case_long_directory() {
    local name="a command-line directory of 300 bytes" caption="Velkar Long" dialog
    if ! corpus_exe || ! make_exe "$WORK/corpus.lzh" "$WORK/long.exe" --title "$caption" --auto-start; then
        fail "$name" "cannot make the file"
        return
    fi
    wine_new_prefix long
    start_in "$WINE_RUN/cwd" "$WORK/long.exe" -n "C:\\$(printf '%0300d' 0)"
    if ! dialog=$(wine_wait_owned "$caption" "" 30); then
        wine_wait_exit 1
        fail "$name" "no dialog (status $WINE_STATUS)"
        return
    fi
    pause 2
    if window_visible "$dialog" && [ -z "$(ls -A "$WINE_RUN/cwd")" ]; then
        pass "$name: the dialog waits for OK"
    else
        fail "$name" "auto-start went ahead: $(listing "$WINE_RUN/cwd")"
    fi
    wine_press "$dialog" Escape
    wine_wait_exit 30
    check "$name: Cancel writes nothing, exit 0" \
        "$(expect_status 0; [ -z "$(ls -A "$WINE_RUN/cwd")" ] || echo "written into the current directory")"
}

# 2. The dialog opens on the current directory; a typed destination in
# quotes, with a blank, is taken by OK.
case_typed_directory() {
    local name="typed destination" caption="Velkar Dialog" dialog target initial
    corpus_exe || { fail "$name" "cannot make the file"; return; }
    wine_new_prefix typed
    target="$WINE_RUN/typed out"
    start_in "$WINE_RUN/cwd" "$WORK/corpus.exe" -n-
    if ! dialog=$(wine_wait_owned "$caption" "" 30); then
        wine_wait_exit 1
        fail "$name" "no dialog (status $WINE_STATUS)"
        return
    fi
    initial=$(wine_window_text --edit "$caption")
    if [ "$initial" != "$(windows_path "$WINE_RUN/cwd")" ]; then
        fail "$name: starts on the current directory" "edit box holds \"$initial\""
    else
        pass "$name: starts on the current directory"
    fi
    if ! type_directory "$dialog" "$caption" "\"$(windows_path "$target")\""; then
        fail "$name" "the edit box holds \"$(wine_window_text --edit "$caption")\" after typing"
        wine_wait_exit 0
        return
    fi
    press_ok "$dialog" "$caption" || fail "$name" "OK did not take the destination"
    wine_wait_exit 60
    check "$name: OK unpacks every file into it, exit 1" \
        "$(expect_status 1; same_tree "$CORPUS" "$target"; [ -z "$(ls -A "$WINE_RUN/cwd")" ] || echo "written into the current directory")"
}

# 3. Cancel before OK, under the caption of a file built without a title.
# Escape and the close box (alt+F4) both end the dialog as Cancel does.
case_cancel_before() {
    local caption="Velkar V2.60.w32.0033" dialog out key name
    if ! corpus_exe || ! make_exe "$WORK/corpus.lzh" "$WORK/untitled.exe"; then
        fail "Cancel before OK" "cannot make the file"
        return
    fi
    for key in Escape alt+F4; do
        name="Cancel before OK ($key)"
        wine_new_prefix "cancel-$key"
        out=$WINE_RUN/out
        start_in "$WINE_RUN/cwd" "$WORK/untitled.exe" -n- "$(windows_path "$out")"
        if dialog=$(wine_wait_owned "$caption" "" 30) && wine_press "$dialog" "$key"; then
            wine_wait_exit 30
            check "$name: exit 0 and nothing written" \
                "$(expect_status 0; [ ! -e "$out" ] || echo "$out made"; [ -z "$(ls -A "$WINE_RUN/cwd")" ] || echo "written into the current directory")"
        else
            wine_wait_exit 1
            fail "$name" "no dialog \"$caption\" to cancel (status $WINE_STATUS)"
        fi
    done
}

# stop_process PID: sends SIGSTOP and waits until every thread stands still,
# so that no write in progress lands after the size is taken.
stop_process() {
    local limit task state running
    kill -STOP "$1" || return 1
    limit=$(deadline 5)
    while before "$limit"; do
        running=
        for task in /proc/"$1"/task/*/stat; do
            state=$(sed 's/.*) //' "$task" 2>/dev/null | cut -c1)
            [ "$state" = T ] || [ "$state" = t ] || running=yes
        done
        [ -z "$running" ] && return 0
        sleep 0.01
    done
    return 1
}

# 4. Cancel while the last member, 39 MB, is written. Wine writes it in about
# 0.6 s, too little to hit reliably from outside, and a larger member only
# narrows the race. So the test stops the stub (SIGSTOP) as soon as the
# member's temporary file appears (VLKxxxx.TMP, lower case under Wine, beside
# second.txt, which has taken its real name by then), queues Escape on the
# dialog while it stands still and lets it go on (SIGCONT): its next progress
# update reads the key, with nearly all of the member still to come.
# 4b. The same over an old large.txt, read-only and with an old time, from a
# file that overwrites unasked and restores attributes: the old file keeps
# its bytes, time and mark (cleared only just before a swap that never comes).

# partial_file OUT LIMIT [OLD]: prints the temporary file of the member after
# second.txt once it appears in OUT, or large.txt once it no longer matches
# OLD (a stub that wrote in place); fails after LIMIT seconds.
partial_file() {
    local limit file
    limit=$(deadline "$2")
    while before "$limit"; do
        if [ -e "$1/second.txt" ]; then
            for file in "$1"/VLK*.[Tt][Mm][Pp]; do
                [ -e "$file" ] && echo "$file" && return 0
            done
            [ -n "${3:-}" ] && ! cmp -s "$3" "$1/large.txt" && echo "$1/large.txt" && return 0
        fi
        sleep 0.02
    done
    return 1
}

# unchanged OLD FILE: prints what differs from the copy OLD: bytes, time or mode.
unchanged() {
    cmp -s "$1" "$2" || echo "${2##*/} has other content"
    [ "$(stat -c '%Y %a' "$2" 2>&1)" = "$(stat -c '%Y %a' "$1")" ] ||
        echo "${2##*/}: time and mode $(stat -c '%Y %a' "$2" 2>&1), expected $(stat -c '%Y %a' "$1")"
}

# cancel_large NAME EXE [OLD]: the run of 4, into a folder holding a copy of
# OLD as large.txt when it is given.
cancel_large() {
    local name=$1 exe=$WORK/$2 old=${3:-} caption="Velkar Large" folder=$WORK/large dialog out partial size="" moved=""
    if [ ! -f "$WORK/large.exe" ]; then
        mkdir -p "$folder"
        printf 'first\n' >"$folder/first.txt"
        seq 1 20000 >"$folder/second.txt"
        seq 1 5000000 >"$folder/large.txt"
        touch -d '2005-06-07 08:09:10 UTC' "$folder/first.txt" "$folder/second.txt"
        if ! pack "$folder" "$WORK/large.lzh" o5 first.txt second.txt large.txt ||
            ! make_exe "$WORK/large.lzh" "$WORK/large.exe" --title "$caption" ||
            ! make_exe "$WORK/large.lzh" "$WORK/large-over.exe" --title "$caption" --overwrite --no-keep-newer \
                --restore-attributes; then
            rm -f "$WORK/large.exe"
            fail "$name" "cannot make the file"
            return
        fi
    fi
    wine_new_prefix large
    out=$WINE_RUN/out
    mkdir -p "$out"
    [ -z "$old" ] || cp -p "$old" "$out/large.txt"
    wine_start "$exe" -n "$(windows_path "$out")"
    if dialog=$(wine_wait_owned "$caption" "" 30) && partial=$(partial_file "$out" 60 "$old"); then
        if stop_process "$WINE_PID"; then
            size=$(stat -c %s "$partial")
            xdotool windowfocus "$dialog" 2>/dev/null || true
            xdotool key Escape 2>/dev/null || true
            [ "$(stat -c %s "$partial")" = "$size" ] || moved=yes
        fi
        kill -CONT "$WINE_PID"
    fi
    wine_wait_exit 60
    if [ -n "$moved" ]; then
        fail "$name" "the stub wrote on while stopped: the wrong process was stopped"
    elif [ -z "$size" ]; then
        fail "$name" "the large member's file never appeared or the stub did not stop (status $WINE_STATUS)"
    elif [ "$size" -ge "$(stat -c %s "$folder/large.txt")" ]; then
        fail "$name" "the member was complete before Escape"
    else
        check "$name: Escape at $size bytes deletes the partial file, keeps the others$([ -z "$old" ] || echo " and the old large.txt"), exit 1" \
            "$(expect_status 1
            if [ -n "$old" ]; then
                unchanged "$old" "$out/large.txt"
            elif [ -e "$out/large.txt" ]; then
                echo "large.txt left behind ($(stat -c %s "$out/large.txt") bytes)"
            fi
            [ ! -e "$partial" ] || [ "$partial" = "$out/large.txt" ] || echo "${partial##*/} left behind"
            same_file "$folder/first.txt" "$out/first.txt"
            same_file "$folder/second.txt" "$out/second.txt"
            expect_no_window_left)"
    fi
}

case_cancel_during() { cancel_large "Cancel during the pass" large.exe; }

case_cancel_replacing() {
    printf 'the old large file\n' >"$WORK/old-large.txt"
    touch -d '2001-02-03 04:05:06 UTC' "$WORK/old-large.txt"
    chmod 444 "$WORK/old-large.txt"
    cancel_large "Cancel during a replacing member" large-over.exe "$WORK/old-large.txt"
}

# 5. The "!" member's question comes before the dialog. No ends the run;
# Yes goes on, and "!" itself is never written.
case_question() {
    local caption="Velkar Question" folder=$WORK/question box count text answer out written dialog flag
    local question="Install the Velkar test files on this computer?"
    if [ ! -f "$WORK/question.exe" ]; then
        mkdir -p "$folder"
        printf '%s' "$question" >"$folder/!"
        printf 'after the question\n' >"$folder/readme.txt"
        touch -d '2006-01-02 03:04:05 UTC' "$folder/readme.txt"
        if ! pack "$folder" "$WORK/question.lzh" o5 '!' readme.txt ||
            ! make_exe "$WORK/question.lzh" "$WORK/question.exe" --title "$caption"; then
            fail "question" "cannot make the file"
            return
        fi
    fi
    # After Yes the dialog waits for OK (-n-): a dialog that went by on its
    # own could go unseen between two looks in the slow guest.
    for answer in n y; do
        wine_new_prefix "question-$answer"
        out=$WINE_RUN/out
        if [ "$answer" = n ]; then flag=-n; else flag=-n-; fi
        wine_start "$WORK/question.exe" "$flag" "$(windows_path "$out")"
        if ! box=$(wine_wait_window "$caption" 30); then
            wine_wait_exit 1
            fail "question ($answer)" "no question box (status $WINE_STATUS)"
            continue
        fi
        count=$(visible_windows | grep -cxF "$caption")
        text=$(wine_window_text "$caption")
        wine_press "$box" "$answer" || fail "question ($answer)" "the box did not take the answer"
        dialog=
        if [ "$answer" = y ] && dialog=$(wine_wait_window "$caption" 30 "$box"); then
            press_ok "$dialog" "$caption" || fail "question (y)" "OK did not start the pass"
        fi
        wine_wait_exit 30
        if [ "$answer" = n ]; then
            check "question answered No: shown alone with its text, no dialog, nothing written, exit 0" \
                "$(expect_status 0
                [ "$count" = 1 ] || echo "$count windows \"$caption\" with the question"
                [ "$text" = "$question" ] || echo "question \"$text\""
                [ -z "$WINE_WINDOWS" ] || echo "windows after the answer: $(printf '%s' "$WINE_WINDOWS" | sort -u | tr '\n' '|')"
                [ ! -e "$out" ] || echo "$out made")"
        else
            check "question answered Yes: the dialog follows and unpacks all but \"!\", exit 1" \
                "$(expect_status 1
                [ "$text" = "$question" ] || echo "question \"$text\""
                [ -n "$dialog" ] || echo "no dialog after the question"
                expect_no_window_left
                same_file "$folder/readme.txt" "$out/readme.txt"
                written=$(listing "$out")
                [ "$written" = readme.txt ] || echo "written: $written")"
        fi
    done
}

# 6. Older copies in the destination: Yes replaces, No keeps, Cancel stops
# the pass; a newer copy is kept without a question.
case_overwrite() {
    local caption="Velkar Overwrite" folder=$WORK/overwrite out dialog box first text letter problems
    if [ ! -f "$WORK/overwrite.exe" ]; then
        mkdir -p "$folder"
        for letter in a b c d; do
            printf 'new %s, from the archive\n' "$letter" >"$folder/$letter.txt"
        done
        touch -d '2010-06-15 12:00:00 UTC' "$folder"/*.txt
        if ! pack "$folder" "$WORK/overwrite.lzh" o5 a.txt b.txt c.txt d.txt ||
            ! make_exe "$WORK/overwrite.lzh" "$WORK/overwrite.exe" --title "$caption"; then
            fail "overwrite" "cannot make the file"
            return
        fi
    fi
    mkdir -p "$WORK/old"
    printf 'old a\n' >"$WORK/old/a.txt"
    printf 'old b\n' >"$WORK/old/b.txt"
    printf 'newer d\n' >"$WORK/old/d.txt"
    touch -d '2000-01-01 00:00:00 UTC' "$WORK/old/a.txt" "$WORK/old/b.txt"
    touch -d '2020-01-01 00:00:00 UTC' "$WORK/old/d.txt"

    # ask_overwrite LETTER ANSWER [SEEN_BOX]: the question for LETTER.txt
    # appears over the dialog with its path and takes the answer.
    ask_overwrite() {
        local expected
        expected="\"$(output_path "$out/$1.txt")\" Overwrite?"
        if ! box=$(wine_wait_owned "$caption" "$dialog" 30 "${@:3}"); then
            problems+="no question for $1.txt"$'\n'
            return 1
        fi
        text=$(wine_window_text "$caption")
        [ "$text" = "$expected" ] || problems+="question \"$text\", expected \"$expected\""$'\n'
        wine_press "$box" "$2" || problems+="the question for $1.txt did not take $2"$'\n'
    }

    # start_with_old PREFIX FILE...: auto start into a destination that holds
    # these old files, and find the dialog.
    start_with_old() {
        wine_new_prefix "$1"
        shift
        out=$WINE_RUN/out
        mkdir -p "$out"
        (cd "$WORK/old" && cp -p "$@" "$out")
        problems=
        wine_start "$WORK/overwrite.exe" -n "$(windows_path "$out")"
        dialog=$(wine_wait_owned "$caption" "" 30) || { problems+="no dialog"$'\n'; return 1; }
    }

    if start_with_old overwrite-yes-no a.txt b.txt d.txt; then
        ask_overwrite a y && first=$box && ask_overwrite b n "$first"
    fi
    wine_wait_exit 30
    problems+=$(expect_status 1
        same_file "$folder/a.txt" "$out/a.txt"
        same_file "$WORK/old/b.txt" "$out/b.txt"
        same_file "$folder/c.txt" "$out/c.txt"
        same_file "$WORK/old/d.txt" "$out/d.txt")
    check "overwrite Yes then No: a replaced, b kept, c written, newer d kept unasked, exit 1" "$problems"

    start_with_old overwrite-cancel b.txt && ask_overwrite b Escape
    wine_wait_exit 30
    problems+=$(expect_status 1
        same_file "$folder/a.txt" "$out/a.txt"
        same_file "$WORK/old/b.txt" "$out/b.txt"
        [ "$(listing "$out")" = "a.txt b.txt" ] || echo "written after Cancel: $(listing "$out")")
    check "overwrite Cancel: b kept, the pass stops before c, exit 1" "$problems"
}

# 6b. Replacing old files, on the NT family and, as Windows 95 pretends to
# be, on the rename aside that stands in for its missing replacing move. A
# read-only old a.txt is refused while attributes are kept as created; while
# they are restored, its mark is cleared just before the swap, and when
# another program holds the file open the swap is refused and the mark put
# back. A refusal shows "Open ERROR" with the real name and stops the pass,
# the old files keep their bytes, times and marks, and no temporary file is
# left. Held by nobody, both old files are replaced.
case_replacing() {
    local caption="Velkar Replace" folder=$WORK/replace old=$WORK/replace-old row version exe held expect
    local out dialog box text holder problems
    if [ ! -f "$WORK/replace-kept.exe" ]; then
        mkdir -p "$folder" "$old"
        printf 'new a\n' >"$folder/a.txt"
        printf 'new b\n' >"$folder/b.txt"
        touch -d '2010-06-15 12:00:00 UTC' "$folder"/*.txt
        printf 'old a\n' >"$old/a.txt"
        printf 'old b\n' >"$old/b.txt"
        touch -d '2000-01-01 00:00:00 UTC' "$old"/*.txt
        chmod 444 "$old/a.txt"
        if ! pack "$folder" "$WORK/replace.lzh" o5 a.txt b.txt ||
            ! make_exe "$WORK/replace.lzh" "$WORK/replace-kept.exe" --title "$caption" --overwrite --no-keep-newer ||
            ! make_exe "$WORK/replace.lzh" "$WORK/replace-restored.exe" --title "$caption" --overwrite \
                --no-keep-newer --restore-attributes; then
            rm -f "$WORK/replace-kept.exe"
            fail "replacing" "cannot make the file"
            return
        fi
    fi
    # version (Wine's default: NT), attributes, held open, outcome
    for row in "nt kept - refused" "nt restored held refused" "win95 restored held refused" \
        "win95 restored - replaced"; do
        read -r version exe held expect <<<"$row"
        wine_new_prefix "replace-$version-$exe-$held"
        out=$WINE_RUN/out
        mkdir -p "$out"
        cp -p "$old/a.txt" "$old/b.txt" "$out"
        cp "$WORK/replace-$exe.exe" "$WINE_RUN/replace.exe"
        if [ "$version" != nt ]; then
            wine reg add 'HKCU\Software\Wine\AppDefaults\replace.exe' /v Version /d "$version" /f >/dev/null 2>&1
        fi
        problems=
        text=
        holder=
        # The other program opens a.txt once the dialog is up: started with
        # the stub, it could race the stub's first window.
        wine_start "$WINE_RUN/replace.exe" -n- "$(windows_path "$out")"
        if ! dialog=$(wine_wait_owned "$caption" "" 30); then
            problems+="no dialog"$'\n'
        else
            if [ "$held" = held ]; then
                wine "$VELKAR_BUILD/hold_file.exe" "$(windows_path "$out/a.txt")" \
                    "$(windows_path "$WINE_RUN/release")" >"$WINE_RUN/hold.log" 2>/dev/null &
                holder=$!
                wine_wait_text "$WINE_RUN/hold.log" held 30 || problems+="a.txt was not held open"$'\n'
            fi
            press_ok "$dialog" "$caption" || problems+="OK did not start the pass"$'\n'
            if [ "$expect" = refused ]; then
                if box=$(wine_wait_owned "$caption" "$dialog" 30); then
                    text=$(wine_window_text "$caption")
                    wine_press "$box" Return || problems+="the message did not take Return"$'\n'
                else
                    problems+="no message over the dialog"$'\n'
                fi
            fi
        fi
        wine_wait_exit 30
        if [ -n "$holder" ]; then
            touch "$WINE_RUN/release"
            wait "$holder" 2>/dev/null
        fi
        problems+=$(expect_status 1
            [ "$(listing "$out")" = "a.txt b.txt" ] || echo "the folder holds: $(listing "$out")"
            if [ "$expect" = refused ]; then
                [ "$text" = "\"$(output_path "$out/a.txt")\" Open ERROR" ] || echo "message \"$text\""
                unchanged "$old/a.txt" "$out/a.txt"
                unchanged "$old/b.txt" "$out/b.txt"
            else
                same_file "$folder/a.txt" "$out/a.txt"
                same_file "$folder/b.txt" "$out/b.txt"
                [ "$(stat -c %a "$out/a.txt")" != 444 ] || echo "a.txt is still read-only"
            fi)
        check "replacing on $version, attributes $exe$([ "$held" = - ] || echo ", a.txt held open"): $expect" "$problems"
    done
}

# 7. A network path is refused and the dialog stays open to correct it.
case_network_path() {
    local name="network path" caption="Velkar Dialog" share='\\server\share' dialog box text edit
    corpus_exe || { fail "$name" "cannot make the file"; return; }
    wine_new_prefix network
    start_in "$WINE_RUN/cwd" "$WORK/corpus.exe" -n "$share"
    if ! dialog=$(wine_wait_owned "$caption" "" 30) || ! box=$(wine_wait_owned "$caption" "$dialog" 30); then
        wine_wait_exit 1
        fail "$name" "no dialog with a message (status $WINE_STATUS)"
        return
    fi
    text=$(wine_window_text "$caption")
    wine_press "$box" Return || fail "$name" "the message did not take Return"
    edit=$(wine_window_text --edit "$caption")
    check "$name: \"Invalid directory\", then the dialog takes input again" \
        "$([ "$text" = "Invalid directory" ] || echo "message \"$text\""
        window_visible "$dialog" || echo "the dialog closed"
        [ "$edit" = "$share" ] || echo "edit box \"$edit\"")"
    wine_press "$dialog" Escape || fail "$name" "the dialog did not take Escape"
    wine_wait_exit 30
    check "$name: Cancel then ends with 0, nothing written" \
        "$(expect_status 0; [ -z "$(ls -A "$WINE_RUN/cwd")" ] || echo "written: $(ls -A "$WINE_RUN/cwd")")"
}

# 8. A stored member with one byte changed in the built file decodes but
# fails its CRC.
case_crc_error() {
    local name="CRC error" caption="Velkar Damaged" folder=$WORK/damaged exe=$WORK/damaged.exe marker offsets byte
    local out dialog box text expected
    if [ ! -f "$exe" ]; then
        mkdir -p "$folder/data"
        printf 'first, intact\n' >"$folder/first.txt"
        printf 'this member gets its marker 7f3a9c damaged\n' >"$folder/data/second.txt"
        printf 'third\n' >"$folder/third.txt"
        touch -d '2007-08-09 10:11:12 UTC' "$folder/first.txt"
        if ! pack "$folder" "$WORK/damaged.lzh" z first.txt data third.txt ||
            ! make_exe "$WORK/damaged.lzh" "$exe" --title "$caption"; then
            fail "$name" "cannot make the file"
            return
        fi
        marker='marker 7f3a9c'
        offsets=$(grep -obUaF "$marker" "$exe" | cut -d: -f1)
        if [ "$(printf '%s\n' "$offsets" | grep -c .)" != 1 ]; then
            rm -f "$exe"
            fail "$name" "\"$marker\" is not in the built file exactly once"
            return
        fi
        byte=$(od -An -tu1 -j "$offsets" -N1 "$exe" | tr -d ' ')
        printf '%b' "\\$(printf %03o $((byte ^ 0x20)))" | dd of="$exe" bs=1 seek="$offsets" conv=notrunc status=none
    fi
    wine_new_prefix crc
    out=$WINE_RUN/out
    expected="\"$(output_path "$out/data/second.txt")\" CRC ERROR"
    wine_start "$exe" -n "$(windows_path "$out")"
    if ! dialog=$(wine_wait_owned "$caption" "" 30) || ! box=$(wine_wait_owned "$caption" "$dialog" 30); then
        wine_wait_exit 1
        fail "$name" "no message over the dialog (status $WINE_STATUS)"
        return
    fi
    text=$(wine_window_text "$caption")
    wine_press "$box" Return || fail "$name" "the message did not take Return"
    wine_wait_exit 30
    check "$name: reported with the output path, the damaged file deleted, the one before kept, exit 1" \
        "$(expect_status 1
        [ "$text" = "$expected" ] || echo "message \"$text\", expected \"$expected\""
        [ ! -e "$out/data/second.txt" ] || echo "the damaged file was left"
        same_file "$folder/first.txt" "$out/first.txt")"
}

run_cases "$@"
