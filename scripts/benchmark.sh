#!/bin/bash
# Packing, then decoding.
# Packing, on two corpora: the deterministic one of about 50 MB
# (devtools/bench_corpus) and about 12 MB of real files, programs, C headers
# and man pages (scripts/real_corpus.sh). velkar-build (default and --best)
# next to jlha for -lh5-, -lh6- and -lh7-: sizes and times, as ratios to jlha
# (size below 1: we are smaller; speed above 1: we are faster), on every core
# and with one thread (-j 1), whose files must be the same. Each is timed
# once: packing takes a while.
# Decoding, on the first corpus packed by jlha as -lh5- and -lh7-: every reader
# decodes and checks every member without writing files; our time is split
# into the CRC alone and the rest. Then the unpack to disk, by us and by
# bsdtar, and the stub itself under Wine with auto-start, its start-up
# (Wine's, the dialog's and the auto-start's 0.7 s, measured on a one-file
# archive) apart from the rest. Prints seconds, MB/s and each reader's time as
# a ratio to ours (above 1: we are faster), and the peak memory of velkar-run.
# Each reader's work is checked once beside the timed runs; the script stops
# with FAILED when a reader did not decode everything.
# usage: scripts/benchmark.sh [RUNS]   (decoding: best of RUNS, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-3}
bench=$root/build/benchmark
run_tool=$root/build/release/tools/velkar-run
cmake --preset release > /dev/null
cmake --build build/release -j2 --target velkar-run velkar-build bench_corpus bench_crc > /dev/null
cmake --preset windows > /dev/null
cmake --build build/windows -j2 --target velkar route_probe > /dev/null

die() {
    echo "FAILED: $*" >&2
    exit 1
}

mkdir -p "$bench"
if [ ! -d "$bench/corpus" ]; then
    build/release/devtools/bench_corpus "$bench/corpus"
fi
if [ ! -d "$bench/real" ]; then
    scripts/real_corpus.sh "$bench/real" > /dev/null
fi

mapfile -t files < <(cd "$bench/corpus" && find . -type f | sort | sed 's|^\./||')
file_count=${#files[@]}
corpus_bytes=$(cd "$bench/corpus" && cat "${files[@]}" | wc -c)

stub_bytes=$(stat -c %s build/windows/velkar.exe)

seconds_of() {  # command... ; runs it once and prints its wall time
    local start end
    start=$(date +%s.%N)
    "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
jlha_pack() {  # folder method
    rm -f "$bench/lh$2.lzh"
    (cd "$1" && find . -type f | LC_ALL=C sort | sed 's|^\./||' | xargs jlha "a2o${2}q" "$bench/lh$2.lzh")
}
velkar_pack() {  # folder method option...
    local folder=$1 method=$2
    shift 2
    build/release/tools/velkar-build -o "$bench/packed.exe" --stub build/windows/velkar.exe --method "lh$method" "$@" -C "$folder" .
}

# chart_put file row column value: one cell of a chart's table, kept in
# $bench/chart/FILE as "row<TAB>column<TAB>value" lines.
chart_put() { printf '%s\t%s\t%s\n' "$2" "$3" "$4" >> "$bench/chart/$1"; }
mb_per_s() { echo "$1 / $2 / 1048576" | bc -l; }

pack_table() {  # folder [chart]: with chart, its speeds and sizes go to the chart
    local folder=$1 chart=${2:-} method effort jlha_time jlha_size one took size bytes label
    bytes=$(find "$folder" -type f -printf '%s\n' | paste -sd+ | bc)
    printf 'packing %s: %d bytes in %d files, each packer run once\n' "${folder#"$root"/}" "$bytes" \
        "$(find "$folder" -type f | wc -l)"
    printf '  %-26s %12s %9s %10s %11s %9s %11s\n' "" "bytes" "seconds" "size/jlha" "jlha/time" "-j1 s" "-j1/all"
    for method in 5 6 7; do
        jlha_time=$(seconds_of jlha_pack "$folder" "$method")
        jlha_size=$(stat -c %s "$bench/lh$method.lzh")
        printf '  %-26s %12d %9.2f\n' "jlha -lh$method-" "$jlha_size" "$jlha_time"
        if [ -n "$chart" ]; then
            chart_put pack jlha "-lh$method-" "$(mb_per_s "$bytes" "$jlha_time")"
            chart_put size jlha "-lh$method-" "$(echo "100 * $jlha_size / $bytes" | bc -l)"
        fi
        for effort in "" --best; do
            one=$(seconds_of velkar_pack "$folder" "$method" $effort -j 1)
            cp "$bench/packed.exe" "$bench/packed-j1.exe"
            took=$(seconds_of velkar_pack "$folder" "$method" $effort)
            cmp -s "$bench/packed.exe" "$bench/packed-j1.exe" || die "velkar-build -j 1 and on every core differ"
            size=$(($(stat -c %s "$bench/packed.exe") - stub_bytes))
            printf '  %-26s %12d %9.2f %10.4f %11.2f %9.2f %11.2f\n' "velkar-build -lh$method- $effort" "$size" "$took" \
                "$(echo "$size / $jlha_size" | bc -l)" "$(echo "$jlha_time / $took" | bc -l)" "$one" \
                "$(echo "$one / $took" | bc -l)"
            if [ -n "$chart" ]; then
                label="velkar-build${effort:+ $effort}"
                chart_put pack "$label" "-lh$method-" "$(mb_per_s "$bytes" "$took")"
                chart_put pack "$label -j 1" "-lh$method-" "$(mb_per_s "$bytes" "$one")"
                chart_put size "$label" "-lh$method-" "$(echo "100 * $size / $bytes" | bc -l)"
            fi
        done
    done
    echo
}

rm -rf "$bench/chart"
mkdir -p "$bench/chart"
pack_table "$bench/real" chart
# The decoding below reads jlha's archives of the first corpus.
pack_table "$bench/corpus"
rm -f "$bench/packed.exe" "$bench/packed-j1.exe"

mkdir -p "$bench/tiny"
printf 'x' > "$bench/tiny/x"
for method in 5 7; do
    if [ ! -f "$bench/lh$method.lzh" ]; then
        (cd "$bench/corpus" && printf '%s\n' "${files[@]}" | xargs jlha "a2o${method}q" "../lh$method.lzh" > /dev/null)
    fi
    rm -f "$bench/tiny$method.lzh"
    (cd "$bench/tiny" && jlha "a2o${method}q" "../tiny$method.lzh" x > /dev/null)
    for exe in lh$method lh$method-auto tiny$method-auto; do
        rm -f "$bench/$exe.exe"
        archive=${exe%-auto}.lzh
        build/release/tools/velkar-build -o "$bench/$exe.exe" --stub build/windows/velkar.exe \
            $([ "$exe" = "${exe%-auto}" ] || echo --auto-start) --archive "$bench/$archive" > /dev/null
    done
done

# An empty output folder, with the last run's writes flushed, so that one
# run's write-back does not slow the next.
fresh_out() { rm -rf "$bench/out" && mkdir "$bench/out" && sync; }

best_time() {  # command... ; prints the best wall time of $runs runs in seconds, each after $prepare (untimed)
    local best=""
    for _ in $(seq "$runs"); do
        local start end took
        ${prepare:-true}
        start=$(date +%s.%N)
        "$@" > /dev/null 2>&1 || die "$*"
        end=$(date +%s.%N)
        took=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$took < $best" | bc -l)" = 1 ]; then best=$took; fi
    done
    echo "$best"
}

# The commands timed; what velkar-run checked is verified apart.
velkar_test() { "$run_tool" --test "$1" -n "$bench/out" < /dev/null; }
velkar_unpack() { "$run_tool" "$1" -n "$bench/out" < /dev/null; }
bsdtar_unpack() { bsdtar -xf "$1" -C "$bench/out"; }

same_as_corpus() { diff -rq "$bench/corpus" "$bench/out" > /dev/null || die "$1 did not unpack every byte"; }

# The checks: each reader once, untimed, must account for every member.
check_readers() {
    local exe=$1 archive=$2 out status=0
    out=$("$run_tool" --test "$exe" -n "$bench/out" 2>&1 < /dev/null) || status=$?
    [ "$status" = 0 ] || die "velkar-run --test ended with $status"
    [ "$(grep -c '^testing ' <<< "$out")" = "$file_count" ] || die "velkar-run --test did not check all $file_count members"
    if grep -q ERROR <<< "$out"; then die "velkar-run --test: $(grep ERROR <<< "$out" | head -1)"; fi
    [ "$(bsdtar -xOf "$archive" | wc -c)" = "$corpus_bytes" ] || die "bsdtar -xOf did not decode all $corpus_bytes bytes"
    out=$(7zz t "$archive") || die "7zz t ended with $?"
    grep -q '^Everything is Ok' <<< "$out" && grep -q "^Files: $file_count\$" <<< "$out" ||
        die "7zz t did not test all $file_count members"
    out=$(lhasa t "$archive") || die "lhasa t ended with $?"
    [ "$(grep -o -- '- Tested' <<< "$out" | wc -l)" = "$file_count" ] || die "lhasa t did not test all $file_count members"
    fresh_out
    velkar_unpack "$exe" > /dev/null || die "velkar-run did not unpack"
    same_as_corpus "velkar-run"
    fresh_out
    bsdtar_unpack "$archive" || die "bsdtar -xf ended with $?"
    same_as_corpus "bsdtar -xf"
}

line() {  # label seconds [ratio to ours]
    printf '  %-34s %8.3f s %8.1f MB/s' "$1" "$2" "$(echo "$corpus_bytes / $2 / 1048576" | bc -l)"
    if [ -n "${3:-}" ]; then printf '   ratio %.2f' "$(echo "$2 / $3" | bc -l)"; fi
    printf '\n'
}

printf 'corpus: %d bytes in %d files; best of %d runs\n' "$corpus_bytes" "$file_count" "$runs"
crc=$(build/release/devtools/bench_crc "$runs" "${files[@]/#/$bench/corpus/}" | cut -d' ' -f1)
declare -A unpacked
for method in 5 7; do
    archive=$bench/lh$method.lzh
    exe=$bench/lh$method.exe
    check_readers "$exe" "$archive"
    printf '\n-lh%d- archive: %d bytes\n' "$method" "$(stat -c %s "$archive")"
    ours=$(best_time velkar_test "$exe")
    line "velkar-run --test" "$ours"
    chart_put decode "velkar-run --test" "-lh$method-" "$(mb_per_s "$corpus_bytes" "$ours")"
    line "  of which CRC-16 alone" "$crc"
    line "  of which the rest (decoding)" "$(echo "$ours - $crc" | bc -l)"
    for reader in "bsdtar -xOf" "7zz t" "lhasa t"; do
        took=$(best_time $reader "$archive")
        line "$reader" "$took" "$ours"
        chart_put decode "$reader" "-lh$method-" "$(mb_per_s "$corpus_bytes" "$took")"
    done
    full=$(prepare=fresh_out best_time velkar_unpack "$exe")
    unpacked[$method]=$full
    line "velkar-run (unpack to disk)" "$full"
    chart_put decode "velkar-run to disk" "-lh$method-" "$(mb_per_s "$corpus_bytes" "$full")"
    took=$(prepare=fresh_out best_time bsdtar_unpack "$archive")
    line "bsdtar -xf (unpack to disk)" "$took" "$full"
    chart_put decode "bsdtar -xf to disk" "-lh$method-" "$(mb_per_s "$corpus_bytes" "$took")"
    memory=$( { /usr/bin/time -f %M "$run_tool" --test "$exe" -n "$bench/out" < /dev/null > /dev/null || true; } 2>&1 | tail -1)
    printf '  %-34s %8d KB\n' "velkar-run --test peak memory" "$memory"
done

scripts/benchmark_chart.sh "$bench/chart" docs/benchmark.png
printf '\nchart: docs/benchmark.png\n'

# The stub under Wine, on its own display and prefix; every run must end
# with status 1 (the extract pass ran) and the last one must have unpacked
# every byte.
# shellcheck source=tests/wine/lib.sh
. tests/wine/lib.sh
wine_setup > /dev/null || die "Wine set-up"
wine_new_prefix benchmark
stub_unpack() {
    local status=0
    timeout 300 wine "$1" -n "$(windows_path "$bench/out")" > /dev/null 2>&1 || status=$?
    [ "$status" = 1 ]
}
printf '\nthe stub under Wine (velkar.exe, %d bytes), unpacking to disk\n' "$(stat -c %s build/windows/velkar.exe)"
for method in 5 7; do
    fresh_out
    stub_unpack "$bench/tiny$method-auto.exe" || die "the stub on a one-file -lh$method- archive"
    [ "$(cat "$bench/out/x")" = x ] || die "the stub did not unpack the one-file -lh$method- archive"
    start=$(prepare=fresh_out best_time stub_unpack "$bench/tiny$method-auto.exe")
    whole=$(prepare=fresh_out best_time stub_unpack "$bench/lh$method-auto.exe")
    same_as_corpus "the stub under Wine"
    printf '  -lh%d- start-up (one-file archive) %8.3f s\n' "$method" "$start"
    line "-lh$method- past start-up" "$(echo "$whole - $start" | bc -l)"
    line "  velkar-run writing the same" "${unpacked[$method]}"
done
