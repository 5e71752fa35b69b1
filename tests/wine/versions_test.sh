#!/bin/bash
# The auto-start case under each Windows version that Wine can pretend to be
# (Win32s on Windows 3.1, Windows 95, NT 4.0, XP, 10): a small tree packed
# with every method (-lh0-, -lh4- to -lh7-, directories) comes out byte for
# byte with its times. Win32s keeps local time in its file system, so there
# the stub moves every time by the hours of "TZ"; elsewhere "TZ" changes
# nothing. Then the file built with --admin, whose manifest asks for an
# administrator, and a run under a Chinese locale (code page 936) with
# double-byte names, one of them with a backslash as its trail byte.
# usage: versions_test.sh [CASE...]   (default: every case; names below)
set -u
# shellcheck source=tests/wine/lib.sh
. "$(dirname "$0")/lib.sh"

VERSIONS=(win31 win95 nt40 winxp win10)
CASES=("${VERSIONS[@]}" admin code-page-936)
# Every run sees this zone; only Win32s applies it: 9 hours forward.
export TZ=JST-9
WIN32S_SHIFT=32400
CHINESE_LOCALE=zh_CN.UTF-8

wine_require "$VELKAR_EXE" "$VELKAR_BUILDER" "$(command -v jlha || echo jlha)" || exit
wine_setup || exit 1
WORK=$WINE_WORK/runs/versions-files.$$
rm -rf "$WORK"
mkdir -p "$WORK"
trap 'wine_cleanup; rm -rf "$WORK"' EXIT
PATCH="perl $(dirname "$0")/../support/lzh_patch.pl"

# with_lh4 FOLDER ARCHIVE FILE: starts the archive with FILE (under 4 KB) as
# an -lh4- member; the members added after it follow behind.
with_lh4() {
    pack "$1" "$2.lh4" o5 "$3" && $PATCH "$2.lh4" -lh5- -lh4- &&
        head -c -1 "$2.lh4" >"$2"  # without its end mark
}

# finish_archive ARCHIVE PART: appends a second archive's members.
finish_archive() { cat "$2" >>"$1"; }

# The tree: a text under 4 KB as -lh4-, texts as -lh5- to -lh7-, random
# bytes, a stored file, an empty folder and nested ones; every file with its
# own time, one of them an odd second.
CORPUS=$WORK/corpus
corpus_exe() {
    [ -f "$WORK/corpus.exe" ] && return 0
    mkdir -p "$CORPUS/docs/deep" "$CORPUS/empty dir"
    seq 1 600 >"$CORPUS/small.txt"
    printf 'Velkar versions test\r\n' >"$CORPUS/readme.txt"
    seq 1 5000 | sed 's/$/ lorem ipsum/' >"$CORPUS/docs/words.txt"
    awk 'BEGIN { for (i = 0; i < 3000; i++) printf "%05d %08x\n", i, (i * 2654435761) % 4294967296 }' \
        >"$CORPUS/docs/deep/table.txt"
    LC_ALL=C awk 'BEGIN { srand(5); for (i = 0; i < 20000; i++) printf "%c", int(rand() * 256) }' \
        >"$CORPUS/docs/deep/random.bin"
    printf 'stored as it is\n' >"$CORPUS/stored.txt"
    local day=1 file
    while IFS= read -r -d '' file; do
        touch -d "1999-12-$day 23:59:5$day UTC" "$file"
        day=$((day + 1))
    done < <(find "$CORPUS" -type f -print0 | sort -z)
    with_lh4 "$CORPUS" "$WORK/corpus.lzh" small.txt &&
        pack "$CORPUS" "$WORK/rest.lzh" o5 readme.txt &&
        pack "$CORPUS" "$WORK/rest.lzh" o6 docs/words.txt &&
        pack "$CORPUS" "$WORK/rest.lzh" o7 docs/deep &&
        pack "$CORPUS" "$WORK/rest.lzh" z stored.txt "empty dir" &&
        finish_archive "$WORK/corpus.lzh" "$WORK/rest.lzh" &&
        make_exe "$WORK/corpus.lzh" "$WORK/corpus.exe" --title "Velkar Versions" &&
        make_exe "$WORK/corpus.lzh" "$WORK/admin.exe" --title "Velkar Versions" --admin
}

# The prefix that every case shares; each runs a copy of its own name, so
# that Wine's per-program settings tell them apart.
prefix_ready() {
    [ -n "${VERSIONS_PREFIX:-}" ] && return 0
    wine_new_prefix versions
    VERSIONS_PREFIX=$WINE_RUN
}

# auto_start NAME EXE VERSION SHIFT [ENV...]: runs a copy NAME.exe under the
# Windows version (empty: Wine's default) into a folder of its own and checks
# what came out against the tree, its times moved by SHIFT seconds.
auto_start() {
    local name=$1 exe=$2 version=$3 shift=$4 out started
    shift 4
    prefix_ready
    out=$VERSIONS_PREFIX/out-$name
    cp "$exe" "$VERSIONS_PREFIX/$name.exe"
    if [ -n "$version" ]; then
        wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$name.exe" /v Version /d "$version" /f >/dev/null 2>&1
    fi
    started=$(now)
    env "$@" wine "$VERSIONS_PREFIX/$name.exe" -n "$(windows_path "$out")" >/dev/null 2>&1 &
    WINE_PID=$!
    wine_wait_exit 60
    RUN_SECONDS=$(awk -v a="$started" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }')
    RUN_PROBLEMS=$(expect_status 1; same_tree "$EXPECTED" "$out" "$shift")
}

case_version() {
    local version=$1 shift=0
    corpus_exe || { fail "$version" "cannot make the file"; return; }
    [ "$version" = win31 ] && shift=$WIN32S_SHIFT
    EXPECTED=$CORPUS
    auto_start "velkar-$version" "$WORK/corpus.exe" "$version" "$shift"
    check "$version: auto start unpacks every method with its times$([ "$shift" = 0 ] || echo " moved by TZ=$TZ"), exit 1 (${RUN_SECONDS} s)" \
        "$RUN_PROBLEMS"
}

case_admin() {
    corpus_exe || { fail "admin" "cannot make the file"; return; }
    EXPECTED=$CORPUS
    auto_start velkar-admin "$WORK/admin.exe" win10 0
    check "--admin (requireAdministrator) on win10: starts and unpacks the same, exit 1 (${RUN_SECONDS} s)" \
        "$RUN_PROBLEMS"
}

# Names in code page 936 (GBK): the folder "中文" and in it "乗表.txt",
# whose first character is 0x81 0x5C: a walk that missed the lead byte would
# split it at the backslash. Wine makes UTF-8 names of them through the
# locale, which must exist on the machine.
case_code_page_936() {
    local name="code page 936" folder=$WORK/gbk expected=$WORK/gbk-expected
    if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf-\?8'; then
        fail "$name" "the locale $CHINESE_LOCALE is missing; run scripts/setup.sh"
        return
    fi
    if [ ! -f "$WORK/gbk.exe" ]; then
        mkdir -p "$folder/QqQq" "$expected/中文"
        printf 'double-byte names\r\n' >"$folder/QqQq/ZzZz.txt"
        printf 'beside them\r\n' >"$folder/plain.txt"
        touch -d '2004-02-29 12:34:56 UTC' "$folder/QqQq/ZzZz.txt" "$folder/plain.txt"
        cp -p "$folder/QqQq/ZzZz.txt" "$expected/中文/乗表.txt"
        cp -p "$folder/plain.txt" "$expected/plain.txt"
        if ! pack "$folder" "$WORK/gbk.lzh" o5 QqQq plain.txt ||
            ! $PATCH "$WORK/gbk.lzh" QqQq "$(printf '\xd6\xd0\xce\xc4')" ||
            ! $PATCH "$WORK/gbk.lzh" ZzZz "$(printf '\x81\x5c\xb1\xed')" ||
            ! make_exe "$WORK/gbk.lzh" "$WORK/gbk.exe" --title "Velkar GBK"; then
            fail "$name" "cannot make the file"
            return
        fi
    fi
    EXPECTED=$expected
    auto_start velkar-gbk "$WORK/gbk.exe" "" 0 LC_ALL=$CHINESE_LOCALE
    check "$name: double-byte names under a Chinese locale, a 0x5C trail byte kept in its name, exit 1 (${RUN_SECONDS} s)" \
        "$RUN_PROBLEMS"
}

selected=("$@")
[ ${#selected[@]} -gt 0 ] || selected=("${CASES[@]}")
for name in "${selected[@]}"; do
    if [[ " ${VERSIONS[*]} " == *" $name "* ]]; then
        case_version "$name"
    elif [[ " ${CASES[*]} " == *" $name "* ]]; then
        "case_${name//-/_}"
    else
        fail "$name" "no such case (cases: ${CASES[*]})"
    fi
done
finish
