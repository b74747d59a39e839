#!/bin/sh
# The discovery test rig: runs COMMAND in a network namespace of its own,
# wired by veth pairs to a second namespace where simulated devices live.
#
# usage: rig.sh LINK... -- COMMAND [ARG...]
#
# Each LINK is one veth pair and lists the program side's addresses, comma
# separated, for example 10.201.1.1/24,10.201.9.1/24. The device side of a
# link gets the last host address of each of those subnets (.254 of a /24,
# 10.203.255.254 of 10.203.5.9/16; none for a /31 or /32); devices.py adds
# the device addresses it is given. The command sees:
#   RIG_PROG_NS, RIG_DEV_NS   the two namespaces (for ip -n / ip netns exec)
#   RIG_LINKS                 the LINK arguments, space separated
#   RIG_PROG_IFS, RIG_DEV_IFS the interface names, in link order
#   RIG_DEV_MACS              the device sides' fixed hardware addresses, in
#                             link order: 02:72:01:NN:00:01 for link NN (hex)
#   RIG_DEVICES_PY            the device simulator
# Everything is removed on exit, also when the command fails or is killed
# by a signal. Without root or network namespaces the rig exits 77 (skip),
# except under CI=true, where that is a failure.
set -u

skip() {
    echo "rig.sh: SKIPPED: $1" >&2
    if [ "${CI:-}" = true ]; then
        echo "rig.sh: CI=true, so a rig that cannot run is a failure" >&2
        exit 1
    fi
    exit 77
}

links=
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    links="$links${links:+ }$1"
    shift
done
[ $# -gt 1 ] && [ -n "$links" ] || { echo "usage: rig.sh LINK... -- COMMAND [ARG...]" >&2; exit 2; }
shift

[ "$(id -u)" = 0 ] || skip "needs root to create network namespaces"
command -v ip >/dev/null 2>&1 || skip "needs ip (iproute2)"
command -v python3 >/dev/null 2>&1 || skip "needs python3 for the simulated devices"

here=$(cd "$(dirname "$0")" && pwd)

# Namespaces left behind by a rig that was killed outright (SIGKILL gives
# no chance to clean up) carry the PID of a process that no longer exists.
for ns in $(ip netns list 2>/dev/null | awk '{ print $1 }' | grep '^nsrig[0-9]*[pd]$'); do
    pid=${ns#nsrig}
    pid=${pid%?}
    [ -d "/proc/$pid" ] || ip netns del "$ns" 2>/dev/null
done

prog=nsrig$$p
dev=nsrig$$d
cleanup() {
    ip netns del "$prog" 2>/dev/null
    ip netns del "$dev" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

ip netns add "$prog" 2>/dev/null || skip "cannot create network namespaces here"
ip netns add "$dev" || exit 1
ip -n "$prog" link set lo up
ip -n "$dev" link set lo up

i=0
prog_ifs=
dev_ifs=
dev_macs=
for link in $links; do
    i=$((i + 1))
    pif=rp$i
    dif=rd$i
    # Made inside the namespaces, so the host's own interfaces are never
    # touched.
    ip -n "$prog" link add "$pif" type veth peer name "$dif" netns "$dev" || exit 1
    # Every device behind a link answers with its device side's hardware
    # address, so that tests know what the neighbour table holds.
    mac=$(printf '02:72:01:%02x:00:01' "$i")
    ip -n "$dev" link set "$dif" address "$mac" || exit 1
    for addr in $(echo "$link" | tr ',' ' '); do
        ip -n "$prog" addr add "$addr" dev "$pif" || exit 1
        peer=$(python3 -c 'import ipaddress, sys
net = ipaddress.ip_interface(sys.argv[1]).network
if net.prefixlen <= 30:
    print("%s/%d" % (net.broadcast_address - 1, net.prefixlen))' "$addr") || exit 1
        # Two addresses of one subnet share the device side's address.
        [ -z "$peer" ] || ip -n "$dev" addr replace "$peer" dev "$dif" || exit 1
    done
    # All simulated devices share one neighbour table, so a burst of replies
    # from hundreds of them waits on one ARP resolution; let it queue them
    # all, as hundreds of separate devices would.
    ip netns exec "$dev" sh -c "echo 16777216 > /proc/sys/net/ipv4/neigh/$dif/unres_qlen_bytes"
    ip -n "$prog" link set "$pif" up
    ip -n "$dev" link set "$dif" up
    prog_ifs="$prog_ifs${prog_ifs:+ }$pif"
    dev_ifs="$dev_ifs${dev_ifs:+ }$dif"
    dev_macs="$dev_macs${dev_macs:+ }$mac"
done

export RIG_PROG_NS="$prog" RIG_DEV_NS="$dev" RIG_LINKS="$links"
export RIG_PROG_IFS="$prog_ifs" RIG_DEV_IFS="$dev_ifs" RIG_DEV_MACS="$dev_macs" RIG_DEVICES_PY="$here/devices.py"
# In the background, so that a signal to the rig reaches the command too.
ip netns exec "$prog" "$@" <&0 &
child=$!
trap 'kill "$child" 2>/dev/null; exit 130' INT
trap 'kill "$child" 2>/dev/null; exit 143' TERM
wait "$child"
