#!/bin/bash
# Archives packed by jlha (level 2: stored, -lh5-, -lh6-, -lh7-), wrapped by
# velkar-build and unpacked by velkar-run: every byte and every file's time
# must come out as packed. jlha is only run as a black box.
# usage: jlha_test.sh VELKAR_BUILD VELKAR_RUN STUB
set -u
build=$1 run=$2 stub=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok   $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; }

# A corpus of text, a real program, random bytes, an empty file, a file over
# 1 MB, nested and empty directories and a name with a blank.
src=$work/src
mkdir -p "$src/docs/deep/deeper" "$src/empty dir"
seq 1 200000 > "$src/numbers.txt"
awk 'BEGIN { srand(7); for (i = 0; i < 40000; i++) printf "%s%s", substr("lorem ipsum dolor sit amet velkar archive", int(rand() * 30), 1 + int(rand() * 9)), (i % 13 ? " " : "\n") }' > "$src/docs/words.txt"
cp "$(command -v bash)" "$src/docs/program.bin"
head -c 70000 /dev/urandom > "$src/docs/deep/deeper/random.bin"
: > "$src/empty"
printf 'a name with a blank\n' > "$src/docs/read me.txt"
touch -d '2001-02-03 04:05:06 UTC' "$src/docs/words.txt"
touch -d '1999-12-31 23:59:58 UTC' "$src/numbers.txt"

check_tree() {  # name expected actual
    if diff -r "$2" "$3" > "$work/diff" 2>&1; then pass "$1: every byte and directory"; else fail "$1: trees differ"; head "$work/diff"; fi
    local bad=0
    while IFS= read -r -d '' file; do
        rel=${file#"$2"/}
        [ "$(stat -c %Y "$file")" = "$(stat -c %Y "$3/$rel" 2>/dev/null)" ] || { echo "  time differs: $rel"; bad=1; }
    done < <(find "$2" -type f -print0)
    [ $bad = 0 ] && pass "$1: file times" || fail "$1: file times"
}

for method in z o5 o6 o7; do
    archive=$work/$method.lzh
    (cd "$src" && jlha "a2${method}q" "$archive" numbers.txt docs empty "empty dir" > /dev/null)
    methods=$(lhasa -v "$archive" | grep -o -- '-lh[0-9d]-' | sort -u | tr '\n' ' ')
    echo "     $method packs as: $methods"
    exe=$work/$method.exe
    if ! "$build" -o "$exe" --stub "$stub" --title "Interop $method" --tamper --archive "$archive" > "$work/build.log" 2>&1; then
        fail "$method: velkar-build"; cat "$work/build.log"; continue
    fi
    out=$work/out-$method
    mkdir "$out"
    "$run" --stub-status "$exe" -n "$out" > "$work/run.log" 2>&1 < /dev/null
    status=$?
    [ $status = 1 ] && pass "$method: the stub's exit status 1" || { fail "$method: exit status $status"; cat "$work/run.log"; }
    check_tree "$method" "$src" "$out"

    tested=$work/tested-$method
    mkdir "$tested"
    "$run" --test "$exe" -n "$tested" > "$work/test.log" 2>&1 < /dev/null
    status=$?
    if [ $status = 0 ] && [ -z "$(ls -A "$tested")" ] && ! grep -q ERROR "$work/test.log"; then
        pass "$method: --test checks everything and writes nothing"
    else
        fail "$method: --test (status $status)"; cat "$work/test.log"
    fi
done

echo "$passed passed, $failed failed"
[ $failed = 0 ]
