# shellcheck shell=bash
# Shared pieces of the Wine tests; source it from bash.
#
# Safe under set -e: statuses the tests need come back in variables.
#
# Each test gets a copy of one template prefix (made once: wineboot costs
# seconds, a copy about one), its own wineserver and a private Xvfb display.
# Windows are found by their exact caption and answered with xdotool; every
# wait polls with a time limit.
#
# Environment: VELKAR_BUILD (default build/windows) holds velkar.exe and the
# work folder wine/ (VELKAR_WINE_WORK puts it elsewhere); VELKAR_HOST_BUILD
# (default build/host) holds velkar-build; VELKAR_WINE_DISPLAY names a
# running X display to use instead of a private Xvfb (to watch a test).
#
# Routes: where this machine cannot run 32-bit Windows programs, a test
# script sourcing this file runs itself in the emulated x86 guest instead
# (scripts/vm/run.sh), and skips where that cannot run either. VELKAR_WINE=vm
# or VELKAR_WINE=native forces a route; wine_route says which one and why.
# In the guest every wait is VELKAR_WINE_SLOWDOWN times longer.

VELKAR_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
VELKAR_BUILD=${VELKAR_BUILD:-$VELKAR_ROOT/build/windows}
VELKAR_EXE=$VELKAR_BUILD/velkar.exe
VELKAR_BUILDER=${VELKAR_HOST_BUILD:-$VELKAR_ROOT/build/host}/tools/velkar-build
WINE_WORK=${VELKAR_WINE_WORK:-$VELKAR_BUILD/wine}
WINE_SLOWDOWN=${VELKAR_WINE_SLOWDOWN:-1}
WINE_SCRIPT=$0
WINE_SCRIPT_ARGS=("$@")

export WINEARCH=win32
export WINEDEBUG=-all
# No menu entries, and a crash ends the program instead of waiting in the
# debugger.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;winedbg.exe=d"
# Wine writes menu entries, fonts and caches under these; keep them here.
export HOME=$WINE_WORK/home
export XDG_CONFIG_HOME=$HOME/.config
export XDG_DATA_HOME=$HOME/.local/share
export XDG_CACHE_HOME=$HOME/.cache
export XDG_RUNTIME_DIR=$HOME/runtime

TESTS_PASSED=0
TESTS_FAILED=0
WINE_PREFIXES=()
XVFB_PID=

pass() {
    TESTS_PASSED=$((TESTS_PASSED + 1))
    echo "PASS $1"
}

fail() {
    TESTS_FAILED=$((TESTS_FAILED + 1))
    echo "FAIL $1: $2"
    # A program that ended without a window has only Wine's own errors to
    # say why (a window station or desktop that was not ready, for one).
    if [ -s "${WINE_RUN:-}/wine.err" ]; then
        echo "  Wine's last errors in this run:"
        tail -n 5 "$WINE_RUN/wine.err" | sed 's/^/    /'
    fi
}

# Prints the closing line and returns non-zero when anything failed.
finish() {
    echo "$TESTS_PASSED passed, $TESTS_FAILED failed"
    [ "$TESTS_FAILED" -eq 0 ]
}

# press_ok DIALOG CAPTION: presses Return until OK has taken it. OK locks the
# edit box before the pass starts and then moves the focus to Cancel, so a
# second Return goes out only while the box still takes input, long after
# the first: it must not cancel the pass.
press_ok() {
    local limit
    for _ in 1 2 3; do
        xdotool windowfocus "$1" 2>/dev/null || true
        xdotool key Return 2>/dev/null || true
        limit=$(deadline 2)
        while before "$limit"; do
            window_visible "$1" || return 0
            [ -z "$(wine_window_text --edit "$2")" ] && return 0
            sleep 0.1
        done
    done
    return 1
}

# run_cases [NAME...]: runs the named cases of the script's CASES, each
# defined as case_NAME (every one when none is named), then the closing line.
run_cases() {
    local selected=("$@") name
    [ ${#selected[@]} -gt 0 ] || selected=("${CASES[@]}")
    for name in "${selected[@]}"; do
        if [[ " ${CASES[*]} " == *" $name "* ]]; then
            "case_${name//-/_}"
        else
            fail "$name" "no such case (cases: ${CASES[*]})"
        fi
    done
    finish
}

# Seconds since the epoch with fractions.
now() { date +%s.%N; }
# deadline SECONDS: the time SECONDS from now at this route's pace, in
# microseconds; before DEADLINE tells whether it is still ahead. Polls call
# before many times a second, so it starts no process: in the emulated guest
# every process start costs what a whole poll should.
deadline() {
    local micros=${EPOCHREALTIME/[.,]/}
    echo $((micros + $(awk -v b="$1" -v s="$WINE_SLOWDOWN" 'BEGIN { printf "%d", b * s * 1000000 }')))
}
before() { [ "${EPOCHREALTIME/[.,]/}" -lt "$1" ]; }
# pause SECONDS: sleeps that long at this route's pace.
pause() { sleep "$(awk -v b="$1" -v s="$WINE_SLOWDOWN" 'BEGIN { print b * s }')"; }

start_display() {
    if [ -n "${VELKAR_WINE_DISPLAY:-}" ]; then
        export DISPLAY=$VELKAR_WINE_DISPLAY
        return
    fi
    # Xvfb picks a free display itself and writes its number to the file.
    local numberFile=$WINE_WORK/display.$$
    rm -f "$numberFile"
    # No key repeat: in the slow guest a key held past the repeat delay went
    # on typing into the next program's boxes.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -r -ardelay 30000 3>"$numberFile" 2>/dev/null &
    XVFB_PID=$!
    local limit
    limit=$(deadline 10)
    while ! grep -q '[0-9]' "$numberFile" 2>/dev/null; do
        if ! before "$limit" || ! kill -0 "$XVFB_PID" 2>/dev/null; then
            echo "Xvfb did not start" >&2
            return 1
        fi
        sleep 0.1
    done
    DISPLAY=:$(tr -dc 0-9 <"$numberFile")
    export DISPLAY
    rm -f "$numberFile"
}

wine_folders() {
    mkdir -p "$WINE_WORK" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
}

# The template is made under a lock, so parallel tests build it only once.
# Making it is also the test of whether Wine runs 32-bit programs here: the
# probe must exit with 42. What went wrong is in template.log.
make_template() {
    local template=$WINE_WORK/template
    wine_folders
    (
        flock 9
        [ -f "$template/.velkar-ready" ] && exit 0
        rm -rf "$template" "$template.new"
        export WINEPREFIX=$template.new
        exec >"$WINE_WORK/template.log" 2>&1
        limit=$((300 * WINE_SLOWDOWN))
        timeout "$limit" wineboot -i || { echo "wineboot failed"; exit 1; }
        # Without a window manager Wine waits 2 s whenever a window closes.
        timeout "$limit" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || exit 1
        status=0
        timeout "$limit" wine "$VELKAR_BUILD/route_probe.exe" || status=$?
        [ "$status" = 42 ] || { echo "a 32-bit Windows program ended with status $status, not 42"; exit 1; }
        wineserver -w &&
            touch "$WINEPREFIX/.velkar-ready" &&
            mv "$WINEPREFIX" "$template"
    ) 9>"$WINE_WORK/template.lock"
}

# wine_route: decides once how this machine runs Wine, exports the decision
# for the scripts this one starts, and says it in one line:
#   native  Wine runs 32-bit Windows programs here
#   vm      it does not, and the emulated x86 guest can run them
#   none    neither can: the Wine scripts skip
wine_route() {
    local why
    if [ -z "${VELKAR_WINE_ROUTE:-}" ]; then
        case ${VELKAR_WINE:-} in
        vm) VELKAR_WINE_ROUTE=vm VELKAR_WINE_REASON="VELKAR_WINE=vm" ;;
        native) VELKAR_WINE_ROUTE=native VELKAR_WINE_REASON="VELKAR_WINE=native" ;;
        "")
            if ! command -v wine >/dev/null; then
                VELKAR_WINE_ROUTE=vm VELKAR_WINE_REASON="Wine is not installed here"
            elif [ ! -f "$VELKAR_BUILD/route_probe.exe" ]; then
                VELKAR_WINE_ROUTE=native VELKAR_WINE_REASON="route_probe.exe is not built; run scripts/build.sh"
            elif make_template; then
                VELKAR_WINE_ROUTE=native VELKAR_WINE_REASON="32-bit Windows programs run under Wine here"
            else
                VELKAR_WINE_ROUTE=vm
                VELKAR_WINE_REASON="this machine does not run 32-bit Windows programs under Wine: $(tail -2 "$WINE_WORK/template.log" | paste -sd' ')"
            fi
            ;;
        *) VELKAR_WINE_ROUTE=none VELKAR_WINE_REASON="VELKAR_WINE=$VELKAR_WINE is neither vm nor native" ;;
        esac
        if [ "$VELKAR_WINE_ROUTE" = vm ]; then
            why=$("$VELKAR_ROOT/scripts/vm/run.sh" --check) ||
                VELKAR_WINE_ROUTE=none VELKAR_WINE_REASON="$VELKAR_WINE_REASON, and the emulated guest cannot run: $why"
        fi
        export VELKAR_WINE_ROUTE VELKAR_WINE_REASON
    fi
    case $VELKAR_WINE_ROUTE in
    native) echo "Wine route: native ($VELKAR_WINE_REASON)" ;;
    vm) echo "Wine route: emulated x86 guest ($VELKAR_WINE_REASON)" ;;
    *) echo "Wine route: none ($VELKAR_WINE_REASON)" ;;
    esac
}

# wine_require FILE...: fails the script, with the closing line, when
# something it runs has not been built.
wine_require() {
    local missing= needed
    for needed in "$@"; do
        [ -f "$needed" ] || missing+=" $needed"
    done
    [ -z "$missing" ] && return 0
    fail "built files present" "missing:$missing; run scripts/build.sh first"
    finish
    return 1
}

# wine_setup: call once at the start of a test script.
wine_setup() {
    wine_route >/dev/null
    if [ "$VELKAR_WINE_ROUTE" != native ]; then
        echo "this runs only where Wine runs 32-bit programs: $VELKAR_WINE_REASON" >&2
        return 1
    fi
    wine_folders
    trap wine_cleanup EXIT
    trap 'exit 130' INT TERM
    start_display || return 1
    make_template || { echo "cannot make the template prefix" >&2; return 1; }
}

# wine_new_prefix NAME: a fresh copy of the template becomes WINEPREFIX; its
# path is in WINE_RUN, a folder the test may use for its files.
wine_new_prefix() {
    WINE_RUN=$WINE_WORK/runs/$1.$$
    # A name used again: its old wineserver must not serve the new copy.
    if [ -d "$WINE_RUN/prefix" ]; then WINEPREFIX=$WINE_RUN/prefix wineserver -k 2>/dev/null || true; fi
    rm -rf "$WINE_RUN"
    mkdir -p "$WINE_RUN"
    # Linked, not copied: a copy takes seconds, ten times that in the guest.
    # Wine rewrites the registry and the .ini files in place, so those are
    # copied for real.
    cp -al "$WINE_WORK/template" "$WINE_RUN/prefix"
    find "$WINE_RUN/prefix" -type f \( -name '*.reg' -o -iname '*.ini' \) -exec sh -c \
        'for file; do cp -p "$file" "$file.copy" && mv -f "$file.copy" "$file"; done' _ {} +
    export WINEPREFIX=$WINE_RUN/prefix
    WINE_PREFIXES+=("$WINEPREFIX")
    wine_keep_desktop
}

# wine_keep_desktop: the new prefix's desktop is started before any program
# of the test, and kept up by keep_desktop.exe until the next prefix or the
# end: Wine would start it with each program's first window and end it with
# the program, and in the slow guest a program waiting for that start can
# give up and run with no display, ending as if cancelled. A first start too
# slow for keep_desktop.exe itself is tried again, since the desktop goes on
# starting.
WINE_DESKTOP_FLAG=
wine_keep_desktop() {
    local try pid
    # The last prefix's keeper ends within a moment of its flag going.
    if [ -n "$WINE_DESKTOP_FLAG" ]; then rm -f "$WINE_DESKTOP_FLAG"; fi
    [ -f "$VELKAR_BUILD/keep_desktop.exe" ] || return 0
    WINE_DESKTOP_FLAG=$WINE_RUN/keep-desktop
    touch "$WINE_DESKTOP_FLAG"
    for try in 1 2 3; do
        WINEDEBUG=-all wine "$VELKAR_BUILD/keep_desktop.exe" "$(windows_path "$WINE_DESKTOP_FLAG")" \
            >"$WINE_RUN/desktop.out" 2>/dev/null &
        pid=$!
        while kill -0 "$pid" 2>/dev/null && ! grep -qs ready "$WINE_RUN/desktop.out"; do sleep 0.1; done
        grep -qs ready "$WINE_RUN/desktop.out" && return 0
        wait "$pid" 2>/dev/null || true
    done
    echo "the prefix's desktop did not start" >&2
}

# wine_start PROGRAM ARGS...: runs it in the background; WINE_PID is its id.
# Wine's errors go to wine.err in the run's folder, for fail to show.
wine_start() {
    WINEDEBUG=-all,err+all wine "$@" >/dev/null 2>>"${WINE_RUN:-$WINE_WORK}/wine.err" &
    WINE_PID=$!
}

# wine_wait_exit LIMIT: waits up to LIMIT seconds for the program started last.
# Sets WINE_STATUS (its exit status, or "timeout" after killing it) and
# WINE_WINDOWS (captions of visible windows seen while waiting, one a line).
wine_wait_exit() {
    local limit
    limit=$(deadline "$1")
    WINE_WINDOWS=
    while kill -0 "$WINE_PID" 2>/dev/null; do
        if ! before "$limit"; then
            kill -9 "$WINE_PID" 2>/dev/null || true
            wait "$WINE_PID" 2>/dev/null || true
            wineserver -k 2>/dev/null || true
            WINE_STATUS=timeout
            return
        fi
        local window name
        for window in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
            # A window that closes between the two calls has no name left.
            name=$(xdotool getwindowname "$window" 2>/dev/null) || continue
            if [ -n "$name" ]; then WINE_WINDOWS+="$name"$'\n'; fi
        done
        sleep 0.1
    done
    WINE_STATUS=0
    wait "$WINE_PID" || WINE_STATUS=$?
}

# window_owner WINDOW: prints the id of the window that WINDOW belongs to
# (Wine marks a message box as transient for its dialog), or nothing.
window_owner() {
    local owner
    owner=$(xprop -id "$1" WM_TRANSIENT_FOR 2>/dev/null | sed -n 's/.*window id # //p')
    if [ -n "$owner" ]; then printf '%d\n' "$owner"; fi
}

# wine_wait_owned CAPTION OWNER LIMIT [IGNORED_ID...]: prints the id of a
# visible window whose caption is exactly CAPTION, that belongs to OWNER (a
# window id; "" for none, "*" for any) and is not one of the ignored ones (a
# dialog and its message boxes share a caption); fails after LIMIT s.
wine_wait_owned() {
    local caption=$1 owner=$2 limit pattern window ignored
    limit=$(deadline "$3")
    shift 3
    pattern="^$(printf '%s' "$caption" | sed 's/[][\.*^$+?(){}|]/\\&/g')\$"
    while before "$limit"; do
        for window in $(xdotool search --onlyvisible --name "$pattern" 2>/dev/null); do
            for ignored in "$@"; do
                [ "$window" = "$ignored" ] && continue 2
            done
            # The search ignores case; the caption must match exactly.
            [ "$(xdotool getwindowname "$window" 2>/dev/null)" = "$caption" ] || continue
            [ "$owner" = "*" ] || [ "$(window_owner "$window")" = "$owner" ] || continue
            # A window that has just been mapped may not take keys yet.
            pause 0.2
            echo "$window"
            return 0
        done
        sleep 0.1
    done
    return 1
}

# wine_wait_window CAPTION LIMIT [IGNORED_ID...]: the same for any owner.
wine_wait_window() {
    local caption=$1 limit=$2
    shift 2
    wine_wait_owned "$caption" "*" "$limit" "$@"
}

# wine_wait_file PATH LIMIT: waits up to LIMIT seconds for PATH to exist.
wine_wait_file() {
    local limit
    limit=$(deadline "$2")
    until [ -e "$1" ]; do
        before "$limit" || return 1
        sleep 0.02
    done
}

# wine_wait_text FILE TEXT LIMIT: waits up to LIMIT seconds for TEXT to
# appear in FILE (a program's output).
wine_wait_text() {
    local limit
    limit=$(deadline "$3")
    until grep -qF "$2" "$1" 2>/dev/null; do
        before "$limit" || return 1
        sleep 0.05
    done
}

# pack FOLDER ARCHIVE METHOD MEMBERS...: adds the members, in this order, with
# one of jlha's methods (z stored, o5 to o7).
pack() {
    local folder=$1 archive=$2 method=$3
    shift 3
    (cd "$folder" && jlha "a2${method}q" "$archive" "$@" >/dev/null)
}

# make_exe ARCHIVE EXE [OPTIONS...]: wraps the archive in the stub.
make_exe() {
    local archive=$1 exe=$2
    shift 2
    "$VELKAR_BUILDER" -o "$exe" --stub "$VELKAR_EXE" "$@" --archive "$archive" >"$exe.log" 2>&1 ||
        { cat "$exe.log" >&2; return 1; }
}

# same_file EXPECTED ACTUAL [SHIFT]: prints what differs: the content, or a
# modification time other than EXPECTED's plus SHIFT seconds.
same_file() {
    local time
    if [ ! -f "$2" ]; then
        echo "${2##*/} missing"
    elif ! cmp -s "$1" "$2"; then
        echo "${2##*/} has other content"
    else
        time=$(($(stat -c %Y "$1") + ${3:-0}))
        [ "$(stat -c %Y "$2")" = "$time" ] ||
            echo "${2##*/} has time $(date -u -d "@$(stat -c %Y "$2")" '+%F %T') UTC, expected $(date -u -d "@$time" '+%F %T') UTC"
    fi
}

# same_tree EXPECTED ACTUAL [SHIFT]: prints what differs, files and folders
# alike; every time must be SHIFT seconds later than in EXPECTED.
same_tree() {
    diff -r "$1" "$2" 2>&1 | head -5
    local file
    while IFS= read -r -d '' file; do
        [ -f "$2/${file#"$1"/}" ] && same_file "$file" "$2/${file#"$1"/}" "${3:-0}"
    done < <(find "$1" -type f -print0)
}

# check NAME PROBLEMS: passes when there are none.
check() {
    if [ -z "$2" ]; then pass "$1"; else fail "$1" "$(printf '%s' "$2" | tr '\n' ';')"; fi
}

expect_status() {
    [ "$WINE_STATUS" = "$1" ] || echo "exit status $WINE_STATUS, expected $1"
}

# visible_windows: the captions of the display's visible windows, one a line.
visible_windows() {
    local window
    for window in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
        xdotool getwindowname "$window" 2>/dev/null || true
    done | sed '/^$/d'
}

# windows_path PATH: the Linux path as Wine's drive Z: shows it.
# shellcheck disable=SC1003 # a lone backslash, not an escape
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

# wine_window_text [--edit] CAPTION: prints the static texts of the window
# with that exact caption (a message box's message), or with --edit the texts
# of its enabled edit boxes, read by our window_text.exe inside the current
# prefix.
wine_window_text() {
    wine "$VELKAR_BUILD/window_text.exe" "$@" 2>/dev/null | tr -d '\r'
}

window_visible() {
    xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# wine_press WINDOW KEY: sends a key that closes the window; retries until it
# is gone. Without a window manager windowactivate does nothing, and
# key --window loses keys, so the window takes the focus first.
wine_press() {
    local limit
    for _ in 1 2 3 4 5; do
        xdotool windowfocus "$1" 2>/dev/null || true
        xdotool key "$2" 2>/dev/null || true
        limit=$(deadline 0.5)
        while before "$limit"; do
            window_visible "$1" || return 0
            sleep 0.05
        done
    done
    ! window_visible "$1"
}

# wine_answer CAPTION KEY LIMIT: waits for the window and presses the key.
wine_answer() {
    local window
    window=$(wine_wait_window "$1" "$3") || return 1
    wine_press "$window" "$2"
}

wine_cleanup() {
    local prefix
    for prefix in "${WINE_PREFIXES[@]}"; do
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
        rm -rf "$(dirname "$prefix")"
    done
    WINE_PREFIXES=()
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}

# A test script runs where Wine can run it: here, in the emulated guest, or
# nowhere, with one line that says why.
case $WINE_SCRIPT in
*tests/wine/*_test.sh)
    wine_route
    case $VELKAR_WINE_ROUTE in
    vm) exec "$VELKAR_ROOT/scripts/vm/run.sh" "$WINE_SCRIPT" "${WINE_SCRIPT_ARGS[@]}" ;;
    none)
        echo "SKIP $(basename "$WINE_SCRIPT" .sh): $VELKAR_WINE_REASON"
        exit 0
        ;;
    esac
    ;;
esac
