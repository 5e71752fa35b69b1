#!/usr/bin/env bash
# image.sh: makes the emulated x86 guest's disk once and prints the folder
# that holds it (rootfs.img, vmlinuz, initrd.img). The guest is Debian 12
# amd64 with i386 multiarch and 32-bit Wine, the packages of packages.txt
# and the locales of ../locales.txt; it boots straight into guest_init.sh.
#
# The image lives outside the work tree, under $VELKAR_VM_CACHE (default
# /var/tmp/velkar-vm-UID), in a folder named by a hash of packages.txt,
# ../locales.txt, guest_init.sh and the version below: a change to any of
# them builds a new one and removes the old. Raise the version whenever a
# change here changes what the image holds. Building needs root (debootstrap
# and chroot), Debian's packages and about 4 GB of disk; it takes about five
# minutes.
#
# image.sh --ready prints the folder and succeeds only when the image is
# already there, building nothing.
#
# The Wine prefix template is not made here: Wine cannot run in a chroot on
# a machine without 32-bit execution, so run.sh makes it inside the guest.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root_dir=$(cd "$here/../.." && pwd)

image_version=1
cache=${VELKAR_VM_CACHE:-/var/tmp/velkar-vm-$(id -u)}
key=$({ cat "$here/packages.txt" "$root_dir/scripts/locales.txt" "$here/guest_init.sh"; echo "$image_version"; } |
    sha256sum | cut -c1-16)
image_dir=$cache/image-$key
if [ -f "$image_dir/ready" ]; then
    echo "$image_dir"
    exit 0
fi
# --ready: only tells whether the image is there.
[ "${1:-}" != --ready ] || exit 1
# The caller reads the folder from standard output, so that is all that
# goes there; what the tools say while building (mkfs.ext4 names the file it
# creates even with -q) goes to standard error.
exec 3>&1 >&2

say() { echo "vm image: $*" >&2; }
die() { say "$*"; exit 1; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo -n "$@"; fi
}

# The mirror is the one this machine's own apt uses for bookworm.
mirror() {
    if [ -n "${VELKAR_VM_MIRROR:-}" ]; then
        echo "$VELKAR_VM_MIRROR"
        return
    fi
    apt-get indextargets --format '$(SITE) $(RELEASE) $(COMPONENT)' 2>/dev/null |
        awk '$2 == "bookworm" && $3 == "main" { print $1; exit }'
}

mkdir -p "$cache"
exec 9>"$cache/image.lock"
flock 9
[ -f "$image_dir/ready" ] && { echo "$image_dir" >&3; exit 0; }

site=$(mirror)
[ -n "$site" ] || die "no Debian 12 package source in this machine's apt configuration (set VELKAR_VM_MIRROR)"
free_kb=$(df -Pk "$cache" | awk 'NR == 2 { print $4 }')
[ "$free_kb" -ge $((6 * 1024 * 1024)) ] || die "needs 6 GB free under $cache, $((free_kb / 1024)) MB there"

started=$(date +%s)
say "building the guest's disk under $image_dir (once: about four minutes)"
# Images of other versions of the package list or scripts are of no use.
# Never across a file system: a build cut short can leave /dev bound inside.
as_root rm -rf --one-file-system "$cache"/image-*
build=$image_dir/build
rootfs=$build/rootfs
mkdir -p "$build"

mapfile -t wanted < <(sed -e 's/#.*//' -e '/^ *$/d' "$here/packages.txt")
native=()
foreign=()
for package in "${wanted[@]}"; do
    if [[ $package == *:i386 ]]; then foreign+=("$package"); else native+=("$package"); fi
done

as_root debootstrap --variant=minbase --arch=amd64 --components=main bookworm "$rootfs" "$site" \
    >"$build/debootstrap.log" 2>&1 || { tail -5 "$build/debootstrap.log" >&2; die "debootstrap failed"; }

mounted=()
cleanup() {
    local point
    for point in "${mounted[@]}"; do as_root umount -l "$point" 2>/dev/null || true; done
}
trap cleanup EXIT
for point in proc sys dev dev/pts; do
    as_root mount --bind "/$point" "$rootfs/$point"
    mounted=("$rootfs/$point" "${mounted[@]}")
done
in_root() { as_root chroot "$rootfs" env DEBIAN_FRONTEND=noninteractive LC_ALL=C "$@"; }

# The same sources as this machine, so the guest gets the same package
# versions (the sanitized host tools need its compiler's runtime).
# debootstrap's own line for the same mirror would list it twice.
as_root rm -f "$rootfs/etc/apt/sources.list"
as_root cp /etc/apt/sources.list "$rootfs/etc/apt/" 2>/dev/null || true
for source in /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; do
    if [ -f "$source" ]; then as_root cp "$source" "$rootfs/etc/apt/sources.list.d/"; fi
done
[ -n "$(ls "$rootfs/etc/apt/sources.list.d/")" ] || [ -s "$rootfs/etc/apt/sources.list" ] ||
    as_root sh -c "echo 'deb $site bookworm main' > '$rootfs/etc/apt/sources.list'"
# No service may start inside the chroot.
as_root sh -c "printf '#!/bin/sh\nexit 101\n' > '$rootfs/usr/sbin/policy-rc.d' && chmod +x '$rootfs/usr/sbin/policy-rc.d'"
in_root dpkg --add-architecture i386
{
    in_root apt-get update -q &&
        in_root apt-get install -y -q --no-install-recommends "${native[@]}" "${foreign[@]}"
} >"$build/packages.log" 2>&1 || { tail -20 "$build/packages.log" >&2; die "installing the guest's packages failed"; }

for locale in $(sed '/^#/d' "$root_dir/scripts/locales.txt"); do
    as_root sed -i "s/^# *\($locale UTF-8\)\$/\1/" "$rootfs/etc/locale.gen"
done
in_root locale-gen >/dev/null

as_root install -m 755 "$here/guest_init.sh" "$rootfs/sbin/velkar-init"
as_root sh -c "echo velkar-guest > '$rootfs/etc/hostname'"
as_root rm -f "$rootfs/usr/sbin/policy-rc.d"
in_root apt-get clean
as_root rm -rf "$rootfs"/var/lib/apt/lists/* "$rootfs"/usr/share/doc/* "$rootfs"/usr/share/man/*
cleanup
mounted=()
# Lazy unmounts take effect at once; what is still mounted must not be
# removed with the tree below.
! findmnt -rno TARGET | grep -q "^$rootfs/" || die "file systems still mounted under $rootfs"

kernel=$(ls "$rootfs"/boot/vmlinuz-* | tail -1)
initrd=$(ls "$rootfs"/boot/initrd.img-* | tail -1)
as_root cp "$kernel" "$image_dir/vmlinuz"
as_root cp "$initrd" "$image_dir/initrd.img"
as_root chmod 644 "$image_dir/vmlinuz" "$image_dir/initrd.img"
# Sparse: each Wine prefix in the guest is about 590 MB, and the snapshot of
# every run grows only by what it writes.
as_root mkfs.ext4 -q -L velkar -d "$rootfs" "$image_dir/rootfs.img" 10G ||
    die "mkfs.ext4 -d failed"
as_root rm -rf --one-file-system "$build"
as_root touch "$image_dir/ready"
say "built in $(($(date +%s) - started)) s; $(du -sh --apparent-size "$image_dir/rootfs.img" | cut -f1) image, $(du -sh "$image_dir" | cut -f1) on disk"
echo "$image_dir" >&3
