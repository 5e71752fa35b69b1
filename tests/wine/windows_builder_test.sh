#!/bin/bash
# velkar-build.exe, the builder for Windows, under Wine: it finds the stub
# beside itself, takes drive-letter paths, packs a tree with every method
# on two workers into the very bytes the Linux build writes, lists and tests the result,
# which then unpacks under Wine; and it refuses a name outside the code page.
set -u
# shellcheck source=tests/wine/lib.sh
. "$(dirname "$0")/lib.sh"
BUILDER_EXE=$VELKAR_BUILD/velkar-build.exe

wine_require "$VELKAR_EXE" "$BUILDER_EXE" "$VELKAR_BUILDER" || exit
wine_setup || exit 1
wine_new_prefix windows-builder

# Static: Windows' own DLLs and msvcrt only, and a header that Windows XP
# loads. The emulated route's machine has no MinGW tools to look with.
if command -v i686-w64-mingw32-objdump > /dev/null; then
    headers=$(i686-w64-mingw32-objdump -p "$BUILDER_EXE")
    dlls=$(sed -n 's/^\tDLL Name: //p' <<< "$headers" | tr '[:upper:]' '[:lower:]' | sort | tr '\n' ' ')
    subsystem=$(awk '/^MajorSubsystemVersion/ { major = $2 } /^MinorSubsystemVersion/ { print major "." $2 }' <<< "$headers")
    if [ "$dlls" = "advapi32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll " ] &&
        [ "$subsystem" = 5.1 ]; then
        pass "velkar-build.exe imports only system DLLs and asks for Windows 5.1 (XP)"
    else
        fail "velkar-build.exe's imports" "$dlls, subsystem $subsystem"
    fi
fi

# Nested and empty folders, a read-only file, a name outside ASCII that code
# page 1252 holds. Wine reports no birth time (it gives the modification
# time) and Linux does, so every modification time is set to the birth
# time, made in an odd second; where the file system keeps no birth time,
# Linux gives the modification time too, and an odd second is set. The
# access times lie ahead, where reading does not move them.
src=$WINE_RUN/src
while [ $(($(date +%s) % 2)) = 0 ]; do sleep 0.05; done
mkdir -p "$src/top/middle/bottom" "$src/empty/inner empty" "$src/other"
seq 1 30000 > "$src/top/numbers.txt"
head -c 100000 "$VELKAR_EXE" > "$src/top/middle/bottom/program.bin"
# Packs to more than the 1 MiB a worker keeps in memory: the rest spills to
# a file in Windows' temporary folder.
head -c 1200000 /dev/urandom | base64 > "$src/top/spills.txt"
printf 'read me, do not change me\n' > "$src/other/read-only.txt"
printf 'un café\n' > "$src/café.txt"
printf 'x' > "$src/one byte"
chmod a-w "$src/other/read-only.txt"
while IFS= read -r -d '' entry; do
    if [ "$(stat -c %W "$entry")" = 0 ]; then touch -m -d '2003-04-05 06:07:09 UTC' "$entry"
    else touch -m -d "@$(stat -c %.9W "$entry")" "$entry"; fi
    touch -a -d '2035-01-01 00:00:01 UTC' "$entry"
done < <(find "$src" -mindepth 1 -depth -print0)

win() { windows_path "$1"; }
settings=(--title "Velkar Windows Build" --auto-start --restore-attributes --tamper --icon "$VELKAR_ROOT/resources/velkar.ico"
          --file-version 1.2.3.4 --company "Acme" --description "Acme Setup" -j 2)
same=
for variant in lh0 lh5 lh6 lh7 "lh7 --best"; do
    read -r -a method <<< "$variant"
    label=${variant// /}
    linux=$WINE_RUN/linux-$label.exe windows=$WINE_RUN/windows-$label.exe
    "$VELKAR_BUILDER" -o "$linux" --stub "$VELKAR_EXE" "${settings[@]}" --method "${method[@]}" -C "$src" . \
        > "$WINE_RUN/linux.log" 2>&1 || { fail "$label: velkar-build" "$(cat "$WINE_RUN/linux.log")"; continue; }
    # No --stub: velkar.exe lies beside velkar-build.exe.
    wine "$BUILDER_EXE" -o "$(win "$windows")" "${settings[@]}" --method "${method[@]}" -C "$(win "$src")" . \
        > "$WINE_RUN/windows.log" 2> "$WINE_RUN/windows.err"
    status=$?
    if [ $status != 0 ]; then
        fail "$label: velkar-build.exe" "exit status $status: $(cat "$WINE_RUN/windows.err")"
    elif [ -s "$WINE_RUN/windows.err" ]; then
        fail "$label: velkar-build.exe" "wrote to standard error, which is no console: $(head -c 200 "$WINE_RUN/windows.err")"
    elif cmp -s "$linux" "$windows"; then
        same+=" $label"
    else
        fail "$label: the Windows build's output differs from the Linux build's" "$(cmp "$linux" "$windows")"
    fi
done
[ -n "$same" ] && pass "velkar-build.exe writes the Linux build's bytes:$same"

exe=$WINE_RUN/windows-lh7.exe
wine "$BUILDER_EXE" --list "$(win "$exe")" 2>&1 | tr -d '\r' > "$WINE_RUN/list-windows.log"
"$VELKAR_BUILDER" --list "$exe" > "$WINE_RUN/list-linux.log" 2>&1
if [ -s "$WINE_RUN/list-windows.log" ] && diff -q "$WINE_RUN/list-linux.log" "$WINE_RUN/list-windows.log" > /dev/null; then
    pass "velkar-build.exe --list prints what the Linux build prints"
else
    fail "velkar-build.exe --list" "$(diff "$WINE_RUN/list-linux.log" "$WINE_RUN/list-windows.log" | head -5)"
fi
if wine "$BUILDER_EXE" --test "$(win "$exe")" > "$WINE_RUN/test.log" 2>&1 && grep -q "every member tested ok" "$WINE_RUN/test.log"; then
    pass "velkar-build.exe --test checks every member with the stub's decoder"
else
    fail "velkar-build.exe --test" "$(tail -3 "$WINE_RUN/test.log")"
fi

out=$WINE_RUN/out
mkdir -p "$out"
wine_start "$exe" -n "$(win "$out")"
wine_wait_exit 120
problems=$(same_tree "$src" "$out")
[ "$WINE_STATUS" = 1 ] || problems+=" exit status $WINE_STATUS"
case $(stat -c %A "$out/other/read-only.txt" 2>/dev/null) in
    -r-?r-?r-?) ;;
    *) problems+=" read-only.txt is not read-only" ;;
esac
check "velkar-build.exe's file unpacks under Wine: bytes, folders, times and the read-only file" "$problems"

mkdir -p "$WINE_RUN/japanese"
printf 'x' > "$WINE_RUN/japanese/日本.txt"
wine "$BUILDER_EXE" -o "$(win "$WINE_RUN/refused.exe")" -C "$(win "$WINE_RUN/japanese")" . > "$WINE_RUN/refused.log" 2>&1
status=$?
if [ $status = 2 ] && grep -q "日本.txt: the name cannot be written in code page 1252" "$WINE_RUN/refused.log" &&
    ! compgen -G "$WINE_RUN/refused.exe*" > /dev/null; then
    pass "a name outside the code page is refused, naming the file, and nothing is written"
else
    fail "a name outside the code page" "exit status $status: $(cat "$WINE_RUN/refused.log")"
fi

finish
