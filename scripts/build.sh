#!/usr/bin/env bash
# Builds velkar.exe (build/windows) and the host tools and tests (build/host).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --preset host >/dev/null
cmake --build --preset host
