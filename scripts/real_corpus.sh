#!/bin/bash
# Writes a corpus of real files, about 12 MB, into FOLDER: programs, C
# headers and man pages (decompressed), 4 MiB of each, from packages every
# Debian build machine has (coreutils; libc6-dev with linux-libc-dev; manpages
# with manpages-dev). Each kind is taken whole file by whole file in sorted
# path order until the next file would pass its share, so the same packages
# give the same corpus; the last line is a checksum of the corpus to compare
# machines by.
# usage: scripts/real_corpus.sh FOLDER
set -euo pipefail
[ $# = 1 ] || { echo "usage: $0 FOLDER" >&2; exit 2; }
folder=$1
share=$((4 * 1048576))

files_of() {  # pattern package... ; the packages' regular files matching pattern, sorted
    local pattern=$1
    shift
    dpkg -L "$@" | grep -E "$pattern" | while read -r path; do
        [ -f "$path" ] && [ ! -L "$path" ] && echo "$path"
    done | LC_ALL=C sort -u
}

# take kind reader pattern package... ; copies files through reader until the share is full
take() {
    local kind=$1 reader=$2 pattern=$3 total=0 count=0 path name size
    shift 3
    mkdir -p "$folder/$kind"
    while read -r path; do
        # Numbered, since Windows takes names that differ only in case for one.
        name=$(printf '%04d_%s' "$count" "$(basename "${path%.gz}")")
        "$reader" "$path" > "$folder/$kind/$name"
        size=$(stat -c %s "$folder/$kind/$name")
        if [ $((total + size)) -gt "$share" ]; then
            rm "$folder/$kind/$name"
            break
        fi
        total=$((total + size))
        count=$((count + 1))
    done < <(files_of "$pattern" "$@")
    printf '%-9s %4d files %9d bytes\n' "$kind" "$count" "$total"
}

unzip() { gzip -dc "$1"; }

for package in coreutils libc6-dev linux-libc-dev manpages manpages-dev; do
    dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed ||
        { echo "real_corpus: $package is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
done
rm -rf "$folder"
mkdir -p "$folder"
take programs cat '^/usr/bin/' coreutils
take headers cat '^/usr/include/.*\.h$' libc6-dev linux-libc-dev
take man unzip '^/usr/share/man/man[1-8]/.*\.gz$' manpages manpages-dev
(cd "$folder" && find . -type f | LC_ALL=C sort | xargs cat | sha256sum | cut -c1-16)
