#!/usr/bin/env python3
"""The device simulator's chassis, checked with raw frames over TCP.

Runs inside tests/rig/rig.sh with the link 10.208.1.1/24: starts devices.py
in the device namespace with a few bridges and sends them hand-built
SendRRData requests (Port object reads and Unconnected Sends), several in
flight on one connection, and compares every answer byte by byte, its
sender context and, for a slot that never answers, its timing. Exits 0 when
everything matched, 1 with the differences otherwise.

usage: chassis-check.py
"""

import json
import os
import socket
import struct
import subprocess
import sys
import time

BRIDGE = "10.208.1.10"  # a chassis of 17 slots
PLAIN = "10.208.1.11"  # no chassis: does not route
NO_PORTS = "10.208.1.12"  # a bridge without a Port object, answering 0x16
PARTIAL = "10.208.1.13"  # Port object without Get_Attributes_All nor node range
SERIAL = "10.208.1.14"  # serves one request at a time

failures = []


def check(name, got, expected):
    if got != expected:
        failures.append("%s: got %s, expected %s" % (name, got, expected))


def short_string(text):
    return bytes([len(text)]).hex() + text.encode().hex()


def identity(name, serial, product=0x0041, device_type=0x000C):
    """A module's Identity object, attributes 1 to 7, as devices.py takes it."""
    return {"01/1/1": "0100", "01/1/2": struct.pack("<H", device_type).hex(),
            "01/1/3": struct.pack("<H", product).hex(), "01/1/4": "0203", "01/1/5": "6000",
            "01/1/6": struct.pack("<I", serial).hex(), "01/1/7": short_string(name)}


def identity_reply(name, serial, product=0x0041, device_type=0x000C):
    attrs = identity(name, serial, product, device_type)
    return "81000000" + "".join(attrs["01/1/%d" % i] for i in range(1, 8))


CONFIG = {"devices": [
    {"addr": BRIDGE, "port": 44818, "cip": {
        "attributes": identity("1756-EN2T/D", 0x10203040),
        "chassis": {"slot": 0, "slots": [0, 16], "modules": {
            "1": {"attributes": identity("1756-L83E/B", 0x01, 0x00A6, 0x000E), "reply_delay_ms": 10},
            "3": {"attributes": dict(identity("1756-EN2TR/C", 0x03), **{"f5/1/1": "01000000"}),
                  "reply_delay_ms": 5, "addr": "10.0.0.3",
                  "chassis": {"network": {"10.0.0.9": {"attributes": identity("Remote IO", 0x09)}}}},
            "4": {"attributes": identity("Silent", 0x04), "behaviour": "silent"},
            "6": {"attributes": identity("Slow", 0x06), "reply_delay_ms": 2000},
            "7": {"attributes": identity("Cut", 0x07), "behaviour": "truncated"},
            "8": {"attributes": identity("Other", 0x08), "behaviour": "wrong_service"},
            "9": {"attributes": identity("Noise", 0x09), "behaviour": "random"}}}}},
    {"addr": PLAIN, "port": 44818, "cip": {"attributes": identity("Adapter", 0x11)}},
    {"addr": NO_PORTS, "port": 44818, "cip": {
        "attributes": identity("Bridge", 0x12), "class_status": {"f4": "16"},
        "chassis": {"port_object": False, "modules": {"2": {"attributes": identity("In slot 2", 0x22)}}}}},
    {"addr": PARTIAL, "port": 44818, "cip": {
        "attributes": identity("Bridge", 0x13),
        "chassis": {"slot": 2, "port_get_all": False, "node_range": False, "remaining_path_size": False}}},
    {"addr": SERIAL, "port": 44818, "cip": {
        "attributes": identity("Bridge", 0x14),
        "chassis": {"one_at_a_time": True, "modules": {
            "1": {"attributes": identity("Slow", 0x41), "reply_delay_ms": 150},
            "2": {"attributes": identity("Quick", 0x42), "reply_delay_ms": 10}}}}},
]}

GET_IDENTITY = bytes.fromhex("01022001 2401".replace(" ", ""))


def unconnected_send(embedded, route, tick=0x0A, ticks=5):
    """An Unconnected Send request to the Connection Manager (6/1)."""
    data = bytes([tick, ticks]) + struct.pack("<H", len(embedded)) + embedded
    if len(embedded) % 2:
        data += b"\0"
    return bytes.fromhex("52022006 2401".replace(" ", "")) + data + bytes([len(route) // 2, 0]) + route


class Session:
    def __init__(self, addr):
        self.sock = socket.create_connection((addr, 44818), timeout=5)
        self.buffer = b""
        self.session = 0
        command, _, self.session, status, _, body = self.exchange([(b"register", None)])[0][1]
        check(addr + " RegisterSession", (command, status), (0x65, 0))

    def frame(self, context, request):
        if request is None:
            return struct.pack("<HHII8sI", 0x65, 4, 0, 0, context.ljust(8, b"\0"), 0) + b"\x01\x00\x00\x00"
        cpf = struct.pack("<IHHHHHH", 0, 0, 2, 0, 0, 0xB2, len(request)) + request
        return struct.pack("<HHII8sI", 0x6F, len(cpf), self.session, 0, context.ljust(8, b"\0"), 0) + cpf

    def exchange(self, requests, wait=3.0):
        """Sends every (context, request) at once and returns
        [(seconds after sending, (command, length, session, status, context,
        body))] in the order the answers came."""
        start = time.monotonic()
        self.sock.sendall(b"".join(self.frame(c, r) for c, r in requests))
        answers = []
        while len(answers) < len(requests) and time.monotonic() - start < wait:
            self.sock.settimeout(max(0.01, wait - (time.monotonic() - start)))
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                break
            if not data:
                break
            self.buffer += data
            while len(self.buffer) >= 24:
                length = struct.unpack_from("<H", self.buffer, 2)[0]
                if len(self.buffer) < 24 + length:
                    break
                command, length, session, status, context, _ = struct.unpack_from("<HHII8sI", self.buffer)
                answers.append((time.monotonic() - start,
                                (command, length, session, status, context.rstrip(b"\0"),
                                 self.buffer[24:24 + length])))
                self.buffer = self.buffer[24 + length:]
        return answers

    def ask(self, request):
        """The Message Router answer (hex) to one request; "" for none."""
        answers = self.exchange([(b"one", request)])
        if not answers:
            return ""
        body = answers[0][1][5]
        return body[16:].hex() if len(body) >= 16 else body.hex()


def main():
    ns, script = os.environ.get("RIG_DEV_NS"), os.environ.get("RIG_DEVICES_PY")
    if not ns or not script:
        raise SystemExit("chassis-check.py: runs only inside tests/rig/rig.sh")
    sim = subprocess.Popen(["ip", "netns", "exec", ns, "python3", script, "-"], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, text=True)
    sim.stdin.write(json.dumps(CONFIG) + "\n")
    sim.stdin.flush()
    if not json.loads(sim.stdout.readline()).get("ready"):
        raise SystemExit("chassis-check.py: the simulator did not start")

    bridge = Session(BRIDGE)
    # The Port object, instance by instance and attribute by attribute.
    ethernet_node = "0700" + "120b" + BRIDGE.encode().hex() + "00"
    check("port 1", bridge.ask(bytes.fromhex("010220f42401")),
          "81000000" + "0400" "0200" "020020f52401" + short_string("Ethernet") + ethernet_node)
    check("port 2", bridge.ask(bytes.fromhex("010220f42402")),
          "81000000" + "0100" "0100" "0000" + short_string("Backplane") + "0100" "0100")
    check("node range", bridge.ask(bytes.fromhex("0e0320f424023008")), "8e000000" "0000" "1000")
    check("entry port", bridge.ask(bytes.fromhex("0e0320f424003008")), "8e000000" "0100")
    check("highest port", bridge.ask(bytes.fromhex("0e0320f424003002")), "8e000000" "0200")

    # Routed requests, one at a time.
    single = [
        ("module in slot 1", b"\x01\x01", identity_reply("1756-L83E/B", 0x01, 0x00A6, 0x000E)),
        ("own slot", b"\x01\x00", identity_reply("1756-EN2T/D", 0x10203040)),
        ("empty slot", b"\x01\x05", "d2000101120301"),
        ("slot past the range", b"\x01\x20", "d2000101120301"),
        ("no such port", b"\x03\x01", "d2000101110301"),
        ("extended port 18", b"\x0f\x12\x00\x01", "d2000101110302"),
        ("extended link on the backplane", b"\x11\x02\x01\x00", "d2000101120302"),
        ("logical segment", b"\x20\x01", "d2000101150301"),
        ("path ends early", b"\x11\x09\x01\x00", "d2000101150302"),
        ("truncated answer", b"\x01\x07", "810000"),
        ("wrong service", b"\x01\x08", identity_reply("Other", 0x08).replace("81", "8e", 1)),
        ("two hops", b"\x01\x03\x12\x0810.0.0.9", identity_reply("Remote IO", 0x09)),
        ("two hops, unknown address", b"\x01\x03\x12\x0810.0.0.8", "d2000101120305"),
        ("two hops through a module that does not route", b"\x01\x01\x12\x0810.0.0.9", "d2000101110305"),
    ]
    for name, route, expected in single:
        check(name, bridge.ask(unconnected_send(GET_IDENTITY, route)), expected)
    noise = bridge.ask(unconnected_send(GET_IDENTITY, b"\x01\x09"))
    check("random answer length", len(noise), 24)
    check("random answer is the same each time", bridge.ask(unconnected_send(GET_IDENTITY, b"\x01\x09")), noise)
    # An odd embedded length (a Reset with its type byte, 7 bytes) takes a
    # pad byte before the route; the log shows what reached the module.
    check("odd embedded length", bridge.ask(unconnected_send(bytes.fromhex("05022001240100"), b"\x01\x03")),
          "85000000")
    check("too short", bridge.ask(bytes.fromhex("52022006 2401 0a05 0600 0102".replace(" ", ""))), "d2001300")

    # In flight together: the slot that never answers (the 5120 ms asked for
    # capped at 1 s), a slow module whose 2 s exceed a 640 ms timeout, a
    # request to the bridge itself and a module 10 ms away; each answer
    # comes when it is ready and carries its own sender context.
    answers = bridge.exchange([
        (b"silent", unconnected_send(GET_IDENTITY, b"\x01\x04")),
        (b"slow", unconnected_send(GET_IDENTITY, b"\x01\x06", tick=0x06, ticks=10)),
        (b"bridge", GET_IDENTITY),
        (b"slot1", unconnected_send(GET_IDENTITY, b"\x01\x01")),
    ])
    check("pipelined order", [a[1][4] for a in answers], [b"bridge", b"slot1", b"slow", b"silent"])
    got = {a[1][4]: (a[0], a[1][5][16:].hex()) for a in answers}
    check("silent slot", got.get(b"silent", (0, ""))[1], "d2000101" "0402")
    check("slow slot", got.get(b"slow", (0, ""))[1], "d2000101" "0402")
    check("module behind the silent slot", got.get(b"slot1", (0, ""))[1],
          identity_reply("1756-L83E/B", 0x01, 0x00A6, 0x000E))
    timings = {k: round(v[0], 3) for k, v in got.items()}
    if not (0.95 <= timings.get(b"silent", 0) <= 1.2 and 0.6 <= timings.get(b"slow", 0) <= 0.8
            and 0.01 <= timings.get(b"slot1", 0) <= 0.3):
        failures.append("timings: %s" % timings)
    print("chassis-check.py: pipelined answers after %s s" % {k.decode(): v for k, v in timings.items()})

    check("plain adapter", Session(PLAIN).ask(unconnected_send(GET_IDENTITY, b"\x01\x01")), "d2000800")
    no_ports = Session(NO_PORTS)
    check("no Port object", no_ports.ask(bytes.fromhex("010220f42401")), "81001600")
    check("no Port object, routed", no_ports.ask(unconnected_send(GET_IDENTITY, b"\x01\x02")),
          identity_reply("In slot 2", 0x22))
    partial = Session(PARTIAL)
    check("no Get_Attributes_All", partial.ask(bytes.fromhex("010220f42402")), "81000800")
    check("port type alone", partial.ask(bytes.fromhex("0e0320f424023001")), "8e000000" "0100")
    check("own slot 2", partial.ask(bytes.fromhex("0e0320f424023007")), "8e000000" "0100" "0102")
    check("no node range", partial.ask(bytes.fromhex("0e0320f424023008")), "8e001400")
    check("without remaining path size", partial.ask(unconnected_send(GET_IDENTITY, b"\x01\x05")), "d2000101" "1203")
    check("own slot 2, routed", partial.ask(unconnected_send(GET_IDENTITY, b"\x01\x02")),
          identity_reply("Bridge", 0x13))

    # One at a time: the quick module's answer waits for the slow one's.
    answers = Session(SERIAL).exchange([(b"slow", unconnected_send(GET_IDENTITY, b"\x01\x01")),
                                        (b"quick", unconnected_send(GET_IDENTITY, b"\x01\x02"))])
    timings = {a[1][4]: round(a[0], 3) for a in answers}
    slow, quick = timings.get(b"slow", 0), timings.get(b"quick", 0)
    if not (0.14 <= slow <= 0.3 and 0.008 <= quick - slow <= 0.1):
        failures.append("one at a time: %s" % timings)
    check("one at a time, in order", [a[1][4] for a in answers], [b"slow", b"quick"])

    sim.stdin.close()
    records = [json.loads(line)["cip"] for line in sim.stdout if line.startswith('{"cip"')]
    sim.wait(10)
    routed = [(r.get("route"), r.get("route_result"), r.get("embedded_service"), r.get("timeout_ms"))
              for r in records if r.get("addr") == BRIDGE and r.get("service") == 0x52]
    check("log of the first routed requests", routed[:3],
          [("1,1", "module", 1, 1000), ("1,0", "bridge", 1, 1000), ("1,5", "no_module", 1, 1000)])
    check("log of a two-hop route", ("1,3,2,10.0.0.9", "network", 1, 1000) in routed, True)
    check("log of the slow slot", ("1,6", "no_answer", 1, 640) in routed, True)
    resets = [r.get("embedded_data") for r in records if r.get("embedded_service") == 0x05]
    check("log of the reset behind the bridge", resets, ["00"])
    if failures:
        sys.stderr.write("chassis-check.py: FAILED\n  " + "\n  ".join(failures) + "\n")
        return 1
    print("chassis-check.py: %d routed requests answered as expected" % len(routed))
    return 0


if __name__ == "__main__":
    sys.exit(main())
