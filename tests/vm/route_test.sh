#!/usr/bin/env bash
# Keeps the emulated x86 guest working on machines that do not need it: the
# guest's image and Wine prefix template (made once and kept), one boot, the
# bundled sample auto-started under Wine in it, and every unpacked file
# compared with its original byte for byte.
set -uo pipefail
cd "$(dirname "$0")/../.."
if ! why=$(scripts/vm/run.sh --check); then
    echo "SKIP emulated route: $why"
    echo "0 passed, 0 failed"
    exit 0
fi
work=$PWD/build/vm-route
scripts/make_sample.sh "$work" --auto-start >/dev/null || { echo "FAIL emulated route: cannot make the sample"; exit 1; }
echo 'scripts/wine_unpack.sh build/vm-route/sample.exe /results/out' >"$work/job"
started=$SECONDS
scripts/vm/run.sh --job "$work/job" "$work/guest"
status=$?
took=$((SECONDS - started))
problems=$(
    [ "$status" = 0 ] || { echo "the guest's job ended with $status:"; tail -5 "$work/guest/job.log"; }
    grep -q 'exit status 1$' "$work/guest/job.log" || echo "velkar did not end with status 1 in the guest"
    diff -r samples/files/docs "$work/guest/out/docs" 2>&1
    cmp samples/files/readme.txt "$work/guest/out/readme.txt" 2>&1
)
if [ -z "$problems" ]; then
    echo "PASS emulated route: the sample unpacked in the guest, every byte as packed ($took s)"
    echo "1 passed, 0 failed"
else
    echo "FAIL emulated route: $(printf '%s' "$problems" | tr '\n' ';')"
    echo "0 passed, 1 failed"
    exit 1
fi
