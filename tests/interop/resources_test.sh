#!/bin/bash
# The author's icon and version information, read back by independent tools:
# wrestool (icoutils) extracts the icon group, pefile reads the version
# information and checks the PE checksum, lhasa and 7zz still find the
# archive, and a file signed with osslsigncode verifies and unpacks. Then
# the builder's refusals of bad icons and version options: each names what is
# wrong, and no file is left behind.
# usage: resources_test.sh VELKAR_BUILD VELKAR_RUN STUB
set -u
build=$(realpath "$1") run=$(realpath "$2") stub=$(realpath "$3")
# shellcheck source=tests/interop/lib.sh
. "$(dirname "$0")/lib.sh"
python=/usr/bin/python3  # Debian's, where python3-pefile lives

# Four images: 4-bit and 8-bit bitmaps, a 32-bit one and a PNG 256x256.
cd "$work" || exit 1
for size in 16 32 48 256; do
    convert -size ${size}x${size} xc:none -fill navy -draw "rectangle 0,$((size / 2)) $((size - 1)),$((size - 1))" \
        -fill gold -draw "circle $((size / 2)),$((size / 3)) $((size / 2)),$((size / 8))" "PNG32:p$size.png"
done
convert p16.png -colors 16 -type Palette p16-4bit.png
convert p32.png -background white -flatten -colors 200 -type Palette p32-8bit.png
icotool -c -o author.ico p16-4bit.png p32-8bit.png p48.png --raw=p256.png
mkdir src && printf 'hello\n' > src/hello.txt && seq 1 2000 > src/numbers.txt

exe=$work/setup.exe
"$build" -o "$exe" --stub "$stub" --icon author.ico --file-version 1.2.3.4 --product-version 1.2.0.0 \
    --company "Acme Ltd" --description "Acme Tool Setup" --product "Acme Tool" --copyright "© 2024 Acme" \
    --original-name setup.exe -C src . > build.log 2>&1 || { fail "velkar-build with --icon"; cat build.log; }

wrestool -x -t 14 "$exe" > group.ico 2> /dev/null
# wrestool writes the .ico followed by zeros; the .ico itself must be ours.
if cmp -s -n "$(stat -c %s author.ico)" group.ico author.ico && [ "$(icotool -l group.ico)" = "$(icotool -l author.ico)" ]; then
    pass "wrestool extracts the icon group: every image of the .ico, PNG included"
else
    fail "wrestool's icon group differs"; icotool -l group.ico
fi

if "$python" - "$exe" > pefile.log 2>&1 <<'EOF'
import sys
import pefile
pe = pefile.PE(sys.argv[1])
fixed = pe.VS_FIXEDFILEINFO[0]
assert (fixed.FileVersionMS, fixed.FileVersionLS) == (0x10002, 0x30004), "file version"
assert (fixed.ProductVersionMS, fixed.ProductVersionLS) == (0x10002, 0), "product version"
strings, translation = {}, None
for info in pe.FileInfo[0]:
    if info.Key == b"StringFileInfo":
        for table in info.StringTable:
            assert table.LangID == b"040904E4", table.LangID
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    if info.Key == b"VarFileInfo":
        translation = info.Var[0].entry
assert strings == {"CompanyName": "Acme Ltd", "FileDescription": "Acme Tool Setup", "FileVersion": "1.2.3.4",
                   "LegalCopyright": "\u00a9 2024 Acme", "OriginalFilename": "setup.exe",
                   "ProductName": "Acme Tool", "ProductVersion": "1.2.0.0"}, strings
assert translation == {b"Translation": "0x0409 0x04e4"}, translation
assert pe.verify_checksum(), "checksum"
EOF
then pass "pefile reads the version information and a right checksum"
else fail "pefile"; cat pefile.log; fi

"$python" -c 'import pefile, sys; pe = pefile.PE(sys.argv[1]); sys.exit(not pe.verify_checksum() or
    pe.FileInfo[0][0].StringTable[0].entries[b"ProductName"] != b"Velkar")' "$stub" &&
    pass "the bare stub carries Velkar's own version information" || fail "the stub's version information"

lhasa l "$exe" 2>&1 | grep -q "numbers.txt" && pass "lhasa lists the archive inside the .exe" || fail "lhasa l"
7zz l "$exe" 2>&1 | grep -q "numbers.txt" && pass "7zz lists the archive inside the .exe" || fail "7zz l"

"$build" --list "$exe" > list.log 2>&1
if grep -qx "  256x256 32-bit PNG" list.log && grep -qx "  16x16 4-bit" list.log &&
    grep -qx "  FileDescription     Acme Tool Setup" list.log && grep -qx "  file version        1.2.3.4" list.log; then
    pass "--list shows the icon's images and the version information"
else
    fail "--list"; cat list.log
fi

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velkar Test Signer" -keyout key.pem -out cert.pem > /dev/null 2>&1
osslsigncode sign -certs cert.pem -key key.pem -in "$exe" -out signed.exe > sign.log 2>&1 &&
    osslsigncode verify -CAfile cert.pem -in signed.exe > verify.log 2>&1 &&
    pass "osslsigncode signs the file and the signature verifies" || { fail "osslsigncode"; tail -5 sign.log verify.log; }
mkdir out
"$run" signed.exe -n out > run.log 2>&1 < /dev/null && diff -r src out > /dev/null &&
    pass "the signed file unpacks with velkar-run" || { fail "unpacking the signed file"; cat run.log; }

# Damaged icons and bad version options: refused, naming the file or option.
printf '\0\0\1\0\1\0' > no-list.ico
head -c 40 author.ico > cut.ico
printf '\0\0\1\0\0\0' > no-image.ico
cp author.ico outside.ico && printf '\377\377\377\0' | dd of=outside.ico bs=1 seek=18 conv=notrunc status=none
: > empty.ico
refused() {
    local what=$1 expected=$2
    shift 2
    rm -f refused.exe
    if "$build" -o refused.exe --stub "$stub" "$@" -C src . > refused.log 2>&1; then
        fail "$what: accepted"
    elif ! grep -qF -- "$expected" refused.log; then
        fail "$what: says $(cat refused.log)"
    elif compgen -G "refused.exe*" > /dev/null; then
        fail "$what: left a file behind"
    else
        pass "$what is refused: $(head -1 refused.log)"
    fi
}
refused "an empty .ico" "empty.ico: is empty" --icon empty.ico
refused "an .ico cut short" "cut.ico: is cut short" --icon cut.ico
refused "an .ico whose list is cut short" "no-list.ico: is cut short in its list of 1 images" --icon no-list.ico
refused "an .ico without images" "no-image.ico: holds no image" --icon no-image.ico
refused "an .ico pointing outside itself" "outside.ico: image 1 lies outside the file" --icon outside.ico
refused "a missing .ico" "missing.ico: cannot be read" --icon missing.ico
refused "a five-part version" "--file-version 1.2.3.4.5: not four numbers" --file-version 1.2.3.4.5
refused "a version part over 65535" "--product-version 1.65536.0.0: not four numbers" --product-version 1.65536.0.0
refused "a text too long" "FileDescription text is too long" --description "$(head -c 40000 /dev/zero | tr '\0' d)"

finish
