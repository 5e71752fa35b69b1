#!/usr/bin/env bash
# Installs what building and testing Velkar needs on Debian 12: the host and
# MinGW compilers, 32-bit Wine with Xvfb and xdotool, and the independent LZH
# archivers used as test oracles. Quick and quiet when all is present.
set -euo pipefail

packages=(
    g++ cmake make googletest libgtest-dev clang
    g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
    wine wine32:i386 xvfb xdotool x11-utils imagemagick
    lhasa jlha-utils 7zip libarchive-tools bc time libxml2-utils locales osslsigncode openssl icoutils python3-pefile
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
    fi
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

# Wine makes Unix file names of double-byte ones through the locale, which
# must exist: a Wine test unpacks Chinese names under zh_CN.UTF-8.
locales=(zh_CN.UTF-8)
for wanted in "${locales[@]}"; do
    locale -a 2>/dev/null | grep -qix "${wanted%%.*}.utf-\?8" && continue
    echo "setup: generating the locale $wanted"
    as_root sed -i "s/^# *\($wanted UTF-8\)\$/\1/" /etc/locale.gen
    as_root locale-gen >/dev/null
done
