#!/usr/bin/env bash
# run.sh: runs Wine tests, or any job, in the emulated x86 guest, for
# machines that cannot execute 32-bit x86 code (scripts/test.sh and the Wine
# test scripts call it by themselves when that is the route).
#
#   run.sh --check             prints why the guest cannot run here and
#                              fails, or succeeds silently
#   run.sh SCRIPT [ARG...]     one Wine test script: its output, its status
#   run.sh --each SCRIPT...    several, two at a time on the guest's two
#                              processors; each one's output as it ends;
#                              fails when any failed
#   run.sh --job FILE DIR      the bash script FILE, run in the checkout
#                              with DIR shared as /results; its output in
#                              DIR/job.log, its status is run.sh's
#
# The guest is qemu-system-x86_64 without KVM (-accel tcg): ten to twenty
# times slower than a native run, so the Wine scripts scale every wait by
# VELKAR_WINE_SLOWDOWN. Its processor is qemu64: Wine's processes all die
# with SMAP on (qemu 7.2 faults on iret to 32-bit user code), and without
# AVX and the newer extensions, whose emulation is slow, the Wine tests run
# about 30% faster than on "max,-smap". The checkout is shared in read-only; the disk is the
# image of image.sh plus a layer with the Wine prefix template, made on the
# first run, and every run writes into a snapshot that is thrown away.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root_dir=$(cd "$here/../.." && pwd)
cache=${VELKAR_VM_CACHE:-/var/tmp/velkar-vm-$(id -u)}
export VELKAR_VM_CACHE=$cache
slowdown=10
guest_work=/var/velkar/wine
guest_programs=/var/velkar/programs

say() { echo "vm: $*" >&2; }

# cannot_run: prints the reason the guest cannot run here, if there is one.
cannot_run() {
    local tool
    for tool in qemu-system-x86_64 qemu-img; do
        command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/setup.sh installs it)"; return; }
    done
    "$here/image.sh" --ready >/dev/null && return
    command -v debootstrap >/dev/null || { echo "debootstrap is missing (scripts/setup.sh installs it)"; return; }
    [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null ||
        { echo "making the guest's disk needs root or password-less sudo"; return; }
    mkdir -p "$cache" 2>/dev/null || { echo "cannot make $cache"; return; }
    local free_kb
    free_kb=$(df -Pk "$cache" | awk 'NR == 2 { print $4 }')
    [ "$free_kb" -ge $((6 * 1024 * 1024)) ] ||
        echo "making the guest's disk needs 6 GB free under $cache, $((free_kb / 1024)) MB there"
}

# in_checkout PATH: PATH as the guest sees it, under /velkar.
in_checkout() {
    local path
    path=$(realpath -m "$1")
    case $path in
    "$root_dir") echo /velkar ;;
    "$root_dir"/*) echo "/velkar/${path#"$root_dir"/}" ;;
    *) say "$1 is outside the checkout, which is all the guest sees"; return 1 ;;
    esac
}

# boot DISK RESULTS LIMIT [SNAPSHOT]: boots the guest on DISK (qcow2) with
# RESULTS shared; fails when the job did not report a status within LIMIT
# seconds.
boot() {
    local disk=$1 results=$2 limit=$3 snapshot=${4:-on} image_dir
    image_dir=$(dirname "$disk")
    rm -f "$results/status"
    timeout --kill-after=10 "$limit" qemu-system-x86_64 \
        -accel tcg,thread=multi -cpu qemu64 -smp 2 -m 4096 \
        -nodefaults -display none -no-reboot -monitor none \
        -serial "file:$results/console.log" \
        -kernel "$image_dir/vmlinuz" -initrd "$image_dir/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 panic=1 quiet init=/sbin/velkar-init" \
        -drive "file=$disk,if=virtio,format=qcow2,snapshot=$snapshot" \
        -virtfs "local,path=$root_dir,mount_tag=velkar,security_model=none,readonly=on" \
        -virtfs "local,path=$results,mount_tag=results,security_model=none" \
        >"$results/qemu.log" 2>&1 || true
    [ -f "$results/status" ] && return 0
    say "the guest ended without a result (limit $limit s); the end of its console:"
    tail -15 "$results/console.log" >&2 2>/dev/null || true
    tail -5 "$results/qemu.log" >&2 2>/dev/null || true
    return 1
}

# job_environment: the lines that put a job's Wine scripts on the guest's
# paths and pace.
job_environment() {
    local build host_build
    # The guest's standard input is its serial console, where Wine's console
    # for a console program waits for a terminal that never answers.
    echo 'exec </dev/null'
    build=$(in_checkout "${VELKAR_BUILD:-$root_dir/build/windows}") || return 1
    host_build=$(in_checkout "${VELKAR_HOST_BUILD:-$root_dir/build/host}") || return 1
    # Wine's loader reads each section of a program with one read, which the
    # 9p share cuts short at its msize: a program of over half a megabyte ran
    # with zeroed pages. The programs run from a copy on the guest's disk.
    printf 'mkdir -p %q && cp %q/*.exe %q/ || exit 1\n' "$guest_programs" "$build" "$guest_programs"
    # jlha's Java machine, free to move between the guest's two processors,
    # now and then died in its own compiled code (SIGSEGV, about one run in
    # thirty); held on one processor it ran a hundred times without a fault.
    # Its report, which it writes to standard output, goes to standard
    # error when it dies, so that the test's log shows it.
    printf 'mkdir -p %q/bin && cat >%q/bin/jlha <<"WRAPPER" && chmod +x %q/bin/jlha || exit 1\n' \
        "$guest_programs" "$guest_programs" "$guest_programs"
    cat <<'WRAPPER'
#!/bin/sh
out=$(mktemp) || exit 1
taskset -c "$(awk '{ print $39 }' /proc/self/stat)" /usr/bin/jlha "$@" >"$out"
status=$?
if [ $status -gt 128 ]; then cat "$out" >&2; else cat "$out"; fi
rm -f "$out"
exit $status
WRAPPER
    echo WRAPPER
    printf 'export PATH=%q/bin:"$PATH"\n' "$guest_programs"
    printf 'export %s=%q\n' VELKAR_BUILD "$guest_programs" VELKAR_HOST_BUILD "$host_build" \
        VELKAR_WINE_WORK "$guest_work" VELKAR_WINE_SLOWDOWN "$slowdown" \
        VELKAR_WINE_ROUTE native VELKAR_WINE_REASON "inside the emulated x86 guest"
}

# template_disk: prints the disk with the Wine prefix template, making it
# the first time: Wine runs only in the guest, so wineboot does too. The
# layer is named by the template recipe in lib.sh, so a new recipe makes a
# new layer.
template_disk() {
    local image_dir key disk results started
    image_dir=$("$here/image.sh") || return 1
    key=$(sed -n '/^make_template()/,/^}/p' "$root_dir/tests/wine/lib.sh" | sha256sum | cut -c1-16)
    disk=$image_dir/template-$key.qcow2
    exec 8>"$image_dir/template.lock"
    flock 8
    if [ ! -f "$disk.ready" ]; then
        rm -f "$image_dir"/template-*
        say "making the Wine prefix template inside the guest (once: three to five minutes)"
        started=$(date +%s)
        qemu-img create -q -f qcow2 -b rootfs.img -F raw "$disk.new"
        results=$(mktemp -d)
        {
            job_environment
            echo '. tests/wine/lib.sh'
            echo 'make_template || { cat "$WINE_WORK/template.log"; exit 1; }'
        } >"$results/job.sh"
        if ! boot "$disk.new" "$results" 1200 off || [ "$(cat "$results/status")" != 0 ]; then
            cat "$results/job.log" >&2 2>/dev/null || true
            rm -rf "$results" "$disk.new"
            say "the Wine prefix template could not be made in the guest"
            return 1
        fi
        rm -rf "$results"
        mv "$disk.new" "$disk"
        touch "$disk.ready"
        say "template made in $(($(date +%s) - started)) s"
    fi
    flock -u 8
    echo "$disk"
}

# run_job FILE RESULTS LIMIT: the bash script FILE in the guest, after the
# lines of job_environment; its status.
run_job() {
    local disk body
    disk=$(template_disk) || return 1
    mkdir -p "$2"
    body=$(cat "$1")
    { job_environment && printf '%s\n' "$body"; } >"$2/job.sh" || return 1
    boot "$disk" "$2" "$3" || return 1
    return "$(cat "$2/status")"
}

# The scripts that take longest go first, so two at a time end together.
by_length() {
    local script
    for script in "$@"; do
        printf '%s %s\n' "$(wc -c <"$script")" "$script"
    done | sort -rn | cut -d' ' -f2-
}

run_each() {
    local results started script name failed=0 list=()
    results=$(mktemp -d)
    while IFS= read -r script; do
        list+=("$(in_checkout "$script")") || return 1
    done < <(by_length "$@")
    {
        echo 'run() {'
        echo '    local name start status'
        echo '    name=$(basename "$1" .sh) start=$(date +%s)'
        echo '    bash "$1" >"/results/$name.log" 2>&1 && status=0 || status=$?'
        echo '    echo $(($(date +%s) - start)) >"/results/$name.seconds"'
        echo '    echo $status >"/results/$name.status"'
        echo '}'
        echo 'export -f run'
        printf 'printf "%%s\\n"'
        printf ' %q' "${list[@]}"
        printf ' | xargs -P2 -I{} bash -c %q _ {}\n' 'run "$1"'
    } >"$results/body.sh"
    started=$(date +%s)
    run_job "$results/body.sh" "$results" "${VELKAR_VM_LIMIT:-2700}" || true
    for script in "$@"; do
        name=$(basename "$script" .sh)
        echo "== $script (in the guest, $(cat "$results/$name.seconds" 2>/dev/null || echo '?') s)"
        cat "$results/$name.log" 2>/dev/null || echo "FAIL $name: no output from the guest"
        [ "$(cat "$results/$name.status" 2>/dev/null)" = 0 ] || failed=1
    done
    say "guest run: $(($(date +%s) - started)) s in all"
    rm -rf "$results"
    return $failed
}

run_one() {
    local results status=0 script
    script=$(in_checkout "$1") || return 1
    shift
    results=$(mktemp -d)
    {
        printf 'exec bash %q' "$script"
        printf ' %q' "$@"
        echo
    } >"$results/body.sh"
    run_job "$results/body.sh" "$results" "${VELKAR_VM_LIMIT:-1800}" || status=$?
    cat "$results/job.log" 2>/dev/null || true
    rm -rf "$results"
    return $status
}

case ${1:-} in
--check)
    reason=$(cannot_run)
    [ -z "$reason" ] || { echo "$reason"; exit 1; }
    ;;
--each)
    shift
    run_each "$@"
    ;;
--job)
    [ $# -eq 3 ] || { echo "usage: run.sh --job FILE DIR" >&2; exit 2; }
    run_job "$2" "$3" "${VELKAR_VM_LIMIT:-1800}"
    ;;
"" | -*)
    sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
    ;;
*)
    run_one "$@"
    ;;
esac
