#!/bin/bash
# Archives packed by jlha (level 2: stored, -lh5-, -lh6-, -lh7-), wrapped by
# velkar-build and unpacked by velkar-run: every byte and every file's time
# must come out as packed. jlha is only run as a black box.
# usage: jlha_test.sh VELKAR_BUILD VELKAR_RUN STUB
set -u
build=$1 run=$2 stub=$3
# shellcheck source=tests/interop/lib.sh
. "$(dirname "$0")/lib.sh"

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

# Sizes at the edges of the decoder: tiny members, the window and its
# multiples, and packed data ending around the 16,384-byte refills, in
# letters (mostly literals), numbers (mostly copies) and zeros (long copies),
# each method. Every one must decode and match its CRC: none may need bits
# past its packed data, the point where the decoder calls a member damaged.
sweep=$work/sweep
mkdir -p "$sweep"
awk 'BEGIN { srand(11); for (i = 0; i < 300000; i++) printf "%c", 97 + int(rand() * 26) }' > "$work/letters"
seq 1 60000 > "$work/numbers"
head -c 300000 /dev/zero > "$work/zeros"
for kind in letters numbers zeros; do
    for size in 0 1 2 3 4 7 8 9 255 256 257 4095 4096 4097 8191 8192 8193 16383 16384 16385 32767 32768 32769 \
        65535 65536 65537 131071 131072 131073 262143 262144 262145; do
        head -c "$size" "$work/$kind" > "$sweep/$kind-$size"
    done
done
# packed_size METHOD SIZE: the packed size of the first SIZE letters alone.
packed_size() {
    head -c "$2" "$work/letters" > "$work/probe"
    rm -f "$work/probe.lzh"
    (cd "$work" && jlha "a2${1}q" probe.lzh probe > /dev/null)
    od -An -tu4 -j7 -N4 "$work/probe.lzh" | tr -d ' '
}
for method in o5 o6 o7; do
    edges=$work/edges-$method
    mkdir -p "$edges"
    met=
    for boundary in 16384 32768; do
        # The fewest letters whose packed data reach the boundary.
        low=$boundary high=$((boundary * 2))
        while [ $((high - low)) -gt 1 ]; do
            middle=$(((low + high) / 2))
            if [ "$(packed_size "$method" "$middle")" -ge "$boundary" ]; then high=$middle; else low=$middle; fi
        done
        for size in $((high - 2)) $((high - 1)) $high $((high + 1)); do
            head -c "$size" "$work/letters" > "$edges/edge-$size"
            met+=" $(packed_size "$method" "$size")"
        done
    done
    archive=$work/sweep-$method.lzh
    (cd "$sweep" && jlha "a2${method}q" "$archive" * > /dev/null && cd "$edges" && jlha "a2${method}q" "$archive" * > /dev/null)
    members=$(($(ls "$sweep" | wc -l) + $(ls "$edges" | wc -l)))
    echo "     $method: $members members, packed sizes at the refill edges:$met"
    exe=$work/sweep-$method.exe
    "$build" -o "$exe" --stub "$stub" --archive "$archive" > "$work/build.log" 2>&1 || { fail "$method sweep: velkar-build"; cat "$work/build.log"; continue; }
    "$run" --test "$exe" -n "$work/none" > "$work/sweep.log" 2>&1 < /dev/null
    status=$?
    checked=$(grep -c '^testing ' "$work/sweep.log")
    if [ $status = 0 ] && [ "$checked" = "$members" ] && ! grep -q ERROR "$work/sweep.log"; then
        pass "$method: every size at the edges decodes within its packed data"
    else
        fail "$method sweep: status $status, $checked of $members checked"; grep ERROR "$work/sweep.log" | head -5
    fi
done

finish
