#!/usr/bin/env bash
# The main job on the bundled sample: packs samples/files into a level-2
# archive, makes a self-extracting file of it with velkar-build and starts it
# under Wine with auto-start into build/demo/out, then lists what came out;
# velkar-run unpacks the same file on Linux into build/demo/out-host.
# Set VELKAR_WINE_DISPLAY=:0 (or another display) to watch the dialog show
# the progress and close by itself.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh >/dev/null

demo=$PWD/build/demo
rm -rf "$demo"
mkdir -p "$demo/out"
(cd samples/files && jlha a2o5q "$demo/sample.lzh" readme.txt docs >/dev/null)
build/host/tools/velkar-build -o "$demo/sample.exe" --stub build/windows/velkar.exe \
    --title "Velkar Sample" --auto-start --archive "$demo/sample.lzh"
echo "made $demo/sample.exe ($(stat -c %s "$demo/sample.exe") bytes)"

. tests/wine/lib.sh
wine_setup
wine_new_prefix demo
# Wine's drive Z: is the root of this file system.
target="Z:$(printf '%s' "$demo/out" | tr / '\\')"
wine_start "$demo/sample.exe" -n "$target"
wine_wait_exit 120
echo "velkar ended with exit status $WINE_STATUS"
echo "unpacked into $demo/out:"
(cd "$demo/out" && find . -mindepth 1 -printf '  %p  %s bytes  %TY-%Tm-%Td %TH:%TM\n' | sort)

mkdir -p "$demo/out-host"
echo "velkar-run unpacks the same file on Linux into $demo/out-host:"
set +e
build/host/tools/velkar-run "$demo/sample.exe" -n "$demo/out-host" < /dev/null
echo "velkar-run ended with exit status $?"
