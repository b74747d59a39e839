#!/bin/sh
# The discovery test rig: runs COMMAND in a network namespace of its own,
# wired by veth pairs to a second namespace where simulated devices live.
#
# usage: rig.sh [--routed NET[,NET...]] LINK... -- COMMAND [ARG...]
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
# With --routed, the first link ends in a third namespace, a router that
# forwards between it and the remote networks NET (for example
# 10.210.5.0/24), which lie on a further link to the device namespace. The
# program side gets a route to each NET via the router; on the device side
# every address of a NET is local (so devices.py sees every probe sent into
# it) and its last host address is on that link. The command also sees
#   RIG_ROUTER_NS             the router namespace
#   RIG_REMOTE_NETS           the NET arguments, comma separated
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

remote=
if [ "${1:-}" = --routed ]; then
    remote=${2:-}
    shift 2 || { echo "usage: rig.sh [--routed NET[,NET...]] LINK... -- COMMAND [ARG...]" >&2; exit 2; }
fi
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
for ns in $(ip netns list 2>/dev/null | awk '{ print $1 }' | grep '^nsrig[0-9]*[pdr]$'); do
    pid=${ns#nsrig}
    pid=${pid%?}
    [ -d "/proc/$pid" ] || ip netns del "$ns" 2>/dev/null
done

prog=nsrig$$p
dev=nsrig$$d
router=
[ -z "$remote" ] || router=nsrig$$r
cleanup() {
    ip netns del "$prog" 2>/dev/null
    ip netns del "$dev" 2>/dev/null
    [ -z "$router" ] || ip netns del "$router" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

ip netns add "$prog" 2>/dev/null || skip "cannot create network namespaces here"
ip netns add "$dev" || exit 1
ip -n "$prog" link set lo up
ip -n "$dev" link set lo up
if [ -n "$router" ]; then
    ip netns add "$router" || exit 1
    ip -n "$router" link set lo up
    ip netns exec "$router" sh -c 'echo 1 > /proc/sys/net/ipv4/ip_forward' || exit 1
fi

# The last host address of an address's subnet, with its prefix; nothing
# for a /31 or /32.
last_host() {
    python3 -c 'import ipaddress, sys
net = ipaddress.ip_interface(sys.argv[1]).network
if net.prefixlen <= 30:
    print("%s/%d" % (net.broadcast_address - 1, net.prefixlen))' "$1"
}

i=0
prog_ifs=
dev_ifs=
dev_macs=
for link in $links; do
    i=$((i + 1))
    pif=rp$i
    dif=rd$i
    # The first link of a routed rig ends in the router.
    peer_ns=$dev
    [ -z "$router" ] || [ $i -ne 1 ] || peer_ns=$router
    # Made inside the namespaces, so the host's own interfaces are never
    # touched.
    ip -n "$prog" link add "$pif" type veth peer name "$dif" netns "$peer_ns" || exit 1
    # Every device behind a link answers with its device side's hardware
    # address (the router's, behind a routed link), so that tests know what
    # the neighbour table holds.
    mac=$(printf '02:72:01:%02x:00:01' "$i")
    ip -n "$peer_ns" link set "$dif" address "$mac" || exit 1
    gateway=
    for addr in $(echo "$link" | tr ',' ' '); do
        ip -n "$prog" addr add "$addr" dev "$pif" || exit 1
        peer=$(last_host "$addr") || exit 1
        # Two addresses of one subnet share the device side's address.
        [ -z "$peer" ] || ip -n "$peer_ns" addr replace "$peer" dev "$dif" || exit 1
        [ -n "$gateway" ] || gateway=${peer%/*}
    done
    if [ "$peer_ns" != "$dev" ]; then
        ip -n "$prog" link set "$pif" up
        ip -n "$router" link set "$dif" up
        # The router's link to the device namespace, where the remote
        # networks are.
        ip -n "$router" link add rb1 type veth peer name rr1 netns "$dev" || exit 1
        ip -n "$router" addr add 198.18.0.1/24 dev rb1 || exit 1
        ip -n "$dev" addr add 198.18.0.2/24 dev rr1 || exit 1
        ip -n "$router" link set rb1 up
        ip -n "$dev" link set rr1 up
        ip netns exec "$dev" sh -c "echo 16777216 > /proc/sys/net/ipv4/neigh/rr1/unres_qlen_bytes"
        for net in $(echo "$remote" | tr ',' ' '); do
            ip -n "$router" route add "$net" via 198.18.0.2 || exit 1
            ip -n "$dev" addr add "$(last_host "$net")" dev rr1 || exit 1
            ip -n "$dev" route add local "$net" dev lo table local || exit 1
            ip -n "$prog" route add "$net" via "$gateway" || exit 1
        done
        for addr in $(echo "$link" | tr ',' ' '); do
            ip -n "$dev" route add "$(python3 -c 'import ipaddress, sys
print(ipaddress.ip_interface(sys.argv[1]).network)' "$addr")" via 198.18.0.1 || exit 1
        done
        prog_ifs="$prog_ifs${prog_ifs:+ }$pif"
        dev_ifs="$dev_ifs${dev_ifs:+ }rr1"
        dev_macs="$dev_macs${dev_macs:+ }$mac"
        continue
    fi
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
export RIG_ROUTER_NS="$router" RIG_REMOTE_NETS="$remote"
# In the background, so that a signal to the rig reaches the command too.
ip netns exec "$prog" "$@" <&0 &
child=$!
trap 'kill "$child" 2>/dev/null; exit 130' INT
trap 'kill "$child" 2>/dev/null; exit 143' TERM
wait "$child"
