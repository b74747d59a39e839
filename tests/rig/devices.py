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
                "repeat": 1,             times each reply is sent, interval_ms
                                         apart, before the next one
                "cip": {...}}],          optional: the device also takes
                                         explicit messages on TCP port 44818
   "run_ms": 0}                          exit after this long (0: run until
                                         stdin closes)

A probe sent to one device's address is answered by that device alone.

A device's "cip" object (all numbers in hex strings unless said otherwise):
  "attributes": {"f5/1/1": "31000000", ...}   class/instance/attribute and
                            its value as Get_Attribute_Single answers it (of
                            any length, up to what one message holds); an
                            instance exists when it has an attribute; paths
                            take 8- and 16-bit segments, and 32-bit ones for
                            the instance
  "get_all": {"f5/1": [1, 2, 3]}  which attributes (decimal) the object's
                            Get_Attributes_All reply holds (default: all it
                            has, in order); an object absent here, when the
                            map is given, does not support the service
  "status": {"0e/f5/1/a": "14", "01/f6/1": "08"}  fixed general status for a
                            service on a path
  "settable": ["f5/1/3", ...]  attributes Set_Attribute_Single changes
  "ignored_sets": ["f5/1/3"]  settable attributes whose set is answered with
                            success but leaves them as they were (a device
                            whose switches decide the address method)
  "static_for": ["f5/1/5"]  refused with 0x0C unless attribute f5/1/3 says
                            static (method bits 0)
  "pending_on_set": true    a set of f5/1/3 or f5/1/5 raises status bit 5
                            (configuration pending) in f5/1/1
  "drop_after_set": ["f5/1/5"]  the device applies it at once and closes
                            the connection without an answer
  "reply_delay_ms": 0       delay before every answer
  "sessions": "accept"     "refuse": RegisterSession answered with
                            encapsulation status 0x0002 (a device out of
                            sessions); "close": the connection closed
                            instead of an answer
  "reset": "answer" | "close" (restarts before its answer is out: closes
               the connection) | "refuse" (general status 0x10) |
               "silent" (restarts without a word, the connection left open)
  "behaviour": "normal" | "silent" (accepts, never answers) |
               "close_mid_reply" (half an answer, then closes) |
               "huge_length" (a header whose length says 65535) |
               "drip" (every answer one byte a second) |
               "garbage" (answers requests with an HTTP error) |
               "wrong_session" | "wrong_service"
  "class_status": {"f4": "16"}  fixed general status for every request to
                            a class (a device that answers 0x16 for an object
                            it lacks, where most answer 0x05)
  "chassis": {...}          optional: the device is a bridge, below
The device answers as devices do: requests without a registered session get
encapsulation status 0x64, unknown commands 0x0001; a missing class 0x05, a
missing instance 0x16, a missing attribute 0x14, an unknown service 0x08,
and a set of an attribute that is not settable 0x0E. Every request is
answered after its own delay, so requests pipelined on one connection (each
with its sender context, which its answer echoes) are answered as each is
ready, not in the order they came. An Unconnected Send (service 0x52 to the
Connection Manager, 6/1) to a device without a chassis is answered 0xD2
with general status 0x08, as a plain adapter's stack does.

A bridge's "chassis" object (numbers decimal):
  "slot": 0                 the bridge's own slot on the backplane
  "slots": [0, 16]          the backplane's node range (first, last slot)
  "modules": {"2": {...}}   the module in each slot, configured as a "cip"
                            block (its own attributes: Identity, and a TCP/IP
                            and Ethernet Link object for an Ethernet module;
                            get_all, status, reply_delay_ms, "addr" for its
                            own Ethernet port, even a "chassis" of its own)
                            and a module "behaviour": "normal" | "silent"
                            (never answers) | "truncated" (the first 3 bytes
                            of its answer) | "wrong_service" (0x8E for a
                            Get_Attributes_All, else 0x81) | "random" (12
                            bytes drawn from "seed", default 0); "answer":
                            hex answers every request with those bytes
  "network": {"10.0.0.9": {...}}  devices reached through the Ethernet
                            port (a hop "2,10.0.0.9"), configured as modules
  "routing": true           false: Unconnected Send answered 0x08
  "one_at_a_time": false    true: the requests of one connection are served
                            one after the other, each once the one before
                            it is answered (as some real bridges do)
  "timeout_cap_ms": 1000    the bridge gives up on a target after the
                            request's timeout (2^(tick & 15) ms x ticks), at
                            most this long (0: no cap)
  "remaining_path_size": true  routing errors end with the route's remaining
                            size in words (USINT), as the standard has it
  "port_object": true       false: no Port object (class 0xF4 answered 0x05,
                            or with "class_status" what it says)
  "port_get_all": true      false: Get_Attributes_All of the Port object
                            refused with 0x08, attribute by attribute only
  "node_range": true        false: no attribute 8 (answered 0x14)
  "backplane_port": 1, "ethernet_port": 2   the ports' numbers
  "ethernet_link": "20f52401", "backplane_link": ""  the link objects' paths
The Port object: class attributes 1 revision 1, 2 and 3 two instances, 8
entry port 1; instance 1 the Ethernet port (type 4, "Ethernet", node
address the port segment of the device's address as text), instance 2 the
backplane (type 1, "Backplane", node address the port segment of its own
slot, node range attribute 8 as two UINT). Get_Attributes_All of an
instance holds attributes 1, 2, 3, 4 and 7; the configuration's own "f4/..."
attributes replace the generated ones. An Unconnected Send goes where its
route path leads (port segments, also with an extended link address or
port): a module answers with its own reply to the embedded request, the
bridge's own slot with the bridge's; a route to an empty slot or an unknown
address is answered 0xD2, general status 0x01, extended status 0x0312; a
port the bridge lacks (or a further hop from a module that does not route)
0x0311; a bad segment 0x0315; a target that does not answer within the
timeout (also one slower than it) 0x0204 when the timeout ends; too short a
request 0x13.

Output, one JSON object per line on stdout: {"ready": ...} once the sockets
are bound, {"probe": ...} for every datagram received (with its arrival
time "t", CLOCK_MONOTONIC seconds), {"accepted": {"addr": ..., "t": ...}} for
every TCP connection a device accepted and {"closed": {"addr": ..., "t": ...}}
when it ends (the events of one wake-up share its time), and {"cip": ...} for every
encapsulated request a device took (command, and for SendRRData the
service, path and data; for an Unconnected Send also "route" as
"1,3", "timeout_ms", the embedded request's "embedded_service",
"embedded_path" and "embedded_data", and "route_result": "module",
"bridge", "network", "no_module", "no_port", "bad_segment", "no_answer",
"not_routed" or "short"), and {"done": ...}
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


def key(text, first_width=0):
    """A path of hex numbers, "01/1/a", in one spelling: "1/1/a" (the first
    number at least first_width digits, for the service of a status key)."""
    numbers = [int(part, 16) for part in text.split("/")]
    parts = ["%x" % n for n in numbers]
    if first_width:
        parts[0] = "%0*x" % (first_width, numbers[0])
    return "/".join(parts)


class CipDevice:
    """The explicit-messaging side of one simulated device, or of a module
    in a bridge's chassis."""

    def __init__(self, addr, config, module=False):
        self.addr = config.get("addr", addr)
        self.attributes = {key(k): bytes.fromhex(v) for k, v in config.get("attributes", {}).items()}
        self.get_all = config.get("get_all")
        if self.get_all is not None:
            self.get_all = {key(k): v for k, v in self.get_all.items()}
        self.status = {key(k, 2): int(v, 16) for k, v in config.get("status", {}).items()}
        self.settable = {key(k) for k in config.get("settable", [])}
        self.ignored_sets = {key(k) for k in config.get("ignored_sets", [])}
        self.static_for = {key(k) for k in config.get("static_for", [])}
        self.pending_on_set = config.get("pending_on_set", False)
        self.drop_after_set = {key(k) for k in config.get("drop_after_set", [])}
        self.delay = config.get("reply_delay_ms", 0) / 1000.0
        self.behaviour = config.get("behaviour", "normal")
        self.class_status = {"%x" % int(k, 16): int(v, 16) for k, v in config.get("class_status", {}).items()}
        # Objects whose Get_Attributes_All holds a fixed list of attributes
        # whatever else the instance has (the Port object's 1, 2, 3, 4, 7).
        self.fixed_get_all = {}
        self.answer_hex = bytes.fromhex(config["answer"]) if "answer" in config else None
        self.seed = config.get("seed", 0)
        if module and self.behaviour not in MODULE_BEHAVIOURS:
            raise SystemExit("devices.py: unknown module behaviour %r" % self.behaviour)
        self.chassis = Chassis(self, config["chassis"]) if "chassis" in config else None
        self.reset = config.get("reset", "answer")
        self.sessions = config.get("sessions", "accept")

    def instance_attributes(self, cls, inst):
        prefix = "%x/%x/" % (cls, inst)
        found = [(int(k[len(prefix):], 16), v) for k, v in self.attributes.items() if k.startswith(prefix)]
        return sorted(found)

    def class_exists(self, cls):
        return any(k.startswith("%x/" % cls) for k in self.attributes)

    def answer(self, service, cls, inst, attr, data):
        """(general status, reply data, close afterwards) for one request."""
        key = "%02x/%x/%x" % (service, cls, inst) + ("/%x" % attr if attr is not None else "")
        if key in self.status:
            return self.status[key], b"", False
        if "%x" % cls in self.class_status:
            return self.class_status["%x" % cls], b"", False
        if not self.class_exists(cls):
            return 0x05, b"", False
        attrs = self.instance_attributes(cls, inst)
        if not attrs:
            return 0x16, b"", False
        path = "%x/%x/%x" % (cls, inst, attr) if attr is not None else None
        if service == 0x01 and attr is None:
            object_key = "%x/%x" % (cls, inst)
            wanted = self.fixed_get_all.get(object_key)
            if self.get_all is not None and object_key in self.get_all:
                wanted = self.get_all[object_key]
            elif self.get_all is not None and wanted is None:
                return 0x08, b"", False
            if wanted is not None:
                return 0, b"".join(v for a, v in attrs if a in wanted), False
            return 0, b"".join(v for _, v in attrs), False
        if service == 0x0E and attr is not None:
            if path not in self.attributes:
                return 0x14, b"", False
            return 0, self.attributes[path], False
        if service == 0x10 and attr is not None:
            if path not in self.attributes:
                return 0x14, b"", False
            if path not in self.settable:
                return 0x0E, b"", False
            old = self.attributes[path]
            if len(old) in (1, 4) and len(data) != len(old):
                return (0x13 if len(data) < len(old) else 0x15), b"", False
            if path in self.static_for and self.attributes.get("f5/1/3", b"\0")[0] & 0x0F != 0:
                return 0x0C, b"", False
            if path in self.ignored_sets:
                return 0, b"", False
            self.attributes[path] = bytes(data)
            if self.pending_on_set and path in ("f5/1/3", "f5/1/5") and "f5/1/1" in self.attributes:
                status = bytearray(self.attributes["f5/1/1"])
                status[0] |= 0x20
                self.attributes["f5/1/1"] = bytes(status)
            return 0, b"", path in self.drop_after_set
        if service == 0x05 and cls == 0x01:
            if self.reset == "refuse":
                return 0x10, b"", False
            if "f5/1/1" in self.attributes:
                status = bytearray(self.attributes["f5/1/1"])
                status[0] &= ~0x20 & 0xFF
                self.attributes["f5/1/1"] = bytes(status)
            return 0, b"", self.reset == "close"
        return 0x08, b"", False

    def serve(self, request, record):
        """(reply, seconds until it is ready, close afterwards) for one
        Message Router request; the reply is None when none ever comes. The
        device's own reply_delay_ms is not counted here."""
        if len(request) < 2 or len(request) < 2 + 2 * request[1]:
            return bytes([(request[0] if request else 0) | 0x80, 0, 0x04, 0]), 0.0, False
        service, words = request[0], request[1]
        parsed = parse_path(request[2:2 + 2 * words])
        data = request[2 + 2 * words:]
        if parsed is None:
            return bytes([service | 0x80, 0, 0x04, 0]), 0.0, False
        if service == 0x52 and parsed == (0x06, 1, None) and "52/6/1" not in self.status:
            return self.unconnected_send(data, record)
        status, reply_data, close = self.answer(service, *parsed, data)
        return bytes([service | 0x80, 0, status, 0]) + reply_data, 0.0, close

    def unconnected_send(self, data, record):
        """The Connection Manager's Unconnected Send: the embedded request
        goes where the route path leads, and the answer is the target's own
        (or a routing error, service 0xD2)."""
        routes = self.chassis is not None and self.chassis.routing
        short = bytes([0xD2, 0, 0x13, 0])
        # A device that does not route refuses the service whatever it
        # carries; what it carried is logged all the same.
        not_routed = bytes([0xD2, 0, 0x08, 0])
        if len(data) < 4:
            record["route_result"] = "short" if routes else "not_routed"
            return (short if routes else not_routed), 0.0, False
        tick, ticks, length = data[0], data[1], struct.unpack_from("<H", data, 2)[0]
        embedded = data[4:4 + length]
        end = 4 + length + (length & 1)
        if len(embedded) < length or end + 2 > len(data) or end + 2 + 2 * data[end] > len(data):
            record["route_result"] = "short" if routes else "not_routed"
            return (short if routes else not_routed), 0.0, False
        words = data[end]
        route = bytes(data[end + 2:end + 2 + 2 * words])
        timeout = (1 << (tick & 0x0F)) * ticks / 1000.0
        if routes and self.chassis.timeout_cap > 0:
            timeout = min(timeout, self.chassis.timeout_cap)
        hops = parse_route(route)
        record.update(route=route_text(hops) if hops else route.hex(), timeout_ms=round(timeout * 1000),
                      embedded_service=embedded[0] if embedded else None,
                      embedded_path=embedded[2:2 + 2 * embedded[1]].hex() if len(embedded) >= 2 else "",
                      embedded_data=embedded[2 + 2 * embedded[1]:].hex() if len(embedded) >= 2 else "")
        if not routes:
            record["route_result"] = "not_routed"
            return not_routed, 0.0, False
        reply, ready = self.chassis.route(hops, words, bytes(embedded), timeout, record)
        return reply, ready, False

    def module_reply(self, request):
        """(reply or None, seconds until ready) of a module that a bridge
        forwards the request to: its own answer, as its behaviour spoils it."""
        if self.behaviour == "silent":
            return None, 0.0
        reply, ready, _ = self.serve(request, {})
        if reply is None:
            return None, 0.0
        if self.answer_hex is not None:
            reply = self.answer_hex
        elif self.behaviour == "truncated":
            reply = reply[:3]
        elif self.behaviour == "wrong_service":
            reply = bytes([0x8E if request[0] == 0x01 else 0x81]) + reply[1:]
        elif self.behaviour == "random":
            rng = random.Random(self.seed)
            reply = bytes(rng.randrange(256) for _ in range(12))
        return reply, self.delay + ready


MODULE_BEHAVIOURS = ("normal", "silent", "truncated", "wrong_service", "random")


def uint(value):
    return struct.pack("<H", value)


def port_segment(port, link):
    """A port segment to link address link (bytes), padded to even length."""
    segment = bytearray([min(port, 0x0F) | (0x10 if len(link) > 1 else 0)])
    if len(link) > 1:
        segment.append(len(link))
    if port >= 0x0F:
        segment += uint(port)
    segment += link
    if len(segment) % 2:
        segment.append(0)
    return bytes(segment)


def sized_path(path):
    """A padded path after its size in 16-bit words (UINT)."""
    return uint(len(path) // 2) + path


def parse_route(route):
    """[(port, link address bytes, segment length)] of a route path of port
    segments, or None when it holds anything else or ends early."""
    hops = []
    i = 0
    while i < len(route):
        start, first = i, route[i]
        if first & 0xE0:
            return None  # not a port segment
        i += 1
        size = 1
        if first & 0x10:
            if i >= len(route):
                return None
            size = route[i]
            i += 1
        port = first & 0x0F
        if port == 0x0F:
            if i + 2 > len(route):
                return None
            port = struct.unpack_from("<H", route, i)[0]
            i += 2
        if port == 0 or size == 0 or i + size > len(route):
            return None
        link = route[i:i + size]
        i += size
        i += (i - start) % 2
        if i > len(route):
            return None
        hops.append((port, bytes(link), i - start))
    return hops or None


def link_text(link):
    return str(link[0]) if len(link) == 1 else link.decode("latin-1")


def route_text(hops):
    """A route as the command line's --route takes it: "1,3,2,10.0.0.9"."""
    return ",".join("%d,%s" % (port, link_text(link)) for port, link, _ in hops)


class Chassis:
    """What makes a CipDevice a bridge: its Port object (an EtherNet/IP port
    and a backplane port), the modules in the slots of its backplane and the
    devices reachable through its Ethernet port."""

    def __init__(self, device, config):
        self.device = device
        self.slot = config.get("slot", 0)
        self.slots = config.get("slots", [0, 16])
        self.backplane_port = config.get("backplane_port", 1)
        self.ethernet_port = config.get("ethernet_port", 2)
        self.routing = config.get("routing", True)
        self.remaining_path_size = config.get("remaining_path_size", True)
        self.timeout_cap = config.get("timeout_cap_ms", 1000) / 1000.0
        self.one_at_a_time = config.get("one_at_a_time", False)
        self.modules = {int(slot): CipDevice("", module, True) for slot, module in config.get("modules", {}).items()}
        self.network = {addr: CipDevice(addr, target, True) for addr, target in config.get("network", {}).items()}
        if config.get("port_object", True):
            self.add_port_object(config)

    def add_port_object(self, config):
        dev = self.device
        ethernet_node = port_segment(self.ethernet_port, dev.addr.encode("latin-1"))
        backplane_node = port_segment(self.backplane_port, bytes([self.slot]))
        ports = {
            1: (4, self.ethernet_port, bytes.fromhex(config.get("ethernet_link", "20f52401")), b"Ethernet",
                ethernet_node),
            2: (1, self.backplane_port, bytes.fromhex(config.get("backplane_link", "")), b"Backplane",
                backplane_node),
        }
        generated = {"f4/0/1": uint(1), "f4/0/2": uint(len(ports)), "f4/0/3": uint(len(ports)), "f4/0/8": uint(1)}
        for inst, (kind, number, link, name, node) in ports.items():
            generated.update({"f4/%x/1" % inst: uint(kind), "f4/%x/2" % inst: uint(number),
                              "f4/%x/3" % inst: sized_path(link), "f4/%x/4" % inst: bytes([len(name)]) + name,
                              "f4/%x/7" % inst: sized_path(node)})
            dev.fixed_get_all.setdefault("f4/%x" % inst, [1, 2, 3, 4, 7])
            if not config.get("port_get_all", True):
                dev.status.setdefault("01/f4/%x" % inst, 0x08)
        if not config.get("port_get_all", True):
            dev.status.setdefault("01/f4/0", 0x08)
        if config.get("node_range", True):
            generated["f4/2/8"] = uint(self.slots[0]) + uint(self.slots[1])
        for k, v in generated.items():
            dev.attributes.setdefault(k, v)  # the configuration's own attributes win

    def error(self, extended, words, result, record):
        """An Unconnected Send routing error: general status 0x01 with one
        extended status, and for a routing fault the remaining path size."""
        record["route_result"] = result
        reply = bytes([0xD2, 0, 0x01, 1]) + uint(extended)
        if words is not None and self.remaining_path_size:
            reply += bytes([words])
        return reply

    def route(self, hops, words, embedded, timeout, record):
        """(reply, seconds until it is ready) for the embedded request sent
        along hops (the route path's words still to go)."""
        if hops is None:
            return self.error(0x0315, words, "bad_segment", record), 0.0
        port, link, size = hops[0]
        rest, rest_words = hops[1:], words - size // 2
        if port == self.backplane_port:
            slot = link[0] if len(link) == 1 else None
            if slot == self.slot:
                target, result = self.device, "bridge"
            elif slot in self.modules:
                target, result = self.modules[slot], "module"
            else:
                return self.error(0x0312, words, "no_module", record), 0.0
        elif port == self.ethernet_port:
            target, result = self.network.get(link.decode("latin-1")), "network"
            if target is None:
                return self.error(0x0312, words, "no_module", record), 0.0
        else:
            return self.error(0x0311, words, "no_port", record), 0.0
        if rest:
            # The next hop is the target's to route.
            if target.chassis is None or not target.chassis.routing:
                return self.error(0x0311, rest_words, "no_port", record), 0.0
            reply, ready = target.chassis.route(rest, rest_words, embedded, timeout, record)
            ready += target.delay if target is not self.device else 0.0
        elif target is self.device:
            reply, ready, _ = self.device.serve(embedded, {})
        else:
            reply, ready = target.module_reply(embedded)
        if reply is None or ready > timeout:
            return self.error(0x0204, None, "no_answer", record), timeout
        record.setdefault("route_result", result)
        return reply, ready


def parse_path(path):
    """(class, instance, attribute or None) of a padded logical path."""
    values = {}
    i = 0
    while i + 1 < len(path):
        kind = path[i]
        if kind in (0x20, 0x24, 0x30):
            values[kind] = path[i + 1]
            i += 2
        elif kind in (0x21, 0x25, 0x31) and i + 3 < len(path):
            values[kind - 1] = struct.unpack_from("<H", path, i + 2)[0]
            i += 4
        elif kind == 0x26 and i + 5 < len(path):
            # A 32-bit instance, as devices with many instances (a vendor's
            # data tables) take it.
            values[0x24] = struct.unpack_from("<I", path, i + 2)[0]
            i += 6
        else:
            return None
    if 0x20 not in values or 0x24 not in values:
        return None
    return values[0x20], values[0x24], values.get(0x30)


class CipConnection:
    """One TCP connection to a CipDevice."""

    def __init__(self, device, sock):
        self.device = device
        self.sock = sock
        self.buffer = b""
        self.session = 0
        self.answered = 0
        self.closed = False
        self.busy_until = 0.0

    def messages(self, data):
        """Complete encapsulation messages of the bytes received so far."""
        self.buffer += data
        while len(self.buffer) >= 24:
            length = struct.unpack_from("<H", self.buffer, 2)[0]
            if len(self.buffer) < 24 + length:
                break
            yield self.buffer[:24 + length]
            self.buffer = self.buffer[24 + length:]

    def handle(self, message):
        """[(delay, bytes, close)] to send for one request; logs it."""
        command, length, session, _, context, _ = struct.unpack_from("<HHII8sI", message)
        body = message[24:]
        record = {"addr": self.device.addr, "command": command, "t": time.monotonic()}
        reply_header = lambda cmd, data, status=0, sess=None: struct.pack(
            "<HHII8sI", cmd, len(data), self.session if sess is None else sess, status, context, 0) + data
        if command == 0x0065:
            log(cip=record)
            version = struct.unpack_from("<H", body)[0] if len(body) >= 2 else 0
            if version != 1:
                return [(0, reply_header(0x0065, body, 0x69, 0), False)]
            if self.device.sessions == "refuse":
                return [(0, reply_header(0x0065, body, 0x0002, 0), False)]
            if self.device.sessions == "close":
                return [(0, b"", True)]
            self.session = random.randint(1, 0xFFFFFFFF)
            return [(0, reply_header(0x0065, body), False)]
        if command == 0x0066:
            log(cip=record)
            return [(0, b"", True)]
        if command != 0x006F:
            log(cip=record)
            return [(0, reply_header(command, b"", 0x0001), False)]
        if session != self.session or self.session == 0:
            log(cip=record)
            return [(0, reply_header(command, b"", 0x0064, session), False)]
        # Interface handle, timeout, item count, then the items.
        offset = 8
        count = struct.unpack_from("<H", body, 6)[0] if len(body) >= 8 else 0
        request = None
        for _ in range(count):
            if offset + 4 > len(body):
                break
            kind, size = struct.unpack_from("<HH", body, offset)
            if kind == 0x00B2:
                request = body[offset + 4:offset + 4 + size]
            offset += 4 + size
        if not request or len(request) < 2 or len(request) < 2 + 2 * request[1]:
            log(cip=record)
            return [(0, reply_header(command, b"", 0x0003), False)]
        service, words = request[0], request[1]
        record.update(service=service, path=request[2:2 + 2 * words].hex(), data=request[2 + 2 * words:].hex())
        response, ready, close = self.device.serve(request, record)
        log(cip=record)
        if close:
            return [(0, b"", True)]
        if response is None:
            return []
        if service == 0x05 and self.device.reset == "silent" and response[2] == 0:
            return []
        if self.device.behaviour == "wrong_service":
            response = bytes([0x81 if service != 0x01 else 0x8E]) + response[1:]
        cpf = struct.pack("<IHHHHHH", 0, 0, 2, 0, 0, 0x00B2, len(response)) + response
        sess = self.session + 1 if self.device.behaviour == "wrong_session" else None
        reply = reply_header(0x006F, cpf, 0, sess)
        behaviour = self.device.behaviour
        delay = self.device.delay + ready
        if self.device.chassis is not None and self.device.chassis.one_at_a_time:
            # The next request is taken only once the one before is answered.
            now = time.monotonic()
            due = max(now, self.busy_until) + delay
            self.busy_until = due
            delay = due - now
        self.answered += 1
        if behaviour == "close_mid_reply":
            return [(delay, reply[:len(reply) // 2], True)]
        if behaviour == "huge_length":
            return [(delay, reply[:2] + b"\xff\xff" + reply[4:], False)]
        if behaviour == "garbage":
            return [(delay, b"HTTP/1.1 400 Bad Request\r\n\r\n", False)]
        return [(delay, reply, False)]


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
    for dev in devices:
        if "cip" not in dev:
            continue
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind((dev["addr"], 44818))
        listener.listen(16)
        listener.setblocking(False)
        sel.register(listener, selectors.EVENT_READ, ("listen", CipDevice(dev["addr"], dev["cip"])))
    # TCP sends that are due later: (due, sequence, connection, bytes, close)
    tcp_queue = []
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
        while tcp_queue and tcp_queue[0][0] <= now:
            _, _, conn, payload, close = heapq.heappop(tcp_queue)
            if conn.closed:
                continue
            try:
                if payload:
                    conn.sock.sendall(payload)
                if close:
                    conn.closed = True
                    log(closed={"addr": conn.device.addr, "t": now})
                    sel.unregister(conn.sock)
                    conn.sock.close()
            except OSError:
                # Still registered: its end is logged when it is read.
                conn.closed = True
        if deadline and now >= deadline:
            break
        timeout = None
        if queue:
            timeout = max(0.0, queue[0][0] - now)
        if tcp_queue:
            timeout = min(timeout if timeout is not None else 1e9, max(0.0, tcp_queue[0][0] - now))
        if deadline:
            timeout = min(timeout if timeout is not None else 1e9, max(0.0, deadline - now))
        ready = sel.select(timeout)
        # One time for every event of this wake-up, so that a connection
        # that ended and one accepted in it are not told apart by the order
        # in which they are handled here.
        woke = time.monotonic()
        for key, _ in ready:
            if key.data == "stdin":
                if not sys.stdin.readline():
                    stdin_open = False
                    sel.unregister(sys.stdin)
                continue
            if isinstance(key.data, tuple) and key.data[0] == "listen":
                conn_sock, _ = key.fileobj.accept()
                log(accepted={"addr": key.data[1].addr, "t": woke})
                conn_sock.setblocking(True)
                # Each answer goes out when it is ready, not held back until
                # the previous one is acknowledged.
                conn_sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                sel.register(conn_sock, selectors.EVENT_READ, ("conn", CipConnection(key.data[1], conn_sock)))
                continue
            if isinstance(key.data, tuple) and key.data[0] == "conn":
                conn = key.data[1]
                try:
                    data = conn.sock.recv(65536)
                except OSError:
                    data = b""
                if not data:
                    conn.closed = True
                    log(closed={"addr": conn.device.addr, "t": woke})
                    sel.unregister(conn.sock)
                    conn.sock.close()
                    continue
                for message in conn.messages(data):
                    for delay, payload, close in conn.handle(message):
                        behaviour = conn.device.behaviour
                        if behaviour == "silent":
                            continue
                        base = time.monotonic() + delay
                        if behaviour == "drip" and payload:
                            # One byte a second, the first at once.
                            for i in range(len(payload)):
                                sequence += 1
                                heapq.heappush(tcp_queue, (base + i, sequence, conn, payload[i:i + 1],
                                                           close and i == len(payload) - 1))
                            continue
                        sequence += 1
                        heapq.heappush(tcp_queue, (base, sequence, conn, payload, close))
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
