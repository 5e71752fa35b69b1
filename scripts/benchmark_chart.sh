#!/bin/bash
# Draws the benchmark's figures as one PNG with gnuplot: decoding speed,
# packing speed and packed size, each program a group of bars, one bar per
# method. FOLDER holds what scripts/benchmark.sh gathered: the files decode,
# pack and size, each of "row<TAB>method<TAB>value" lines. The machine and
# the date go into the title.
# usage: scripts/benchmark_chart.sh FOLDER OUT.png
set -euo pipefail
[ $# = 2 ] || { echo "usage: $0 FOLDER OUT.png" >&2; exit 2; }
folder=$1
out=$2
command -v gnuplot > /dev/null || { echo "benchmark_chart: gnuplot is missing (scripts/setup.sh installs it)" >&2; exit 1; }

# One row per program and one column per method, both in the order first met.
widen() {
    awk -F'\t' '
        !($1 in row) { row[$1] = ++rows; rowName[rows] = $1 }
        !($2 in col) { col[$2] = ++cols; colName[cols] = $2 }
        { cell[row[$1], col[$2]] = $3 }
        END {
            printf "program"; for (c = 1; c <= cols; c++) printf "\t%s", colName[c]; printf "\n"
            for (r = 1; r <= rows; r++) {
                printf "\"%s\"", rowName[r]
                for (c = 1; c <= cols; c++) printf "\t%s", ((r, c) in cell) ? cell[r, c] : "NaN"
                printf "\n"
            }
        }' "$1"
}
for table in decode pack size; do
    [ -s "$folder/$table" ] || { echo "benchmark_chart: $folder/$table is missing" >&2; exit 1; }
    widen "$folder/$table" > "$folder/$table.wide"
done

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1 | tr -s ' ')
machine="$cpu, $(nproc) cores, $(date -u +%Y-%m-%d)"
columns() { head -1 "$1" | awk -F'\t' '{ print NF }'; }
# The sizes differ by a few percent: their axis spans the values, with room above for the key.
size_range=$(awk -F'\t' 'NR == 1 || $3 < lo { lo = $3 } NR == 1 || $3 > hi { hi = $3 }
    END { printf "[%d:%d]", lo - 1, hi + 0.6 * (hi - lo) + 1 }' "$folder/size")

gnuplot <<EOF
set terminal pngcairo size 1500,560 font "sans,10"
set output "$out"
set datafile separator "\t"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set key top right
set grid ytics
set yrange [0:*]
set offsets 0, 0, graph 0.08, 0
set xtics rotate by -30 nomirror
set multiplot layout 1,3 title "Velkar against other LZH readers and packers ($machine)" font ",12"
set title "Decoding the 50 MB made-up corpus (MB/s, higher is better)"
plot for [c=2:$(columns "$folder/decode.wide")] "$folder/decode.wide" using c:xtic(1) title columnheader(c)
set title "Packing 12 MB of real files (MB/s, higher is better)"
plot for [c=2:$(columns "$folder/pack.wide")] "$folder/pack.wide" using c:xtic(1) title columnheader(c)
set title "Packed size of the real files (% of their size, lower is better)"
set offsets 0, 0, 0, 0
set yrange $size_range
plot for [c=2:$(columns "$folder/size.wide")] "$folder/size.wide" using c:xtic(1) title columnheader(c)
unset multiplot
EOF
