#!/usr/bin/env bash
# The main job on the bundled sample: velkar-build packs samples/files into a
# self-extracting file in one command, which starts under Wine with
# auto-start into build/demo/out; then it lists what came out, and
# velkar-run unpacks the same file on Linux into build/demo/out-host.
# Set VELKAR_WINE_DISPLAY=:0 (or another display) to watch the dialog show
# the progress and close by itself.
set -euo pipefail
cd "$(dirname "$0")/.."
demo=$PWD/build/demo
scripts/make_sample.sh "$demo" --auto-start
mkdir -p "$demo/out"
echo "made $demo/sample.exe ($(stat -c %s "$demo/sample.exe") bytes)"

. tests/wine/lib.sh
wine_setup
wine_new_prefix demo
wine_start "$demo/sample.exe" -n "$(windows_path "$demo/out")"
wine_wait_exit 120
echo "velkar ended with exit status $WINE_STATUS"
echo "unpacked into $demo/out:"
(cd "$demo/out" && find . -mindepth 1 -printf '  %p  %s bytes  %TY-%Tm-%Td %TH:%TM\n' | sort)

mkdir -p "$demo/out-host"
echo "velkar-run unpacks the same file on Linux into $demo/out-host:"
set +e
build/host/tools/velkar-run "$demo/sample.exe" -n "$demo/out-host" < /dev/null
echo "velkar-run ended with exit status $?"
