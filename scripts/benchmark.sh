#!/bin/bash
# Decoding speed against the other LZH readers on this machine, on a
# deterministic corpus of about 50 MB packed by jlha as -lh5- and -lh7-.
# Every reader decodes and checks every member without writing files; our
# full unpack to disk is measured beside that. Prints seconds, MB/s and each
# reader's time as a ratio to ours (above 1: we are faster).
# usage: scripts/benchmark.sh [RUNS]   (best of RUNS, default 3)
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
for method in 5 7; do
    if [ ! -f "$bench/lh$method.lzh" ]; then
        (cd "$bench/corpus" && find . -type f | sort | sed 's|^\./||' | xargs jlha "a2o${method}q" "../lh$method.lzh" > /dev/null)
    fi
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
