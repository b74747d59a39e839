#!/bin/sh
# Runs a test command inside a fresh network namespace that holds only a
# loopback interface, so nothing the command sends can leave this machine.
# Tests that construct the main window go through here: the window starts a
# discovery run one second after it is built, and that run broadcasts on
# every interface it can see.
set -eu
[ $# -gt 0 ] || { echo "usage: run-isolated.sh COMMAND [ARG...]" >&2; exit 2; }

if [ "${NODESPOTTER_NETNS_ISOLATED:-}" != "1" ]; then
    export NODESPOTTER_NETNS_ISOLATED=1
    if [ "$(id -u)" = 0 ]; then
        exec unshare --net -- "$0" "$@"
    else
        exec unshare --user --map-root-user --net -- "$0" "$@"
    fi
fi

ip link set lo up
others=$(ip -o link show | awk -F': ' '{ sub(/@.*/, "", $2); print $2 }' | grep -vx lo || true)
if [ -n "$others" ]; then
    echo "run-isolated.sh: refusing to run, interfaces besides loopback: $others" >&2
    exit 1
fi
exec "$@"
