#!/bin/bash
# Archives packed by velkar-build, checked by the independent LZH readers
# (lhasa, 7zz, jlha and bsdtar, run only as black boxes) and unpacked by
# velkar-run; and the builder's refusals, each with its message and without
# a file left behind.
# usage: velkar_build_test.sh VELKAR_BUILD VELKAR_RUN STUB
set -u
build=$(realpath "$1") run=$(realpath "$2") stub=$(realpath "$3")
# shellcheck source=tests/interop/lib.sh
. "$(dirname "$0")/lib.sh"
stub_size=$(stat -c %s "$stub")

# Text, part of a real program, random bytes, an empty file, runs, two byte
# values, nested and empty directories, a read-only file and a name with a
# blank.
src=$work/src
mkdir -p "$src/docs/deep/deeper" "$src/empty dir"
seq 1 60000 > "$src/numbers.txt"
awk 'BEGIN { srand(7); for (i = 0; i < 20000; i++) printf "%s%s", substr("lorem ipsum dolor sit amet velkar archive", int(rand() * 30), 1 + int(rand() * 9)), (i % 13 ? " " : "\n") }' > "$src/docs/words.txt"
head -c 200000 "$(command -v bash)" > "$src/docs/program.bin"
head -c 70000 /dev/urandom > "$src/docs/deep/deeper/random.bin"
head -c 65537 /dev/zero > "$src/docs/zeros.bin"
# Two byte values: a code-length code with a single symbol.
awk 'BEGIN { srand(3); for (i = 0; i < 3000; i++) printf "%s", (rand() < 0.5 ? "a" : "b") }' > "$src/docs/two-values.txt"
: > "$src/empty"
printf 'a name with a blank\n' > "$src/docs/read me.txt"
chmod a-w "$src/docs/read me.txt"
touch -d '2001-02-03 04:05:07 UTC' "$src/docs/words.txt"

# name<TAB>size<TAB>method per file, as a reader lists them.
rest() { awk -v skip="$1" -v m="$2" -v s="$3" -v filter="$4" '$0 ~ filter { name = $0; sub(/^ +/, "", name); for (i = 0; i < skip; i++) sub(/^[^ ]+ +/, "", name); print name "\t" $s "\t" $m }' | sort; }
ours() { "$build" --list "$1" | rest 7 1 3 '^-lh[0-7]-'; }
lhasas() { lhasa -v "$1" | rest 9 5 3 '^\\[.* -lh[0-7]- '; }

for variant in lh0 lh5 lh6 lh7 "lh5 --best" "lh7 --best"; do
    set -- $variant
    method=$1 label=${variant// /}
    exe=$work/$label.exe
    if ! "$build" -o "$exe" --stub "$stub" --method "$@" -C "$src" . > "$work/build.log" 2>&1; then
        fail "$label: velkar-build"; cat "$work/build.log"; continue
    fi
    archive=$work/$label.lzh
    tail -c +$((stub_size + 1)) "$exe" > "$archive"
    methods=$(lhasa -v "$archive" | grep -o -- '-lh[0-9d]-' | sort -u | tr '\n' ' ')
    echo "     $label packs as: $methods"
    lhasa -t "$archive" > "$work/lhasa.log" 2>&1 && pass "$label: lhasa -t" || { fail "$label: lhasa -t"; tail "$work/lhasa.log"; }
    7zz t "$archive" > "$work/7zz.log" 2>&1 && pass "$label: 7zz t" || { fail "$label: 7zz t"; tail "$work/7zz.log"; }
    jlha t "$archive" > "$work/jlha.log" 2>&1 && ! grep -qi error "$work/jlha.log" && pass "$label: jlha t" ||
        { fail "$label: jlha t"; tail "$work/jlha.log"; }
    bad=0
    while IFS= read -r -d '' file; do
        rel=${file#"$src"/}
        bsdtar -xOf "$archive" "$rel" 2> /dev/null | cmp -s - "$file" || { echo "  bsdtar differs: $rel"; bad=1; }
    done < <(find "$src" -type f -print0)
    [ $bad = 0 ] && pass "$label: bsdtar -xOf gives every file's bytes" || fail "$label: bsdtar -xOf"
    if [ "$(ours "$exe")" = "$(lhasas "$archive")" ]; then pass "$label: names, sizes and methods listed alike"
    else fail "$label: listings differ"; diff <(ours "$exe") <(lhasas "$archive"); fi
    "$build" --test "$exe" > "$work/test.log" 2>&1 && pass "$label: --test" || { fail "$label: --test"; cat "$work/test.log"; }

    out=$work/out-$label
    mkdir "$out"
    "$run" "$exe" -n "$out" > "$work/run.log" 2>&1 < /dev/null
    if diff -r "$src" "$out" > /dev/null && [ "$(stat -c %Y "$out/docs/words.txt")" = "$(stat -c %Y "$src/docs/words.txt")" ]; then
        pass "$label: velkar-run unpacks every byte, directory and time"
    else
        fail "$label: velkar-run"; diff -r "$src" "$out" | head; cat "$work/run.log"
    fi
done

# An output inside the packed folder never packs itself, old or new.
mkdir "$work/inside"
cp "$src/numbers.txt" "$work/inside/"
"$build" -o "$work/inside/setup.exe" --stub "$stub" -C "$work/inside" . > /dev/null 2>&1
"$build" -o "$work/inside/setup.exe" --stub "$stub" -C "$work/inside" . > "$work/inside.log" 2>&1
members=$("$build" --list "$work/inside/setup.exe" | grep -c -- '^-lh')
[ "$members" = 1 ] && grep -q "left out, it is the output" "$work/inside.log" &&
    pass "an output inside the packed folder is left out" || { fail "output inside the folder ($members members)"; cat "$work/inside.log"; }

# The same inputs give the same bytes.
"$build" -o "$work/again.exe" --stub "$stub" --method lh7 -C "$src" . > /dev/null 2>&1
cmp -s "$work/lh7.exe" "$work/again.exe" && pass "packing twice gives the same file" || fail "packing is not deterministic"

# --test finds a damaged member; the tamper value goes through velkar-run.
cp "$work/lh5.exe" "$work/damaged.exe"
printf '\x55\xAA' | dd of="$work/damaged.exe" bs=1 seek=$((stub_size + 2000)) conv=notrunc 2> /dev/null
"$build" --test "$work/damaged.exe" > "$work/damaged.log" 2>&1
[ $? = 1 ] && grep -q -e "CRC ERROR" -e "cannot be decoded" "$work/damaged.log" && pass "--test finds a damaged member" ||
    { fail "--test on a damaged member"; cat "$work/damaged.log"; }
"$build" -o "$work/tamper.exe" --stub "$stub" --tamper --title "Tamper" -C "$src" numbers.txt > /dev/null 2>&1
mkdir "$work/out-tamper"
"$run" "$work/tamper.exe" -n "$work/out-tamper" > "$work/tamper.log" 2>&1 < /dev/null
cmp -s "$src/numbers.txt" "$work/out-tamper/numbers.txt" && ! grep -q Tampered "$work/tamper.log" &&
    pass "a tamper value of our own passes the stub's check" || { fail "tamper value"; cat "$work/tamper.log"; }

# The "!" question goes first and is asked before anything is unpacked.
printf 'Unpack the caf\xc3\xa9 files?\n' > "$work/question.txt"
"$build" -o "$work/question.exe" --stub "$stub" --question "$work/question.txt" -C "$src" numbers.txt > /dev/null 2>&1
mkdir "$work/out-no" "$work/out-yes"
"$run" --answer=n "$work/question.exe" -n "$work/out-no" > "$work/no.log" 2>&1 < /dev/null
no=$?
"$run" --answer=y "$work/question.exe" -n "$work/out-yes" > "$work/yes.log" 2>&1 < /dev/null
yes=$?
if [ "$("$build" --list "$work/question.exe" | grep -- '^-lh' | head -1 | awk '{print $NF}')" = "!" ] &&
    grep -q "$(printf 'Unpack the caf\xc3\xa9 files?')" "$work/no.log" && [ $no = 3 ] && [ -z "$(ls -A "$work/out-no")" ] &&
    [ $yes = 0 ] && cmp -s "$src/numbers.txt" "$work/out-yes/numbers.txt"; then
    pass "the question member comes first, in code page 1252, and No unpacks nothing"
else
    fail "the question member"; cat "$work/no.log" "$work/yes.log"
fi

# Refusals: each names what is wrong, exits 2 and leaves no output behind.
refuses() {  # label expected-message args...
    local label=$1 message=$2
    shift 2
    rm -f "$work/refused.exe"
    "$build" -o "$work/refused.exe" "$@" > "$work/refused.log" 2>&1
    local status=$?
    if [ $status = 2 ] && grep -qF -- "$message" "$work/refused.log" && [ ! -e "$work/refused.exe" ] &&
        [ -z "$(find "$work" -maxdepth 1 -name 'refused.exe.tmp-*')" ]; then
        pass "refuses $label"
    else
        fail "refuses $label (status $status)"; cat "$work/refused.log"
    fi
}
printf 'PK\x03\x04\x14\x00\x00\x00\x08\x00zip bytes follow here' > "$work/archive.zip"
printf '\0' > "$work/empty.lzh"
printf 'MZ' > "$work/other.exe"; head -c 4000 /dev/zero >> "$work/other.exe"
head -c $((stub_size - 100)) "$stub" > "$work/truncated.exe"
refuses "a zip file" "is not an LZH archive" --stub "$stub" --archive "$work/archive.zip"
refuses "an archive without members" "holds no members" --stub "$stub" --archive "$work/empty.lzh"
refuses "a folder as the archive" "is a directory" --stub "$stub" --archive "$src"
refuses "another program as the stub" "is not a Velkar stub" --stub "$work/other.exe" "$src"
refuses "a truncated stub" "is cut short" --stub "$work/truncated.exe" "$src"
refuses "a title too long" "the title is longer than 40 bytes" --stub "$stub" --title "$(printf '%041d' 0)" "$src"
refuses "a missing input" "no such file or directory" --stub "$stub" "$work/missing"
refuses "a path that climbs out" "climbs out of its folder" --stub "$stub" -C "$src" ../src
cp "$archive" "$work/input.lzh"
"$build" -o "$work/input.lzh" --stub "$stub" --archive "$work/input.lzh" > "$work/same.log" 2>&1
[ $? = 2 ] && grep -q "is the input archive" "$work/same.log" && cmp -s "$archive" "$work/input.lzh" &&
    pass "refuses to write over the input archive" || { fail "-o naming the input"; cat "$work/same.log"; }
# A write that fails half-way (a file size limit) leaves nothing behind.
(trap '' XFSZ; ulimit -f 100; exec "$build" -o "$work/refused.exe" --stub "$stub" --method lh0 "$src") > "$work/full.log" 2>&1
if [ $? = 2 ] && grep -q "cannot be written" "$work/full.log" && [ -z "$(find "$work" -maxdepth 1 -name 'refused.exe*')" ]; then
    pass "a write that fails half-way leaves no file"
else
    fail "a failed write"; cat "$work/full.log"; ls "$work"
fi

# Without --stub: the one built beside the tools; and when there is none,
# a message that names the stub and the places looked in.
mkdir "$work/elsewhere" "$work/lonely"
(cd "$work/elsewhere" && env -u VELKAR_STUB "$build" -o found.exe "$src/numbers.txt") > "$work/found.log" 2>&1 &&
    "$build" --test "$work/elsewhere/found.exe" > /dev/null 2>&1 && pass "finds the stub built beside the tools" ||
    { fail "finding the stub"; cat "$work/found.log"; }
cp "$build" "$work/lonely/velkar-build"
(cd "$work/lonely" && env -u VELKAR_STUB ./velkar-build -o x.exe "$src/numbers.txt") > "$work/lonely.log" 2>&1
[ $? = 2 ] && grep -q "the stub velkar.exe was not found" "$work/lonely.log" && grep -q "$work/lonely/velkar.exe" "$work/lonely.log" &&
    pass "names the stub and the paths tried when there is none" || { fail "no stub"; cat "$work/lonely.log"; }

# An archive made elsewhere whose single end byte has other bytes behind it.
(cd "$src" && jlha a2o5q "$work/jlha.lzh" numbers.txt > /dev/null)
printf 'TRAILING SIGNATURE' >> "$work/jlha.lzh"
"$build" -o "$work/trailing.exe" --stub "$stub" --archive "$work/jlha.lzh" > "$work/trailing.log" 2>&1 &&
    grep -q "left out" "$work/trailing.log" && "$build" --test "$work/trailing.exe" > /dev/null 2>&1 &&
    [ "$(tail -c 2 "$work/trailing.exe" | od -An -tx1 | tr -d ' ')" = 0000 ] &&
    pass "an archive's trailing bytes are left out with a note, and the end is two zero bytes" ||
    { fail "trailing bytes"; cat "$work/trailing.log"; }

# Hostile and careless command lines. Each row: the label, the status, the
# message's words, what must exist afterwards and what must not (paths under
# $work, blank-separated), then the arguments; every command is bounded in time.
row() {
    local label=$1 status=$2 message=$3 present=$4 absent=$5
    shift 5
    (cd "$work" && timeout 20 "$build" "$@") > "$work/row.log" 2>&1 < /dev/null
    local got=$? bad=0 path
    [ $got = "$status" ] && { [ -z "$message" ] || grep -qF -- "$message" "$work/row.log"; } || bad=1
    for path in $present; do [ -e "$work/$path" ] || [ -L "$work/$path" ] || { echo "  missing: $path"; bad=1; }; done
    for path in $absent; do [ ! -e "$work/$path" ] || { echo "  left behind: $path"; bad=1; }; done
    [ -z "$(find "$work" -maxdepth 2 -name '*.tmp-*')" ] || { echo "  a temporary file is left"; bad=1; }
    [ $bad = 0 ] && pass "$label" || { fail "$label (status $got)"; cat "$work/row.log"; }
}
mkfifo "$work/fifo"
mkdir "$work/outdir" "$work/con" "$work/dot" "$work/case" "$work/bang" "$work/long"
printf x > "$work/con/nul.txt"
printf x > "$work/dot/name."
printf x > "$work/case/h.txt"; printf x > "$work/case/H.TXT"
printf x > "$work/bang/!"
printf 'target\n' > "$work/target.txt"
ln -s target.txt "$work/link.exe"
mkdir "$work/linkdir"
ln -s "$work/outdir" "$work/linkdir/folder-link"
(cd "$src" && jlha a2o5q "$work/wrong-crc.lzh" numbers.txt > /dev/null)
# A byte of the packed data near its end: the header stays whole.
printf '\x55' | dd of="$work/wrong-crc.lzh" bs=1 seek=$(($(stat -c %s "$work/wrong-crc.lzh") - 20)) conv=notrunc 2> /dev/null
seq 1 3000000 > "$work/long/numbers.txt"
S="--stub $stub"
row "-o a pipe is refused, not replaced" 2 "is not a regular file" fifo "" -o fifo $S "$src/empty"
row "-o a symbolic link is refused, its target kept" 2 "is a symbolic link" "link.exe target.txt" "" -o link.exe $S "$src/empty"
row "-o a folder says it is one" 2 "outdir/: is a directory" outdir "" -o outdir/ $S "$src/empty"
row "--archive a pipe is refused" 2 "is not a regular file" "" out.exe -o out.exe $S --archive fifo
row "--list a pipe is refused" 2 "is not a regular file" "" "" --list fifo
row "--archive with damaged data is refused" 2 "member 1 \"numbers.txt\" " "" out.exe -o out.exe $S --archive wrong-crc.lzh
row "--no-check wraps it all the same" 0 "" out.exe "" -o out.exe $S --no-check --archive wrong-crc.lzh
row "--test then finds it" 1 "test failed" "" "" --test out.exe
row "--list takes one file" 4 "--list takes one FILE.exe" "" "" --list out.exe out.exe
row "--list makes nothing" 4 "leave out -o" "" x.exe -o x.exe --list out.exe
row "--list honours --codepage" 0 "1 member," "" "" --codepage 932 --list out.exe
row "a device name" 2 "\"nul.txt\" is a device name" "" out2.exe -o out2.exe $S -C con .
row "a name ending in a dot" 2 "ends in a dot or a blank" "" out2.exe -o out2.exe $S -C dot .
row "names that differ only in case" 2 "differ only in case" "" out2.exe -o out2.exe $S -C case .
row "a tree file \"!\" beside --question" 2 "a second question" "" out2.exe -o out2.exe $S --question "$work/question.txt" -C bang .
row "a title the code page cannot hold" 2 "cannot be written in code page 1252" "" out2.exe -o out2.exe $S --title "$(printf '\xe6\x97\xa5')" "$src/empty"
row "a title in the code page" 0 "" out2.exe "" -o out2.exe $S --title "$(printf 'Caf\xc3\xa9')" "$src/empty"
row "--list shows it in UTF-8" 0 "$(printf '"Caf\xc3\xa9"')" "" "" --list out2.exe
row "a link to a folder is named as one" 0 "a link to a folder" out3.exe "" -o out3.exe $S linkdir
row "an unknown option" 4 "unknown option" "" "" --bogus
row "-h" 0 "usage:" "" "" -h
row "one version" 0 "$("$run" --version | awk '{print $2}')" "" "" --version

# A termination while packing removes the temporary file.
"$build" -o "$work/signal.exe" $S --method lh7 --best -C "$work/long" . > /dev/null 2>&1 &
pid=$!
for _ in $(seq 50); do [ -n "$(find "$work" -maxdepth 1 -name 'signal.exe.tmp-*')" ] && break; sleep 0.1; done
sleep 0.5
for signal in TERM; do kill -$signal $pid 2> /dev/null; done
wait $pid
status=$?
[ $status -gt 128 ] && [ -z "$(find "$work" -maxdepth 1 -name 'signal.exe*')" ] &&
    pass "SIGTERM while packing leaves no temporary file" || { fail "SIGTERM while packing (status $status)"; ls "$work"; }

finish
