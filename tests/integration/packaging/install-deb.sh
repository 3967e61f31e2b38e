#!/bin/sh
# Installs a Debian package for real, but only inside the caller's private mount namespace
# (tests/fixtures/in-namespace.sh): /usr, /etc and /var become overlays whose changes live in the
# namespace's /tmp and vanish with it, so dpkg, the maintainer scripts and the triggers run as on
# an administrator's machine without changing this one. udev's run-time folder is hidden, so the
# postinst cannot reach the machine's udev daemon.
# Usage: install-deb.sh PACKAGE.deb
set -eu
[ $# -eq 1 ] || { echo "usage: $0 PACKAGE.deb" >&2; exit 2; }
deb=$1

if [ "$(readlink /proc/self/ns/mnt)" = "$(readlink /proc/1/ns/mnt)" ]; then
    echo "install-deb.sh: not in a private mount namespace; /usr is left alone" >&2
    exit 2
fi
export PATH=/usr/sbin:/usr/bin:/sbin:/bin

layers=/tmp/.vrkt7x-root
if [ ! -d "$layers" ]; then
    for d in usr etc var; do
        mkdir -p "$layers/$d/upper" "$layers/$d/work"
        mount -t overlay overlay -o "lowerdir=/$d,upperdir=$layers/$d/upper,workdir=$layers/$d/work" "/$d"
    done
    if [ -d /run/udev ]; then
        mount -t tmpfs -o mode=0755 tmpfs /run/udev
    fi
    # man-db's index rebuild is slow and of no use here.
    rm -f /var/lib/man-db/auto-update
fi

DEBIAN_FRONTEND=noninteractive dpkg --install "$deb"
