#!/usr/bin/env bash
# wine_unpack.sh FILE.exe DIR: starts the self-extracting file under Wine with
# "-n DIR" (it must auto-start), waits for it, says how it ended and lists
# what came out. The demo runs it here or, where Wine cannot run 32-bit
# programs, inside the emulated guest; so does the guest's own check.
set -euo pipefail
exe=$(realpath "$1")
out=$(realpath -m "$2")
. "$(dirname "$0")/../tests/wine/lib.sh"
wine_setup
mkdir -p "$out"
wine_new_prefix unpack
wine_start "$exe" -n "$(windows_path "$out")"
wine_wait_exit 120
echo "velkar ended with exit status $WINE_STATUS"
echo "unpacked into $out:"
(cd "$out" && find . -mindepth 1 -printf '  %p  %s bytes  %TY-%Tm-%Td %TH:%TM\n' | sort)
