#!/bin/bash
# A self-extracting file that velkar-build packs from a directory tree, run
# under Wine: nested and empty directories, a read-only file and odd-second
# times come out with the right bytes, times to the second and attributes.
# Then the same file signed with Authenticode (osslsigncode, a test
# certificate made here): it verifies, passes the tamper check and unpacks
# under Wine and with velkar-run.
set -u
# shellcheck source=tests/wine/lib.sh
. "$(dirname "$0")/lib.sh"
VELKAR_RUNNER=$(dirname "$VELKAR_BUILDER")/velkar-run

wine_require "$VELKAR_EXE" "$VELKAR_BUILDER" "$VELKAR_RUNNER" "$(command -v osslsigncode || echo osslsigncode)" || exit
wine_setup || exit 1

wine_new_prefix tree
src=$WINE_RUN/src
mkdir -p "$src/top/middle/bottom" "$src/empty/inner empty" "$src/other"
seq 1 30000 > "$src/top/numbers.txt"
head -c 100000 "$VELKAR_EXE" > "$src/top/middle/bottom/program.bin"
printf 'read me, do not change me\n' > "$src/other/read-only.txt"
printf 'x' > "$src/one byte"
chmod a-w "$src/other/read-only.txt"
touch -d '2003-04-05 06:07:09 UTC' "$src/top/numbers.txt"
touch -d '1999-12-31 23:59:59 UTC' "$src/other/read-only.txt"
touch -d '2020-02-29 12:00:01 UTC' "$src/top/middle/bottom/program.bin"
exe=$WINE_RUN/tree.exe
"$VELKAR_BUILDER" -o "$exe" --stub "$VELKAR_EXE" --title "Velkar Tree" --auto-start --restore-attributes \
    --tamper --method lh7 -C "$src" . > "$WINE_RUN/build.log" 2>&1 || { fail "velkar-build" "$(cat "$WINE_RUN/build.log")"; finish; exit; }

# check_tree NAME OUT: bytes, directories, times and the read-only file.
check_tree() {
    local name=$1 out=$2 bad=
    diff -r "$src" "$out" > "$WINE_RUN/diff" 2>&1 || bad+=" bytes or directories ($(head -3 "$WINE_RUN/diff"))"
    local file rel
    while IFS= read -r -d '' file; do
        rel=${file#"$src"/}
        [ "$(stat -c %Y "$file")" = "$(stat -c %Y "$out/$rel" 2>/dev/null)" ] || bad+=" time of $rel"
    done < <(find "$src" -type f -print0)
    case $(stat -c %A "$out/other/read-only.txt" 2>/dev/null) in
        -r-?r-?r-?) ;;
        *) bad+=" read-only.txt is not read-only" ;;
    esac
    case $(stat -c %A "$out/top/numbers.txt" 2>/dev/null) in
        -rw*) ;;
        *) bad+=" numbers.txt is not writable" ;;
    esac
    if [ -z "$bad" ]; then pass "$name: bytes, empty directories, times to the second and attributes"
    else fail "$name" "$bad"; fi
}

# unpack_under_wine NAME EXE: auto-start into a fresh folder, exit status 1.
unpack_under_wine() {
    local name=$1 file=$2 out=$WINE_RUN/out-$1
    mkdir -p "$out"
    wine_start "$file" -n "$(windows_path "$out")"
    wine_wait_exit 120
    if [ "$WINE_STATUS" = 1 ]; then check_tree "$name under Wine" "$out"
    else fail "$name under Wine" "exit status $WINE_STATUS, windows: $WINE_WINDOWS"; fi
}
unpack_under_wine packed "$exe"

# Authenticode appends its signature behind the archive; the archive's
# two-byte end keeps the stub from reading it as a member.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velkar Test Signer" \
    -keyout "$WINE_RUN/key.pem" -out "$WINE_RUN/cert.pem" > /dev/null 2>&1
signed=$WINE_RUN/signed.exe
if osslsigncode sign -certs "$WINE_RUN/cert.pem" -key "$WINE_RUN/key.pem" -n "Velkar Tree" \
    -in "$exe" -out "$signed" > "$WINE_RUN/sign.log" 2>&1; then
    pass "osslsigncode signs the file"
else
    fail "osslsigncode sign" "$(cat "$WINE_RUN/sign.log")"
fi
osslsigncode verify -CAfile "$WINE_RUN/cert.pem" -in "$signed" > "$WINE_RUN/verify.log" 2>&1 &&
    pass "the signature verifies" || fail "osslsigncode verify" "$(tail -5 "$WINE_RUN/verify.log")"
"$VELKAR_BUILDER" --test "$signed" > "$WINE_RUN/test.log" 2>&1 &&
    pass "the signed file's members and tamper value test ok" || fail "--test on the signed file" "$(cat "$WINE_RUN/test.log")"
mkdir -p "$WINE_RUN/out-host"
"$VELKAR_RUNNER" "$signed" -n "$WINE_RUN/out-host" > "$WINE_RUN/run.log" 2>&1 < /dev/null
[ $? = 0 ] && check_tree "signed, velkar-run" "$WINE_RUN/out-host" || fail "signed, velkar-run" "$(cat "$WINE_RUN/run.log")"
unpack_under_wine signed "$signed"

finish
