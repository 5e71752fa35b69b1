#!/usr/bin/env bash
# The main job on the bundled sample: velkar-build packs samples/files into a
# self-extracting file in one command, which starts under Wine with
# auto-start into build/demo/out; then it lists what came out, and
# velkar-run unpacks the same file on Linux into build/demo/out-host.
# Where this machine cannot run 32-bit programs, Wine runs in the emulated
# x86 guest (the first time, making it takes about eight minutes).
# Set VELKAR_WINE_DISPLAY=:0 (or another display) to watch the dialog show
# the progress and close by itself.
set -euo pipefail
cd "$(dirname "$0")/.."
demo=$PWD/build/demo
scripts/make_sample.sh "$demo" --auto-start
echo "made $demo/sample.exe ($(stat -c %s "$demo/sample.exe") bytes)"

eval "$(bash -c '. tests/wine/lib.sh; wine_route >&2; declare -p VELKAR_WINE_ROUTE VELKAR_WINE_REASON')"
case $VELKAR_WINE_ROUTE in
native)
    scripts/wine_unpack.sh "$demo/sample.exe" "$demo/out"
    ;;
vm)
    echo "running it in the emulated x86 guest"
    started=$SECONDS
    guest=$demo/guest
    mkdir -p "$guest"
    echo 'scripts/wine_unpack.sh build/demo/sample.exe /results/out' >"$guest/unpack.sh"
    scripts/vm/run.sh --job "$guest/unpack.sh" "$guest" || true
    sed "s|/results/out|$demo/out|" "$guest/job.log"
    mv "$guest/out" "$demo/out" 2>/dev/null || true
    rm -rf "$guest"
    echo "the guest took $((SECONDS - started)) s, its boot (and the first time, its set-up) included"
    ;;
*)
    echo "skipping the run under Wine: $VELKAR_WINE_REASON"
    ;;
esac

mkdir -p "$demo/out-host"
echo "velkar-run unpacks the same file on Linux into $demo/out-host:"
set +e
build/host/tools/velkar-run "$demo/sample.exe" -n "$demo/out-host" < /dev/null
echo "velkar-run ended with exit status $?"
