#!/bin/bash
# Every option that a tool's --help prints is in its manual page, every
# keyword the installer script's reader knows is in velkar-script(5), and
# groff renders every page without a warning.
# usage: man_test.sh VELKAR_BUILD VELKAR_RUN MAN_DIR INSTALLER_SCRIPT_SOURCE
set -u
man_dir=$3 script_source=$4
status=0
for page in "$man_dir"/*.[1-9]; do
    warnings=$(groff -man -ww -z "$page" 2>&1)
    if [ -z "$warnings" ]; then
        echo "ok   $(basename "$page") renders without a warning"
    else
        echo "FAIL $(basename "$page"): groff warns:"; echo "$warnings"; status=1
    fi
done
# Options as words: "-o" must not be found inside "--ok". Wide lines keep
# groff from breaking an option at its hyphen.
word='(^|[^[:alnum:]-])'
for tool in "$1" "$2"; do
    name=$(basename "$tool")
    text=$(groff -man -Tascii -P-cbou -rLL=1000n "$man_dir/$name.1" 2>/dev/null)
    options=$("$tool" --help | grep -oE "$word--?[[:alpha:]][[:alnum:]-]*" | sed 's/^[^-]*//' | sort -u)
    missing=
    for option in $options; do
        grep -qE -- "$word$option(\$|[^[:alnum:]-])" <<< "$text" || missing+=" $option"
    done
    if [ -z "$options" ] || [ -n "$missing" ]; then
        echo "FAIL $name(1) lacks options of --help:${missing:- (--help printed none)}"; status=1
    else
        echo "ok   $name(1) has all $(wc -w <<< "$options") options of --help"
    fi
done
text=$(groff -man -Tascii -P-cbou -rLL=1000n "$man_dir/velkar-script.5" 2>/dev/null)
keywords=$(grep -oE '"\$[A-Za-z]+="' "$script_source" | tr -d '"')
missing=
for keyword in $keywords; do
    grep -qF -- "$keyword" <<< "$text" || missing+=" $keyword"
done
if [ -z "$keywords" ] || [ -n "$missing" ]; then
    echo "FAIL velkar-script(5) lacks keywords:${missing:- (none found in $script_source)}"; status=1
else
    echo "ok   velkar-script(5) has all $(wc -w <<< "$keywords") keywords"
fi
exit $status
