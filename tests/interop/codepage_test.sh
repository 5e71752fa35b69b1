#!/bin/bash
# velkar-run --codepage: archives whose names are in a Windows code page come
# out with UTF-8 names, a double-byte character whose trail byte is '\' kept
# whole. The names are written into jlha's archives in place of ASCII
# stand-ins of the same length.
# usage: codepage_test.sh VELKAR_BUILD VELKAR_RUN STUB
set -u
build=$1 run=$2 stub=$3
patch="perl $(dirname "$0")/../support/lzh_patch.pl"
# shellcheck source=tests/interop/lib.sh
. "$(dirname "$0")/lib.sh"

# code page, a folder's name and a file's name in its bytes, and both in UTF-8.
cases=(
    '932  \x95\x5C\x8E\xA6 \x83\x5C\x83\x74 表示 ソフ'
    '936  \xD6\xD0\xCE\xC4 \x81\x5C\xB1\xED 中文 乗表'
    '949  \xC7\xD1\xB1\xDB \xB0\xA1\xB3\xAA 한글 가나'
    '950  \xB3\x5C\xA5\x5C \xA4\xA4\xA4\xE5 許功 中文'
    '1252 caf\xE9      na\xEFf          café naïf'
)
src=$work/src
mkdir -p "$src/QqQq"
printf 'named in a code page\r\n' >"$src/QqQq/ZzZz.txt"
printf 'plain\r\n' >"$src/plain.txt"
touch -d '2008-08-08 08:08:08 UTC' "$src/QqQq/ZzZz.txt" "$src/plain.txt"

for line in "${cases[@]}"; do
    read -r codePage folder file folderUtf8 fileUtf8 <<<"$line"
    archive=$work/$codePage.lzh exe=$work/$codePage.exe out=$work/out-$codePage expected=$work/expected-$codePage
    (cd "$src" && jlha a2o5q "$archive" QqQq plain.txt >/dev/null)
    if ! $patch "$archive" QqQq "$(printf %b "$folder")" || ! $patch "$archive" ZzZz "$(printf %b "$file")" ||
        ! "$build" -o "$exe" --stub "$stub" --archive "$archive" >"$work/build.log" 2>&1; then
        fail "$codePage: cannot make the file"
        continue
    fi
    mkdir -p "$expected/$folderUtf8"
    cp -p "$src/QqQq/ZzZz.txt" "$expected/$folderUtf8/$fileUtf8.txt"
    cp -p "$src/plain.txt" "$expected/plain.txt"
    "$run" --codepage "$codePage" "$exe" -n "$out" >"$work/run.log" 2>&1 </dev/null
    status=$?
    if [ $status = 0 ] && diff -r "$expected" "$out" >"$work/diff" 2>&1 &&
        [ "$(stat -c %Y "$out/$folderUtf8/$fileUtf8.txt")" = "$(stat -c %Y "$src/QqQq/ZzZz.txt")" ] &&
        grep -qF "$out/$folderUtf8/$fileUtf8.txt" "$work/run.log"; then
        pass "$codePage: $folderUtf8/$fileUtf8.txt in UTF-8, reported so, with its time"
    else
        fail "$codePage: status $status"
        cat "$work/diff" "$work/run.log"
    fi
done

# What velkar-run cannot honour ends before anything is written.
"$run" --codepage 437 "$work/932.exe" -n "$work/unsupported" >"$work/run.log" 2>&1 </dev/null
status=$?
if [ $status = 4 ] && grep -q 'code page 437 is not supported' "$work/run.log" && [ ! -e "$work/unsupported" ]; then
    pass "an unsupported code page is refused with status 4"
else
    fail "unsupported code page: status $status"
    cat "$work/run.log"
fi
"$run" --codepage 1252 "$work/932.exe" -n "$work/日本" >"$work/run.log" 2>&1 </dev/null
status=$?
if [ $status = 2 ] && grep -q 'cannot be written in code page 1252' "$work/run.log" && [ ! -e "$work/日本" ]; then
    pass "a destination the code page cannot name is refused with status 2"
else
    fail "destination outside the code page: status $status"
    cat "$work/run.log"
fi

finish
