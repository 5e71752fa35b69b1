#!/usr/bin/env bash
# Runs every test: installs what is missing, builds both targets, runs the
# host tests (sanitized), makes and checks the Debian package and the Windows
# zip, runs the Wine tests, and prints each phase's time.
# The Wine tests run here where this machine runs 32-bit Windows programs,
# else in the emulated x86 guest (scripts/vm/); VELKAR_WINE=vm or
# VELKAR_WINE=native forces a route. Where Wine runs here, one short case
# still goes through the guest so that route keeps working.
set -euo pipefail
cd "$(dirname "$0")/.."

# phase NAME COMMAND...: runs it and says how long it took.
phase() {
    local name=$1 started=$SECONDS status=0
    shift
    "$@" || status=$?
    echo "phase: $name took $((SECONDS - started)) s"
    return $status
}

# Every Wine script runs, even after one has failed.
each_wine_test() {
    local test status=0
    for test in tests/wine/*_test.sh; do
        bash "$test" || status=1
    done
    return $status
}

phase set-up scripts/setup.sh
phase build scripts/build.sh
phase "host tests" ctest --preset host -j2
phase package scripts/package.sh
phase "package test" bash tests/package/package_test.sh build/dist build/windows samples/files

eval "$(bash -c '. tests/wine/lib.sh; wine_route >&2; declare -p VELKAR_WINE_ROUTE VELKAR_WINE_REASON')"
export VELKAR_WINE_ROUTE VELKAR_WINE_REASON
status=0
case $VELKAR_WINE_ROUTE in
native)
    phase "Wine tests" each_wine_test || status=1
    phase "emulated route check" bash tests/vm/route_test.sh || status=1
    ;;
vm)
    phase "Wine tests in the emulated guest" scripts/vm/run.sh --each tests/wine/*_test.sh || status=1
    ;;
*)
    # Each script says why it skips; the host tests decide.
    each_wine_test || status=1
    ;;
esac
exit $status
