#!/bin/bash
# The bash completion of both tools offers what they take: every option of
# --help and no other, the code pages and methods they accept, and the files
# each option reads.
# usage: completion_test.sh VELKAR_BUILD VELKAR_RUN COMPLETION_FILE
set -u
build=$1 run=$2 completion=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$completion"
status=0

# complete TOOL WORD...: what TAB offers for the last word, sorted, one line.
complete_words() {
    local tool=$1
    shift
    COMP_WORDS=("$tool" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    "_${tool//-/_}" 2> /dev/null
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' '
}

options_of() { "$1" --help | grep -oE '(^|[^[:alnum:]-])--?[[:alpha:]][[:alnum:]-]*' | sed 's/^[^-]*//' | sort -u; }
build_options=$(options_of "$build" | tr '\n' ' ')
code_pages=$("$build" --help | sed -n '/^Code pages:/,$p' | grep -oE '[0-9]{3,4}' | sort | tr '\n' ' ')
run_pages=$("$run" --help | sed -n '/^Code pages:/,$p' | grep -oE '[0-9]{3,4}' | sort | tr '\n' ' ')
# velkar-run's "--answer=LETTERS" is offered as "--answer=" and "--" ends its
# options; -n and -c belong to the file's own command line, behind FILE.exe.
run_options=$( (options_of "$run" | grep -vxE -- '-[nc]-?' | sed 's/^--answer$/--answer=/'; echo --) | sort | tr '\n' ' ')

cd "$work" || exit 1
mkdir sub
touch a.exe B.EXE c.ico d.lzh e.LHA f.txt

while IFS='|' read -r expected tool words; do
    read -ra args <<< "$words"
    [[ $words == *"''" ]] && args[${#args[@]} - 1]=
    got=$(complete_words "$tool" "${args[@]}")
    if [ "$got" = "$expected" ]; then
        echo "ok   $tool $words"
    else
        echo "FAIL $tool $words: offered '$got', expected '$expected'"; status=1
    fi
done <<EOF_TABLE
$build_options|velkar-build|-
$code_pages|velkar-build|--codepage ''
lh0 lh5 lh6 lh7 |velkar-build|--method ''
B.EXE a.exe sub |velkar-build|-o ''
B.EXE a.exe sub |velkar-build|--test ''
d.lzh e.LHA sub |velkar-build|-o x.exe --archive ''
c.ico sub |velkar-build|--icon ''
sub |velkar-build|-C ''
B.EXE a.exe c.ico d.lzh e.LHA f.txt sub |velkar-build|-o x.exe ''
|velkar-build|--title ''
$run_options|velkar-run|-
$run_pages|velkar-run|--codepage ''
$run_pages|velkar-run|--codepage = ''
B.EXE a.exe sub |velkar-run|--ok ''
B.EXE a.exe sub |velkar-run|--codepage 932 ''
sub |velkar-run|--ok a.exe ''
-c -c- -n -n- |velkar-run|a.exe -
sub |velkar-run|-- -x.exe ''
|velkar-run|--answer = ''
EOF_TABLE
[ "$code_pages" = "$run_pages" ] || { echo "FAIL the tools take different code pages: $code_pages / $run_pages"; status=1; }
exit $status
