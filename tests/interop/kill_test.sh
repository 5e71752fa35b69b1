#!/bin/bash
# velkar-run stopped in the middle of replacing older files: killed with
# SIGKILL at 20 moments spread over the unpack, every file under its real
# name is still the old or the new version, whole (a killed run may leave
# one VLKxxxx.TMP behind). Stopped with SIGTERM, SIGINT or SIGHUP, it also
# removes its temporary file.
# usage: kill_test.sh VELKAR_BUILD VELKAR_RUN STUB
set -u
build=$1 run=$2 stub=$3
# shellcheck source=tests/interop/lib.sh
. "$(dirname "$0")/lib.sh"

# Large members, compressible and not, and their older versions.
new=$work/new old=$work/old
mkdir -p "$new/sub" "$old/sub"
for i in 1 2 3 4 5 6; do
    seq "$((i * 1000))" "$((i * 1000 + 300000))" > "$new/text$i.txt"
    head -c 1500000 /dev/urandom > "$new/sub/random$i.bin"
    printf 'old text %d\n' "$i" > "$old/text$i.txt"
    head -c 700000 /dev/zero > "$old/sub/random$i.bin"
done
exe=$work/replace.exe
"$build" -o "$exe" --stub "$stub" --overwrite --no-keep-newer -C "$new" . > "$work/build.log" 2>&1 ||
    { cat "$work/build.log"; echo "FAIL velkar-build"; exit 1; }

fresh_destination() {
    rm -rf "$work/out"
    cp -a "$old" "$work/out"
}

# Every regular file is a member's file, old or new and whole; returns the
# count of temporary files left.
check_files() {  # label
    local bad=0 temps=0 rel
    while IFS= read -r -d '' file; do
        rel=${file#"$work/out/"}
        case ${rel##*/} in VLK????.TMP) temps=$((temps + 1)); continue ;; esac
        if ! cmp -s "$file" "$new/$rel" && ! cmp -s "$file" "$old/$rel"; then
            echo "  $1: $rel is neither the old nor the new version"
            bad=1
        fi
    done < <(find "$work/out" -type f -print0)
    for file in $(cd "$old" && find . -type f); do
        [ -f "$work/out/$file" ] || { echo "  $1: $file is missing"; bad=1; }
    done
    [ $bad = 0 ] || return 255
    return $temps
}

start=$(date +%s%N)
fresh_destination
"$run" --ok "$exe" -n "$work/out" > "$work/run.log" 2>&1 < /dev/null ||
    { cat "$work/run.log"; echo "FAIL a whole run"; exit 1; }
whole=$((($(date +%s%N) - start) / 1000000))
diff -r "$new" "$work/out" > /dev/null && pass "a whole run replaces every file ($whole ms)" || fail "a whole run"

replaced=0 kept=0 temps_left=0
for moment in $(seq 1 20); do
    fresh_destination
    "$run" --ok "$exe" -n "$work/out" > /dev/null 2>&1 < /dev/null &
    pid=$!
    sleep "$(echo "scale=3; $whole * $moment / 21 / 1000" | bc)"
    kill -KILL "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
    check_files "SIGKILL at $moment/21"
    result=$?
    if [ $result = 255 ]; then
        fail "SIGKILL at $moment/21 of the run"
        continue
    fi
    temps_left=$((temps_left + result))
    for file in $(cd "$new" && find . -type f); do
        if cmp -s "$new/$file" "$work/out/$file"; then replaced=$((replaced + 1)); else kept=$((kept + 1)); fi
    done
done
pass "SIGKILL at 20 moments: every file old or new, whole ($replaced replaced, $kept old, $temps_left temporary files left)"

for signal in TERM INT HUP; do
    fresh_destination
    "$run" --ok "$exe" -n "$work/out" > /dev/null 2>&1 < /dev/null &
    pid=$!
    sleep "$(echo "scale=3; $whole / 2 / 1000" | bc)"
    kill "-$signal" "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null
    check_files "SIG$signal"
    result=$?
    [ $result = 0 ] && pass "SIG$signal: files old or new, no temporary file left" ||
        fail "SIG$signal: $([ $result = 255 ] && echo "a damaged file" || echo "$result temporary files left")"
done

finish
