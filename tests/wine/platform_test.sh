#!/bin/bash
# The core's platform calls on Wine's real Windows API: times, folders and
# macros, the command line, the program's own file, replacing files.
set -u
. "$(dirname "$0")/lib.sh"

check=$VELKAR_BUILD/platform_check.exe
wine_require "$check" || exit
wine_setup || exit 1
wine_new_prefix platform

# run_checks NAME ARGS...: runs the program and takes its own closing line.
run_checks() {
    local name=$1 output=$WINE_RUN/$1.txt status summary
    shift
    timeout 120 "$@" >"$output" 2>/dev/null
    status=$?
    tr -d '\r' <"$output" | grep -v ' passed, ' || true
    summary=$(tr -d '\r' <"$output" | grep -E '^[0-9]+ passed, [0-9]+ failed$' || true)
    if [ "$status" = 0 ] && [ -n "$summary" ]; then
        pass "$name ($summary)"
    else
        fail "$name" "exit status $status, ${summary:-no summary}"
    fi
}

run_checks "platform calls" wine "$check" -n 'C:\My Dir'
# Wine takes the ANSI code page from the locale, per process.
run_checks "double-byte text, code page 932" env LC_ALL=ja_JP.UTF-8 wine "$check" --dbcs
# Replacing files on the NT family (platform 2) and, as a copy that Wine
# runs as Windows 95 (platform 1), on the rename aside.
run_checks "replacing files, NT" wine "$check" --replace=2
cp "$check" "$WINE_RUN/replace95.exe"
wine reg add 'HKCU\Software\Wine\AppDefaults\replace95.exe' /v Version /d win95 /f >/dev/null 2>&1
run_checks "replacing files, Windows 95" wine "$WINE_RUN/replace95.exe" --replace=1
finish
