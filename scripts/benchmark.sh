#!/bin/bash
# Packing, then decoding, on a deterministic corpus of about 50 MB.
# Packing: velkar-build (default and --best) next to jlha for -lh5-, -lh6- and
# -lh7-: sizes and times, as ratios to jlha (size below 1: we are smaller;
# speed above 1: we are faster). Each is timed once: packing takes a while.
# Decoding, on the corpus packed by jlha as -lh5- and -lh7-: every reader
# decodes and checks every member without writing files; our full unpack to
# disk is measured beside that. Prints seconds, MB/s and each reader's time
# as a ratio to ours (above 1: we are faster).
# usage: scripts/benchmark.sh [RUNS]   (decoding: best of RUNS, default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
bench=build/benchmark
cmake --preset release > /dev/null
cmake --build build/release -j2 --target velkar-run velkar-build bench_corpus > /dev/null
cmake --preset windows > /dev/null
cmake --build build/windows -j2 --target velkar > /dev/null

mkdir -p "$bench"
if [ ! -d "$bench/corpus" ]; then
    build/release/tools/bench_corpus "$bench/corpus"
fi
corpus_bytes=$(du -sb "$bench/corpus" | cut -f1)
stub_bytes=$(stat -c %s build/windows/velkar.exe)

seconds_of() {  # command... ; runs it once and prints its wall time
    local start end
    start=$(date +%s.%N)
    "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
jlha_pack() { rm -f "$bench/lh$1.lzh"; (cd "$bench/corpus" && find . -type f | sort | sed 's|^\./||' | xargs jlha "a2o${1}q" "../lh$1.lzh"); }
velkar_pack() {
    local method=$1
    shift
    build/release/tools/velkar-build -o "$bench/packed.exe" --stub build/windows/velkar.exe --method "lh$method" "$@" -C "$bench/corpus" .
}

printf 'packing: corpus of %d bytes in %d files, each packer run once
' "$corpus_bytes" "$(find "$bench/corpus" -type f | wc -l)"
printf '  %-22s %12s %9s %10s %11s\n' "" "bytes" "seconds" "size/jlha" "jlha/time"
for method in 5 6 7; do
    jlha_time=$(seconds_of jlha_pack "$method")
    jlha_size=$(stat -c %s "$bench/lh$method.lzh")
    printf '  %-22s %12d %9.2f\n' "jlha -lh$method-" "$jlha_size" "$jlha_time"
    for effort in "" --best; do
        took=$(seconds_of velkar_pack "$method" $effort)
        size=$(( $(stat -c %s "$bench/packed.exe") - stub_bytes ))
        printf '  %-22s %12d %9.2f %10.4f %11.2f\n' "velkar-build -lh$method- $effort" "$size" "$took" \
            "$(echo "$size / $jlha_size" | bc -l)" "$(echo "$jlha_time / $took" | bc -l)"
    done
done
rm -f "$bench/packed.exe"
echo

for method in 5 7; do
    rm -f "$bench/lh$method.exe"
    build/release/tools/velkar-build -o "$bench/lh$method.exe" --stub build/windows/velkar.exe --archive "$bench/lh$method.lzh" > /dev/null
done

best_time() {  # command... ; prints the best wall time of $runs runs in seconds
    local best=""
    for _ in $(seq "$runs"); do
        local start end took
        start=$(date +%s.%N)
        "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
        end=$(date +%s.%N)
        took=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$took < $best" | bc -l)" = 1 ]; then best=$took; fi
    done
    echo "$best"
}

unpack_to_disk() {
    rm -rf "$bench/out" && mkdir "$bench/out"
    build/release/tools/velkar-run "$1" -n "$bench/out" < /dev/null
    [ $? -le 1 ]
}
velkar_test() { build/release/tools/velkar-run --test "$1" -n "$bench/out" < /dev/null; [ $? -le 1 ]; }

printf 'corpus: %d bytes in %d files; best of %d runs\n' "$corpus_bytes" "$(find "$bench/corpus" -type f | wc -l)" "$runs"
for method in 5 7; do
    archive=$bench/lh$method.lzh
    printf '\n-lh%d- archive: %d bytes\n' "$method" "$(stat -c %s "$archive")"
    ours=$(best_time velkar_test "$bench/lh$method.exe")
    printf '  %-28s %8.3f s %8.1f MB/s\n' "velkar-run --test" "$ours" "$(echo "$corpus_bytes / $ours / 1048576" | bc -l)"
    for reader in "bsdtar -xOf" "7zz t" "lhasa t"; do
        took=$(best_time $reader "$archive")
        printf '  %-28s %8.3f s %8.1f MB/s   ratio %.2f\n' "$reader" "$took" \
            "$(echo "$corpus_bytes / $took / 1048576" | bc -l)" "$(echo "$took / $ours" | bc -l)"
    done
    full=$(best_time unpack_to_disk "$bench/lh$method.exe")
    printf '  %-28s %8.3f s %8.1f MB/s\n' "velkar-run (unpack to disk)" "$full" "$(echo "$corpus_bytes / $full / 1048576" | bc -l)"
done
