# The interop scripts' common start: a scratch folder removed on exit, and
# pass/fail counting that finish turns into the closing line and the status.
# shellcheck shell=bash
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok   $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; }
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" = 0 ]
}
