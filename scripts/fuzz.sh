#!/bin/bash
# Fuzzes the archive walk (member headers and everything after them), the
# block decoder, the fast decoding against the plain one, the installer
# script, and our encoder with the decoder behind it (what is packed must come
# back unchanged) with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer,
# two targets at a time at the lowest priority, for SECONDS each (default 600).
# Each corpus starts from the minimised one kept in fuzz/corpus/ and from seeds
# made here (jlha archives of the bundled samples, a script with every keyword,
# the sample files); it grows under build/fuzz/corpus.
# usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
targets=${*:-member_header block_decoder decoder_differential installer_script encoder_roundtrip}
cmake --preset fuzz > /dev/null
cmake --build build/fuzz -j2 > /dev/null
corpus=build/fuzz/corpus
for target in member_header block_decoder decoder_differential installer_script encoder_roundtrip; do
    mkdir -p "$corpus/$target"
    [ -d "fuzz/corpus/$target" ] && cp -n fuzz/corpus/$target/* "$corpus/$target/" 2>/dev/null || true
done

# Seeds: whole archives for the walk; for the decoder, each compressed
# member's packed data behind its method byte and 3-byte unpacked size; for
# the differential target the same with a fifth byte that claims no more
# than the data.
seeds=$(mktemp -d)
trap 'rm -rf "$seeds"' EXIT
little() { od -An -tu"$3" -j"$2" -N"$3" "$1" | tr -d ' '; }
for method in o5 o6 o7 z; do
    archive=$seeds/$method.lzh
    (cd samples/files && jlha "a2${method}q" "$archive" . > /dev/null)
    cp "$archive" "$corpus/member_header/seed-$method"
    offset=0 size=$(stat -c %s "$archive") n=0
    while [ $((offset + 26)) -le "$size" ]; do
        header=$(little "$archive" "$offset" 2)
        [ "$header" -gt 0 ] || break
        packed=$(little "$archive" $((offset + 7)) 4)
        unpacked=$(little "$archive" $((offset + 11)) 4)
        letter=$(dd if="$archive" bs=1 skip=$((offset + 5)) count=1 status=none)
        if [ "$letter" -ge 4 ] 2>/dev/null && [ "$unpacked" -lt 262144 ]; then
            seed=$corpus/block_decoder/seed-$method-$n
            printf "\\$(printf %03o $((letter - 4)))" > "$seed"
            for shift in 0 8 16; do printf "\\$(printf %03o $(((unpacked >> shift) & 255)))" >> "$seed"; done
            dd if="$archive" bs=1 skip=$((offset + header)) count="$packed" status=none >> "$seed"
            { head -c 4 "$seed"; printf '\000'; tail -c +5 "$seed"; } > "$corpus/decoder_differential/seed-$method-$n"
            n=$((n + 1))
        fi
        offset=$((offset + header + packed))
    done
done
# The script target's first byte picks the code page and the platform.
printf '\000$WindowTitle=A\r\n$ClassTitle=C,0\r\n$GroupTitle="G, g",1\r\n$Class=.TXT,Text,bin/view.exe,txtfile\r\n$Group=Tools, Viewer,view.exe,view.ico\r\n$Flag=-1\r\n$InstallDir=%%WinDir%%\r\n$Command=run.exe a\r\n$AskRegist=\r\n' \
    > "$corpus/installer_script/seed"
n=0
for file in $(find samples/files -type f | sort); do
    for choice in '\000' '\001' '\202'; do
        { printf "$choice"; head -c 20000 "$file"; } > "$corpus/encoder_roundtrip/seed-$n"
        n=$((n + 1))
    done
done

run_target() {
    (cd build/fuzz && nice -n 19 ./fuzz/fuzz_$1 -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
        "corpus/$1" > "fuzz_$1.log" 2>&1; echo "exit $?" >> "fuzz_$1.log")
}
export -f run_target
export seconds
printf '%s\n' $targets | xargs -P 2 -I{} bash -c 'run_target {}'
for target in $targets; do
    echo "== $target"
    grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)|^#[0-9]+.*DONE|ERROR|SUMMARY|^exit' \
        "build/fuzz/fuzz_$target.log" || true
    echo "corpus: $(ls "$corpus/$target" | wc -l) inputs"
done
