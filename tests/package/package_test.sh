#!/bin/bash
# What scripts/package.sh made: the Debian package's contents and lintian's
# verdict; the package installed into a throwaway root with dpkg, which packs
# a folder from an empty directory and unpacks it again, then is purged
# without a trace; the Windows zip; and one version in all of them, the
# stub's version information included.
# usage: package_test.sh DIST_DIR WINDOWS_BUILD_DIR SAMPLE_FOLDER
set -u
dist=$(realpath "$1") windows=$(realpath "$2") samples=$(realpath "$3")
python=/usr/bin/python3  # Debian's, where python3-pefile lives
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
check() {
    local what=$1
    shift
    if "$@" > "$work/check.log" 2>&1; then
        echo "ok   $what"
    else
        echo "FAIL $what"; cat "$work/check.log"; status=1
    fi
}

debs=("$dist"/velkar_*.deb)
zips=("$dist"/velkar-*-win32.zip)
if [ ${#debs[@]} != 1 ] || [ ! -f "${debs[0]}" ] || [ ${#zips[@]} != 1 ] || [ ! -f "${zips[0]}" ]; then
    echo "FAIL $dist holds no single package and zip: run scripts/package.sh"; exit 1
fi
deb=${debs[0]} zip=${zips[0]}
version=$(dpkg-deb -f "$deb" Version)

dpkg-deb -c "$deb" | awk '{print $1, $6, $7, $8}' | sed 's/ *$//' | sort > "$work/contents"
sort > "$work/expected" <<EOF_CONTENTS
drwxr-xr-x ./usr/
drwxr-xr-x ./usr/bin/
-rwxr-xr-x ./usr/bin/velkar-build
-rwxr-xr-x ./usr/bin/velkar-run
drwxr-xr-x ./usr/share/
drwxr-xr-x ./usr/share/bash-completion/
drwxr-xr-x ./usr/share/bash-completion/completions/
-rw-r--r-- ./usr/share/bash-completion/completions/velkar-build
lrwxrwxrwx ./usr/share/bash-completion/completions/velkar-run -> velkar-build
drwxr-xr-x ./usr/share/doc/
drwxr-xr-x ./usr/share/doc/velkar/
-rw-r--r-- ./usr/share/doc/velkar/README.md
-rw-r--r-- ./usr/share/doc/velkar/changelog.gz
-rw-r--r-- ./usr/share/doc/velkar/copyright
drwxr-xr-x ./usr/share/lintian/
drwxr-xr-x ./usr/share/lintian/overrides/
-rw-r--r-- ./usr/share/lintian/overrides/velkar
drwxr-xr-x ./usr/share/man/
drwxr-xr-x ./usr/share/man/man1/
-rw-r--r-- ./usr/share/man/man1/velkar-build.1.gz
-rw-r--r-- ./usr/share/man/man1/velkar-run.1.gz
drwxr-xr-x ./usr/share/man/man5/
-rw-r--r-- ./usr/share/man/man5/velkar-script.5.gz
drwxr-xr-x ./usr/share/velkar/
-rw-r--r-- ./usr/share/velkar/velkar-build.exe
-rw-r--r-- ./usr/share/velkar/velkar.exe
EOF_CONTENTS
check "the package holds the tools, the stub, the Windows builder, the pages, the completion and the docs" \
    diff "$work/expected" "$work/contents"

lintian --fail-on error "$deb" > "$work/lintian.log" 2>&1
lintian_status=$?
sed '/running with root privileges/d' "$work/lintian.log"
check "lintian reports no error" test $lintian_status = 0

# A root of its own: dpkg keeps its database there, and needs no root
# privileges for it.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
# Every file but the locks, triggers and backups that dpkg keeps for itself.
files_in_root() {
    find "$root" | sed "s|^$root||" | grep -vE '^/var/lib/dpkg/(lock.*|(info/)?format|triggers.*|[a-z]+-old)$' | sort
}
files_in_root > "$work/before"
dpkg_in_root() {
    local force=depends
    [ "$(id -u)" = 0 ] || force+=,not-root
    dpkg --root="$root" --log=/dev/null --force-"$force" "$@"
}
check "dpkg installs the package into a throwaway root" dpkg_in_root -i "$deb"

mkdir "$work/empty"
pack_and_unpack() {
    cd "$work/empty" &&
        env -u VELKAR_STUB "$root/usr/bin/velkar-build" -o "$work/sample.exe" -C "$samples" . &&
        "$root/usr/bin/velkar-run" --ok "$work/sample.exe" -n "$work/out" < /dev/null &&
        diff -r "$samples" "$work/out" &&
        [ -z "$(ls -A "$work/empty")" ]
}
check "the installed velkar-build packs a folder from an empty directory, the installed velkar-run unpacks it" \
    pack_and_unpack
check "the installed tools, the zip and the stub's version information say version $version" \
    "$python" - "$root" "$version" "$zip" << 'EOF_VERSIONS'
import subprocess, sys, zipfile, pefile
root, version, zip_path = sys.argv[1:]
for tool in ("velkar-build", "velkar-run"):
    said = subprocess.run([root + "/usr/bin/" + tool, "--version"], capture_output=True, text=True).stdout
    assert said == tool + " " + version + "\n", said
assert zip_path.endswith("/velkar-%s-win32.zip" % version), zip_path
pe = pefile.PE(root + "/usr/share/velkar/velkar.exe")
fixed = pe.VS_FIXEDFILEINFO[0]
numbers = [fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF]
assert numbers == [int(n) for n in version.split(".")] + [0], numbers
texts = {k.decode(): v.decode() for i in pe.FileInfo[0] if i.Key == b"StringFileInfo" for t in i.StringTable for k, v in t.entries.items()}
assert texts["FileVersion"] == texts["ProductVersion"] == version + ".0", texts
EOF_VERSIONS
same_programs() {
    cmp "$root/usr/share/velkar/velkar.exe" "$windows/velkar.exe" &&
        cmp "$root/usr/share/velkar/velkar-build.exe" "$windows/velkar-build.exe"
}
check "the package's stub and Windows builder are the windows build's, byte for byte" same_programs

check "dpkg purges the package" dpkg_in_root --purge velkar
files_in_root > "$work/after"
check "nothing of the package is left in the root" diff "$work/before" "$work/after"

check "the zip holds velkar-build.exe, velkar.exe and README.txt with Windows line ends" \
    "$python" - "$zip" "$windows" << 'EOF_ZIP'
import sys, zipfile
zip_path, windows = sys.argv[1:]
folder = zip_path.rsplit("/", 1)[1][:-len(".zip")] + "/"
with zipfile.ZipFile(zip_path) as z:
    names = sorted(z.namelist())
    assert names == [folder + n for n in ("README.txt", "velkar-build.exe", "velkar.exe")], names
    for program in ("velkar-build.exe", "velkar.exe"):
        assert z.read(folder + program) == open(windows + "/" + program, "rb").read(), program
    readme = z.read(folder + "README.txt")
assert readme.count(b"\n") > 100 and readme.count(b"\r\n") == readme.count(b"\n") == readme.count(b"\r"), "line ends"
assert readme.startswith(b"# Velkar\r\n")
EOF_ZIP
exit $status
