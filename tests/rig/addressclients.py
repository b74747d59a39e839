#!/usr/bin/env python3
"""Simulated BOOTP and DHCP clients for the address server's rig tests.

Runs inside the rig's device namespace. Each client behaves like a device
without an address: it sends from 0.0.0.0 port 68 to 255.255.255.255 port 67
out of its interface (through a packet socket, as real clients do, since a
UDP socket would send from the interface's address), retransmits until
answered, and for DHCP sends DISCOVER, then REQUEST for the offered address
to the server that offered it, until an ACK or a NAK ends it.

usage: addressclients.py -     (configuration as one JSON line on stdin)

  {"clients": [{"mac": "02:aa:00:00:00:01",  chaddr
                "ifname": "rd1",             interface it asks through
                "protocol": "dhcp",          or "bootp"
                "host_name": "press-1",      option 12 (optional)
                "vendor_class": "acme"}],    option 60 (optional)
   "retransmit_ms": 250}

It runs until stdin closes or SIGTERM. Output, one JSON object per line on
stdout: {"ready": true}, then at the end {"done": true, "clients": {MAC:
{"sent": N, "state": ..., "replies": [{"ifname", "src", "sport", "dst",
"hex"}]}}} with every datagram to port 68 whose chaddr is that client's, in
arrival order.
"""

import json
import os
import random
import selectors
import signal
import socket
import struct
import sys
import time

IP_PKTINFO = 8
SO_BINDTODEVICE = 25
ETH_P_IP = 0x0800
COOKIE = b"\x63\x82\x53\x63"


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def udp_frame(payload):
    """IPv4 and UDP headers around payload, 0.0.0.0:68 -> 255.255.255.255:67."""
    src, dst = b"\0\0\0\0", b"\xff\xff\xff\xff"
    length = 8 + len(payload)
    pseudo = src + dst + struct.pack("!BBH", 0, 17, length)
    udp = struct.pack("!HHHH", 68, 67, length, 0) + payload
    udp = udp[:6] + struct.pack("!H", checksum(pseudo + udp) or 0xFFFF) + udp[8:]
    ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + length, random.randrange(65536), 0, 64, 17, 0, src, dst)
    ip = ip[:10] + struct.pack("!H", checksum(ip)) + ip[12:]
    return ip + udp


def option(code, value):
    return bytes([code, len(value)]) + value


class Client:
    def __init__(self, config):
        self.mac = bytes.fromhex(config["mac"].replace(":", ""))
        self.key = config["mac"].lower()
        self.ifname = config["ifname"]
        self.dhcp = config.get("protocol", "dhcp") == "dhcp"
        self.host_name = config.get("host_name", "").encode()
        self.vendor_class = config.get("vendor_class", "").encode()
        self.xid = random.randrange(1, 1 << 32)
        self.state = "discover" if self.dhcp else "bootp"
        self.offered = b"\0" * 4
        self.server = b"\0" * 4
        self.sent = 0
        self.replies = []
        self.started = time.monotonic()
        self.out = socket.socket(socket.AF_PACKET, socket.SOCK_DGRAM, socket.htons(ETH_P_IP))
        self.out.bind((self.ifname, ETH_P_IP))

    def message(self):
        secs = min(int(time.monotonic() - self.started), 0xFFFF)
        fixed = struct.pack("!BBBBIHH", 1, 1, 6, 0, self.xid, secs, 0x8000) + b"\0" * 16
        fixed += self.mac + b"\0" * 10 + b"\0" * 192
        if not self.dhcp:
            return fixed + b"\0" * 64  # an RFC 951 client: empty vendor area
        options = option(53, bytes([1 if self.state == "discover" else 3]))
        if self.state == "request":
            options += option(50, self.offered) + option(54, self.server)
        if self.host_name:
            options += option(12, self.host_name)
        if self.vendor_class:
            options += option(60, self.vendor_class)
        options += option(55, bytes([1, 3, 6, 12, 51, 54])) + b"\xff"
        body = fixed + COOKIE + options
        return body + b"\0" * max(0, 300 - len(body))

    def send(self):
        if self.state in ("bound", "nak"):
            return
        self.out.sendto(udp_frame(self.message()), (self.ifname, ETH_P_IP, 0, 0, b"\xff" * 6))
        self.sent += 1

    def receive(self, data, record):
        if len(data) < 240 or data[0] != 2 or data[28:34] != self.mac:
            return
        self.replies.append(record)
        if struct.unpack("!I", data[4:8])[0] != self.xid:
            return
        options = parse_options(data)
        kind = options.get(53, b"")
        if not self.dhcp:
            self.state = "bound"
        elif self.state == "discover" and kind == b"\x02":
            self.offered = data[16:20]
            self.server = options.get(54, b"\0" * 4)
            self.state = "request"
            self.send()
        elif self.state == "request" and kind == b"\x05":
            self.state = "bound"
        elif self.state == "request" and kind == b"\x06":
            self.state = "nak"


def parse_options(data):
    options = {}
    at = 240
    while at < len(data) and data[at] != 255:
        if data[at] == 0:
            at += 1
            continue
        if at + 1 >= len(data):
            break
        length = data[at + 1]
        options[data[at]] = data[at + 2:at + 2 + length]
        at += 2 + length
    return options


def receiver(ifname):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    sock.setsockopt(socket.SOL_SOCKET, SO_BINDTODEVICE, ifname.encode())
    sock.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
    sock.bind(("0.0.0.0", 68))
    return sock


def take(sock, ifname, clients):
    """Reads one datagram to port 68 and hands it to the clients; False
    when nothing was pending on a non-blocking socket."""
    try:
        data, ancdata, _, (src, sport) = sock.recvmsg(65535, socket.CMSG_SPACE(12))
    except BlockingIOError:
        return False
    dst = ""
    for level, kind, value in ancdata:
        if level == socket.IPPROTO_IP and kind == IP_PKTINFO:
            dst = socket.inet_ntoa(value[8:12])
    record = {"ifname": ifname, "src": src, "sport": sport, "dst": dst, "hex": data.hex()}
    for client in clients:
        client.receive(data, record)
    return True


def main():
    if sys.argv[1:] != ["-"]:
        raise SystemExit(__doc__)
    config = json.loads(sys.stdin.readline())
    clients = [Client(c) for c in config["clients"]]
    interval = config.get("retransmit_ms", 250) / 1000.0

    sel = selectors.DefaultSelector()
    for ifname in sorted({c.ifname for c in clients}):
        sel.register(receiver(ifname), selectors.EVENT_READ, ifname)
    sel.register(sys.stdin, selectors.EVENT_READ, None)
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    sys.stdout.write(json.dumps({"ready": True, "pid": os.getpid()}) + "\n")
    sys.stdout.flush()

    due = time.monotonic()
    while not stopping:
        now = time.monotonic()
        if now >= due:
            for client in clients:
                client.send()
            due = now + interval
        events = sel.select(max(0.0, due - now))
        closed = any(key.data is None and not sys.stdin.readline() for key, _ in events)
        for key, _ in events:
            if key.data is not None:
                take(key.fileobj, key.data, clients)
        if closed:
            # What arrived before stdin closed still counts: a reply sent
            # just before the test stopped the clients.
            for key in list(sel.get_map().values()):
                if key.data is not None:
                    key.fileobj.setblocking(False)
                    while take(key.fileobj, key.data, clients):
                        pass
            break

    result = {c.key: {"sent": c.sent, "state": c.state, "replies": c.replies} for c in clients}
    sys.stdout.write(json.dumps({"done": True, "clients": result}) + "\n")
    sys.stdout.flush()


if __name__ == "__main__":
    main()
