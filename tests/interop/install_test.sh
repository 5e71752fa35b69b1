#!/bin/bash
# cmake --install puts velkar-build, velkar-run and velkar.exe where each
# finds the others: from any folder, one command packs a folder into a
# self-extracting file and velkar-run unpacks it.
# usage: install_test.sh HOST_BUILD_DIR SAMPLE_FOLDER
set -u
build_dir=$1 samples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
cmake --install "$build_dir" --prefix "$work/prefix" > "$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
for file in bin/velkar-build bin/velkar-run share/velkar/velkar.exe share/velkar/velkar-build.exe \
    share/man/man1/velkar-build.1.gz share/man/man1/velkar-run.1.gz share/man/man5/velkar-script.5.gz \
    share/bash-completion/completions/velkar-build share/bash-completion/completions/velkar-run; do
    [ -f "$work/prefix/$file" ] && echo "ok   installed $file" || { echo "FAIL $file missing"; status=1; }
done
mkdir "$work/elsewhere"
cd "$work/elsewhere"
env -u VELKAR_STUB "$work/prefix/bin/velkar-build" -o setup.exe -C "$samples" . > build.log 2>&1
built=$?
"$work/prefix/bin/velkar-run" setup.exe -n "$work/out" > run.log 2>&1 < /dev/null
ran=$?
if [ $built = 0 ] && [ $ran = 0 ] && diff -r "$samples" "$work/out" > /dev/null; then
    echo "ok   the installed tools pack a folder in one command and unpack it"
else
    echo "FAIL the installed tools"; cat build.log run.log; status=1
fi
exit $status
