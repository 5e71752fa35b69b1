#!/usr/bin/env bash
# Makes what users install, into build/dist: the Debian package
# velkar_VERSION_ARCH.deb (the tools built optimised, the stub and the
# Windows builder, manual pages, bash completion) and the Windows zip
# velkar-VERSION-win32.zip. The version is project()'s in CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --preset package >/dev/null
cmake --build --preset package
mkdir -p build/dist
rm -f build/dist/velkar_*.deb build/dist/velkar-*.zip
cpack --config build/package/CPackConfig.cmake -B build/dist
cpack --config build/windows/CPackConfig.cmake -B build/dist
