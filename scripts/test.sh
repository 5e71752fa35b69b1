#!/usr/bin/env bash
# Runs every test: installs what is missing, builds both targets, runs the
# host tests (sanitized) and the Wine tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
ctest --preset host -j2
# Every Wine script runs, even after one has failed.
status=0
for test in tests/wine/*_test.sh; do
    bash "$test" || status=1
done
exit $status
