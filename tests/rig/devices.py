#!/usr/bin/env python3
"""Simulated devices for the discovery test rig.

Runs inside the rig's device namespace. It listens on the text probe port
(55555) and the ListIdentity port (44818) on every address, records every
datagram that arrives and answers each probe from every device configured on
the interface the probe came in on and in the subnet it was sent to, from that
device's own address.

usage: devices.py CONFIG.json      (or - to read the configuration from stdin)

The configuration is a JSON object:
  {"devices": [{"addr": "10.201.1.10",   device address, added to the
                                         interface whose subnet holds it
                "port": 44818,           probe port it answers
                "src_port": 44818,       reply source port (default: port)
                "replies": ["63 00 ..."],  hex datagrams sent per probe
                "delay_ms": 0,           delay before the first reply
                "jitter_ms": 0,          random extra delay, 0..jitter_ms
                "interval_ms": 0,        gap between further replies
                "repeat": 1}],           times each reply is sent, interval_ms
                                         apart, before the next one
   "run_ms": 0}                          exit after this long (0: run until
                                         stdin closes)

A probe sent to one device's address is answered by that device alone.

Output, one JSON object per line on stdout: {"ready": ...} once the sockets
are bound, {"probe": ...} for every datagram received (with its arrival
time "t", CLOCK_MONOTONIC seconds), and {"done": ...}
with the number of replies sent when it stops (stdin closed, SIGTERM or
run_ms elapsed) and, per device address, the CLOCK_MONOTONIC time in
seconds of its first reply ("first_sent").
"""

import heapq
import ipaddress
import json
import os
import random
import selectors
import signal
import socket
import struct
import subprocess
import sys
import time

IP_PKTINFO = 8  # Linux value; not exported by every Python build
PROBE_PORTS = (55555, 44818)


def log(**record):
    sys.stdout.write(json.dumps(record) + "\n")
    sys.stdout.flush()


def local_networks():
    """(ifname, ifindex, network) of every IPv4 address in this namespace."""
    out = subprocess.run(["ip", "-o", "-4", "addr", "show"], check=True,
                         capture_output=True, text=True).stdout
    nets = []
    for line in out.splitlines():
        fields = line.split()
        ifname = fields[1]
        if ifname == "lo":
            continue
        iface = ipaddress.ip_interface(fields[3])
        nets.append((ifname, socket.if_nametoindex(ifname), iface.network))
    return nets


def add_addresses(devices):
    """Gives every device address to the interface whose subnet holds it."""
    nets = local_networks()
    batch = []
    for dev in devices:
        addr = ipaddress.ip_address(dev["addr"])
        for ifname, ifindex, net in nets:
            if addr in net:
                dev["ifindex"] = ifindex
                dev["network"] = net
                batch.append("addr replace %s/%d dev %s\n" % (addr, net.prefixlen, ifname))
                break
        else:
            raise SystemExit("devices.py: no interface for %s" % addr)
    if batch:
        subprocess.run(["ip", "-force", "-batch", "-"], input="".join(batch),
                       check=True, text=True)


def bound_socket(port):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    sock.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
    sock.bind(("0.0.0.0", port))
    return sock


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    if sys.argv[1] == "-":
        config = json.loads(sys.stdin.readline())
    else:
        with open(sys.argv[1]) as f:
            config = json.load(f)
    devices = config.get("devices", [])
    for dev in devices:
        dev.setdefault("src_port", dev.get("port", 55555))
        dev["payloads"] = [bytes.fromhex(h) for h in dev.get("replies", [])]
    add_addresses(devices)

    sockets = {port: bound_socket(port) for port in PROBE_PORTS}
    for dev in devices:
        if dev["src_port"] not in sockets:
            sockets[dev["src_port"]] = bound_socket(dev["src_port"])

    addresses = {dev["addr"] for dev in devices}
    by_probe = {}
    for dev in devices:
        by_probe.setdefault((dev["port"], dev["ifindex"]), []).append(dev)

    sel = selectors.DefaultSelector()
    for port in PROBE_PORTS:
        sel.register(sockets[port], selectors.EVENT_READ, port)
    stdin_open = True
    try:
        sel.register(sys.stdin, selectors.EVENT_READ, "stdin")
    except (PermissionError, ValueError):
        pass  # stdin is a plain file or /dev/null: run until run_ms or SIGTERM

    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    start = time.monotonic()
    deadline = start + config["run_ms"] / 1000.0 if config.get("run_ms") else None
    # (due time, sequence, source address, socket, payload, destination,
    #  times still to send, interval)
    queue = []
    sequence = 0
    sent = 0
    send_errors = 0
    first_sent = {}
    log(ready=True, devices=len(devices), pid=os.getpid())

    while not stopping and stdin_open:
        now = time.monotonic()
        # A reply sent many times goes out in runs of what is due, and the
        # sockets are looked at again after every few hundred datagrams, so
        # that a flood does not keep the other devices from their probes.
        budget = 256
        while queue and queue[0][0] <= now and budget > 0:
            due, seq, src, sock, payload, dest, remaining, interval = heapq.heappop(queue)
            count = remaining if interval <= 0 else min(remaining, 1 + int((now - due) / interval))
            count = min(count, budget)
            pktinfo = struct.pack("=i4s4s", 0, socket.inet_aton(src), b"\0" * 4)
            for _ in range(count):
                try:
                    sock.sendmsg([payload], [(socket.IPPROTO_IP, IP_PKTINFO, pktinfo)], 0, dest)
                    sent += 1
                    first_sent.setdefault(src, time.clock_gettime(time.CLOCK_MONOTONIC))
                except OSError:
                    send_errors += 1
            budget -= count
            if remaining > count:
                heapq.heappush(queue, (due + count * interval, seq, src, sock, payload, dest,
                                       remaining - count, interval))
        if deadline and now >= deadline:
            break
        timeout = None
        if queue:
            timeout = max(0.0, queue[0][0] - now)
        if deadline:
            timeout = min(timeout if timeout is not None else 1e9, max(0.0, deadline - now))
        for key, _ in sel.select(timeout):
            if key.data == "stdin":
                if not sys.stdin.readline():
                    stdin_open = False
                    sel.unregister(sys.stdin)
                continue
            port = key.data
            data, ancdata, _, (src, sport) = key.fileobj.recvmsg(65535, socket.CMSG_SPACE(12))
            ifindex, dst = 0, ""
            for level, kind, value in ancdata:
                if level == socket.IPPROTO_IP and kind == IP_PKTINFO:
                    ifindex, _, dst_raw = struct.unpack("=i4s4s", value[:12])
                    dst = socket.inet_ntoa(dst_raw)
            arrival = time.monotonic()
            log(probe={"src": src, "sport": sport, "dst": dst, "dport": port,
                       "ifname": socket.if_indextoname(ifindex) if ifindex else "",
                       "hex": data.hex(), "t": time.clock_gettime(time.CLOCK_MONOTONIC)})
            # Like a real host, a device takes only probes sent to its own
            # subnet, not every broadcast on its link, and of the probes
            # sent to one address only those for its own.
            to = ipaddress.ip_address(dst) if dst else None
            unicast = dst in addresses
            for dev in by_probe.get((port, ifindex), []):
                if to is None or to not in dev["network"]:
                    continue
                if unicast and dev["addr"] != dst:
                    continue
                due = arrival + (dev.get("delay_ms", 0) + random.uniform(0, dev.get("jitter_ms", 0))) / 1000.0
                repeat = dev.get("repeat", 1)
                interval = dev.get("interval_ms", 0) / 1000.0
                for payload in dev["payloads"]:
                    sequence += 1
                    heapq.heappush(queue, (due, sequence, dev["addr"], sockets[dev["src_port"]],
                                           payload, (src, sport), repeat, interval))
                    due += repeat * interval

    log(done=True, sent=sent, send_errors=send_errors, pending=len(queue), first_sent=first_sent)


if __name__ == "__main__":
    main()
