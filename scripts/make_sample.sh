#!/usr/bin/env bash
# make_sample.sh DIR [VELKAR-BUILD OPTIONS...]: builds what is needed and makes
# DIR/sample.exe, a self-extracting file of samples/files packed by
# velkar-build itself and captioned "Velkar Sample", with the options given.
# DIR is emptied first.
set -euo pipefail
dir=$1
shift
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh >/dev/null
rm -rf "$dir"
mkdir -p "$dir"
build/host/tools/velkar-build -o "$dir/sample.exe" --stub build/windows/velkar.exe \
    --title "Velkar Sample" "$@" -C samples/files readme.txt docs
