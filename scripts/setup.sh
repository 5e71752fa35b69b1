#!/usr/bin/env bash
# Installs what building and testing Velkar needs on Debian 12: the host and
# MinGW compilers, 32-bit Wine with Xvfb and xdotool, and the independent LZH
# archivers used as test oracles. Quick and quiet when all is present.
set -euo pipefail

packages=(
    g++ cmake make googletest libgtest-dev clang
    g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
    wine wine32:i386 xvfb xdotool x11-utils imagemagick
    lhasa jlha-utils 7zip libarchive-tools bc time
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
fi
as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
