#!/bin/sh
# The emulated guest's first and only process (init=/sbin/velkar-init): it
# mounts what a shell needs, the checkout (read-only, tag "velkar") at
# /velkar and the host's results folder (tag "results") at /results, runs
# /results/job.sh there with its output in /results/job.log, writes its exit
# status to /results/status and powers the machine off. run.sh waits for
# that; nothing else runs in the guest.
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
chmod 1777 /tmp /dev/shm
hostname velkar-guest

modprobe 9pnet_virtio
modprobe 9p
mkdir -p /velkar /results
# A large msize speeds up reading the checkout's programs and archives.
mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288,ro velkar /velkar
mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 results /results

if [ -f /results/job.sh ]; then
    cd /velkar
    env HOME=/root LANG=C.UTF-8 VELKAR_IN_GUEST=1 bash /results/job.sh >/results/job.log 2>&1
    echo $? >/results/status.new
else
    echo 127 >/results/status.new
fi
mv /results/status.new /results/status
sync
# Power off at once: there is no service to stop and nothing left to write.
echo o >/proc/sysrq-trigger
sleep 60
