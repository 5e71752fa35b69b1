#!/bin/bash
# Unpacking to disk into an empty folder and over old copies of every file,
# by velkar-run and by the stub under Wine, so that what replacing costs can
# be read off: each member is written beside its name and renamed into place,
# and over old files the rename also replaces one. The benchmark corpus
# (scripts/benchmark.sh's, about 50 MB) is packed once as -lh5- into a file
# that overwrites without asking. The runs of every kind take turns, so that
# a machine that gets busier slows them alike, and Wine stays started between
# them. Each kind prints its median, its fastest and slowest run and the
# spread between them as a share of the median; the load average before and
# after tells how quiet the machine was.
# With --before REV the same is measured for velkar-run and the stub built
# from that revision (for instance the last one that wrote files in place),
# and the ratio of each median to REV's.
# usage: scripts/replace_benchmark.sh [--before REV] [RUNS]   (default 7 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
before=
if [ "${1:-}" = --before ]; then
    before=$2
    shift 2
fi
runs=${1:-7}
bench=$root/build/benchmark
cmake --preset release > /dev/null
cmake --build build/release -j2 --target velkar-run velkar-build bench_corpus > /dev/null
cmake --preset windows > /dev/null
cmake --build build/windows -j2 --target velkar > /dev/null

die() {
    echo "FAILED: $*" >&2
    exit 1
}

mkdir -p "$bench"
[ -d "$bench/corpus" ] || build/release/devtools/bench_corpus "$bench/corpus"
corpus_bytes=$(du -sb --apparent-size "$bench/corpus" | cut -f1)
file_count=$(find "$bench/corpus" -type f | wc -l)

# The builds measured: this tree's, and REV's from an exported copy of it.
labels=(now)
declare -A run_tool stub
run_tool[now]=$root/build/release/tools/velkar-run
stub[now]=$root/build/windows/velkar.exe
if [ -n "$before" ]; then
    rev=$(git rev-parse --short "$before") || die "no revision $before"
    old=$bench/rev-$rev
    if [ ! -f "$old/build/windows/velkar.exe" ]; then
        rm -rf "$old"
        mkdir -p "$old"
        git archive "$rev" | tar -x -C "$old"
        (cd "$old" && cmake --preset release > /dev/null && cmake --build build/release -j2 --target velkar-run > /dev/null &&
            cmake --preset windows > /dev/null && cmake --build build/windows -j2 --target velkar > /dev/null) ||
            die "cannot build $rev"
    fi
    labels+=("$rev")
    run_tool[$rev]=$old/build/release/tools/velkar-run
    stub[$rev]=$old/build/windows/velkar.exe
fi

# One archive, wrapped in each build's stub: the stub's code is at the front,
# so the archive's offset is the same only for stubs of the same size.
for label in "${labels[@]}"; do
    build/release/tools/velkar-build -o "$bench/replace-$label.exe" --stub "${stub[$label]}" --method lh5 \
        --overwrite --no-keep-newer --auto-start -C "$bench/corpus" . > /dev/null || die "cannot pack the corpus"
done

out=$bench/out
# Every run starts after the last one's writes are flushed, into an empty
# folder or one that holds an old copy of every file.
prepare() {
    rm -rf "$out"
    if [ "$1" = empty ]; then mkdir "$out"; else cp -r "$bench/corpus" "$out"; fi
    sync
}

velkar_run() { "${run_tool[$1]}" "$bench/replace-$1.exe" -n "$out" < /dev/null > /dev/null 2>&1; }

# shellcheck source=tests/wine/lib.sh
. tests/wine/lib.sh
wine_setup > /dev/null || die "Wine set-up"
# The prefix's desktop, kept up from here on, keeps its wineserver too: no
# stub run after velkar-run's pays for starting Wine afresh.
wine_new_prefix replace-benchmark
stub_run() {
    local status=0
    timeout 300 wine "$bench/replace-$1.exe" -n "$(windows_path "$out")" > /dev/null 2>&1 || status=$?
    [ "$status" = 1 ]
}

# Every kind: a tool, a build and a folder. Each is run once, untimed, and
# must unpack every byte.
kinds=()
for tool in velkar_run stub_run; do
    for label in "${labels[@]}"; do
        for folder in empty replacing; do kinds+=("$tool $label $folder"); done
    done
done
declare -A times
for kind in "${kinds[@]}"; do
    read -r tool label folder <<< "$kind"
    prepare "$folder"
    "$tool" "$label" || die "$kind did not end as it should"
    diff -rq "$bench/corpus" "$out" > /dev/null || die "$kind did not unpack every byte"
    [ -z "$(find "$out" -iname 'vlk*.tmp')" ] || die "$kind left a temporary file"
    times[$kind]=
done

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for round in $(seq "$runs"); do
    # Each round starts one kind later, so that no kind always follows the same one.
    for i in "${!kinds[@]}"; do
        kind=${kinds[(i + round) % ${#kinds[@]}]}
        read -r tool label folder <<< "$kind"
        prepare "$folder"
        start=$EPOCHREALTIME
        "$tool" "$label" || die "$kind did not end as it should"
        times[$kind]+=" $(echo "$EPOCHREALTIME - $start" | bc -l)"
    done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
declare -A medians
tool_name() { if [ "$1" = velkar_run ]; then echo velkar-run; else echo "stub under Wine"; fi; }
printf 'corpus: %d bytes in %d files, -lh5-; %d runs of each; load average %s before, %s after\n' \
    "$corpus_bytes" "$file_count" "$runs" "$load_before" "$load_after"
printf '  %-36s %9s %9s %9s %8s %10s\n' "" "median s" "fastest" "slowest" "spread" "vs empty"
for kind in "${kinds[@]}"; do
    read -r tool label folder <<< "$kind"
    values=${times[$kind]}
    medians[$kind]=$(median <<< "$values")
    fastest=$(tr ' ' '\n' <<< "$values" | sed '/^$/d' | sort -g | head -1)
    slowest=$(tr ' ' '\n' <<< "$values" | sed '/^$/d' | sort -g | tail -1)
    name="$(tool_name "$tool")$([ -z "$before" ] || echo " $label") $folder"
    ratio=
    if [ "$folder" = replacing ]; then
        ratio=$(echo "${medians[$kind]} / ${medians[$tool $label empty]}" | bc -l)
    fi
    printf '  %-36s %9.3f %9.3f %9.3f %7.1f%% %10s\n' "$name" "${medians[$kind]}" "$fastest" "$slowest" \
        "$(echo "($slowest - $fastest) * 100 / ${medians[$kind]}" | bc -l)" \
        "$([ -z "$ratio" ] || printf '%.3f' "$ratio")"
done
if [ -n "$before" ]; then
    printf '\nmedians of this tree against %s\n' "$rev"
    for kind in "${kinds[@]}"; do
        read -r tool label folder <<< "$kind"
        [ "$label" = now ] || continue
        printf '  %-36s %9.3f\n' "$(tool_name "$tool") $folder" "$(echo "${medians[$kind]} / ${medians[$tool $rev $folder]}" | bc -l)"
    done
fi
rm -rf "$out"
