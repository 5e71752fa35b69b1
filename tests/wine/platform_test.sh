#!/bin/bash
# The core's platform calls on Wine's real Windows API: times, folders and
# macros, the command line, the program's own file.
set -u
. "$(dirname "$0")/lib.sh"

check=$VELKAR_BUILD/platform_check.exe
if [ ! -f "$check" ]; then
    fail "platform_check.exe present" "$check is missing; build the windows preset first"
    finish
    exit
fi
wine_setup || exit 1
wine_new_prefix platform
output=$WINE_RUN/output.txt
timeout 120 wine "$check" -n 'C:\My Dir' >"$output" 2>/dev/null
status=$?
tr -d '\r' <"$output" | grep -v ' passed, ' || true
summary=$(tr -d '\r' <"$output" | grep -E '^[0-9]+ passed, [0-9]+ failed$' || true)
if [ "$status" = 0 ] && [ -n "$summary" ]; then
    pass "platform checks under Wine ($summary)"
else
    fail "platform checks under Wine" "exit status $status, ${summary:-no summary}"
fi
finish
