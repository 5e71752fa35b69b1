#!/usr/bin/env bash
# Installs what building and testing Velkar needs on Debian 12: the host and
# MinGW compilers, 32-bit Wine with Xvfb and xdotool, the independent LZH
# archivers used as test oracles, what makes and checks the Debian package
# (dpkg-shlibdeps, lintian, groff for the manual pages), the man pages of the
# benchmark's real files and gnuplot for its chart, and qemu with debootstrap
# for the emulated x86 guest that runs the Wine tests where this machine
# cannot run 32-bit code. Quick and quiet when all is present.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    g++ cmake make googletest libgtest-dev clang clang-format
    g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
    imagemagick lhasa jlha-utils 7zip libarchive-tools bc time libxml2-utils locales osslsigncode openssl
    icoutils python3-pefile lintian dpkg-dev groff-base
    manpages manpages-dev gnuplot-nox
)
# Without these the Wine tests take the emulated route or, lacking that
# too, skip: a machine that cannot have them still builds and runs the host
# tests.
wine_packages=(wine wine32:i386 xvfb xdotool x11-utils)
guest_packages=(qemu-system-x86 qemu-utils debootstrap e2fsprogs)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing_of() {
    local package status
    for package in "$@"; do
        status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
        [ "$status" = installed ] || echo "$package"
    done
}

# install required|optional [APT-OPTION...] -- PACKAGE...
updated=
install() {
    local need=$1 options=()
    shift
    while [ "$1" != -- ]; do options+=("$1"); shift; done
    shift
    local missing
    mapfile -t missing < <(missing_of "$@")
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "setup: installing ${missing[*]}"
    if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        as_root dpkg --add-architecture i386
        updated=
    fi
    if [ -z "$updated" ]; then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
        updated=yes
    fi
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${options[@]}" "${missing[@]}" ||
        [ "$need" = optional ]
}

install required -- "${packages[@]}"
install optional -- "${wine_packages[@]}"
# qemu's recommends (firmware, a GUI) are of no use here.
install optional --no-install-recommends -- "${guest_packages[@]}"

# Wine makes Unix file names of double-byte ones through the locale, which
# must exist: a Wine test unpacks Chinese names under zh_CN.UTF-8.
for wanted in $(sed '/^#/d' scripts/locales.txt); do
    locale -a 2>/dev/null | grep -qix "${wanted%%.*}.utf-\?8" && continue
    echo "setup: generating the locale $wanted"
    as_root sed -i "s/^# *\($wanted UTF-8\)\$/\1/" /etc/locale.gen
    as_root locale-gen >/dev/null
done
