#!/usr/bin/env bash
# Prints the size of the built stub, its sections and what it imports.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/windows/velkar.exe
[ -f "$exe" ] || { echo "build the windows preset first (scripts/build.sh)" >&2; exit 1; }
size=$(stat -c %s "$exe")
echo "velkar.exe: $size bytes ($((size * 100 / 49152))% of 48 KB)"
while read -r _ name hex _; do
    printf "  %-8s %6d bytes\n" "$name" "$((16#$hex))"
done < <(i686-w64-mingw32-objdump -h "$exe" | grep -E "^ +[0-9]+ ")
echo "imports:"
i686-w64-mingw32-objdump -p "$exe" | awk '
    /DLL Name:/ { dll = $3; next }
    dll && /^\t[0-9a-f]+\t/ { names[dll] = names[dll] " " $3 }
    /^$/ { dll = "" }
    END { for (d in names) print "  " d ":" names[d] }' | sort
