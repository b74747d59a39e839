#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: for the codec (corpus/),
valid ListIdentity replies and malformed ones (short, over-long, item counts
the datagram cannot hold, every other command, long names),
explicit-messaging answers over TCP (RegisterSession, SendRRData with
Get_Attributes_All replies of the Identity, TCP/IP Interface and Ethernet
Link objects, refusals, cut and over-long ones), and what goes through a
bridge (routes as port segments and as text, Unconnected Send requests,
the bridge's routing errors, Port object replies); for the address server
(corpus-bootp/), BOOTP and DHCP requests and malformed ones (short, wrong
cookie, bad hardware length, options past the end, no end option).
scripts/fuzz-coverage.sh shows which branches of the codec's decode they
reach."""

import os
import struct
import sys


def header(command=0x0063, length=0):
    return struct.pack("<HHII8sI", command, length, 0, 0, b"\0" * 8, 0)


def sockaddr(family=2, port=44818, addr=0xC0A8010A, zero=b"\0" * 8):
    return struct.pack(">hHI8s", family, port, addr, zero)


def identity(name=b"1756-ENBT/A", serial=0x00A1B2C3, name_length=None):
    if name_length is None:
        name_length = len(name)
    return (struct.pack("<HHHBBHIB", 1, 0x0C, 3, 3, 7, 0x30, serial, name_length)
            + name + b"\x03")


def item(type_id, data, length=None):
    return struct.pack("<HH", type_id, len(data) if length is None else length) + data


def cpf(*items, count=None):
    return struct.pack("<H", len(items) if count is None else count) + b"".join(items)


def reply(body, command=0x0063):
    return header(command, len(body)) + body


IDENTITY = struct.pack("<H", 1) + sockaddr() + identity()

SEEDS = {
    "valid-one-device": reply(cpf(item(0x000C, IDENTITY))),
    "valid-two-items": reply(cpf(item(0x0086, b"\x01\x02"), item(0x000C, IDENTITY))),
    "valid-latin1-name": reply(cpf(item(0x000C, struct.pack("<H", 1) + sockaddr()
                                        + identity(b"Ger\xe4t \xff")))),
    "valid-name-32": reply(cpf(item(0x000C, struct.pack("<H", 1) + sockaddr()
                                    + identity(b"N" * 32)))),
    "header-only": header(),
    "short-header": header()[:23],
    "wrong-command": reply(cpf(item(0x000C, IDENTITY)), command=0x0065),
    "unknown-command": reply(cpf(item(0x000C, IDENTITY)), command=0x6300),
    "name-33": reply(cpf(item(0x000C, struct.pack("<H", 1) + sockaddr()
                              + identity(b"N" * 33)))),
    "name-cut-short": reply(cpf(item(0x000C, struct.pack("<H", 1) + sockaddr()
                                     + identity(b"AB", name_length=20)[:-1]))),
    "item-past-end": reply(cpf(item(0x000C, IDENTITY, length=0xFFFF))),
    "count-past-end": reply(cpf(item(0x000C, IDENTITY), count=0xFFFF)),
    "identity-cut-short": reply(cpf(item(0x000C, IDENTITY[:24]))),
    "count-past-end-26-bytes": reply(cpf(count=0xFFFF)),
    "second-item-one-byte": reply(cpf(item(0x000C, IDENTITY), count=2) + b"\x0c"),
    "many-items": reply(cpf(*[item(0x0086, b"")] * 349, item(0x000C, IDENTITY))),
    "empty": b"",
}
def rr_reply(message, session=7, status=0, count=2):
    data = struct.pack("<IHH", 0, 0, count) + struct.pack("<HH", 0, 0) + item(0x00B2, message)
    return struct.pack("<HHII8sI", 0x006F, len(data), session, status, b"\0" * 8, 0) + data


def cip_string(text):
    return struct.pack("<H", len(text)) + text + (b"\0" if len(text) % 2 else b"")


TCPIP_ALL = (struct.pack("<III", 0x31, 0xD4, 0) + struct.pack("<H", 2) + bytes.fromhex("20f62401")
             + struct.pack("<IIIII", 0x0ACE010A, 0xFFFFFF00, 0x0ACE0101, 0, 0) + cip_string(b"plant")
             + cip_string(b"io-7") + b"\0" * 6 + b"\x01" + b"\0" * 8 + b"\x01" + b"\x01" + b"\0" * 34)
IDENTITY_ALL = identity()[:-1]
LINK_ALL = struct.pack("<II", 100, 0x0F) + bytes.fromhex("001d9c010203")

SEEDS.update({
    "tcp-register-session": struct.pack("<HHII8sI", 0x0065, 4, 0x1234, 0, b"\0" * 8, 0) + struct.pack("<HH", 1, 0),
    "tcp-register-refused": struct.pack("<HHII8sI", 0x0065, 0, 0, 0x69, b"\0" * 8, 0),
    "tcp-tcpip-all": rr_reply(b"\x81\0\0\0" + TCPIP_ALL),
    "tcp-tcpip-short": rr_reply(b"\x81\0\0\0" + TCPIP_ALL[:40]),
    "tcp-identity-all": rr_reply(b"\x81\0\0\0" + IDENTITY_ALL),
    "tcp-link-all": rr_reply(b"\x81\0\0\0" + LINK_ALL),
    "tcp-status-0x14": rr_reply(b"\x8e\0\x14\0"),
    "tcp-additional-status": rr_reply(b"\x90\0\x0c\x02\x34\x12\x78\x56"),
    "tcp-additional-past-end": rr_reply(b"\x90\0\x0c\xff"),
    "tcp-session-refused": struct.pack("<HHII8sI", 0x006F, 0, 7, 0x64, b"\0" * 8, 0),
    "tcp-count-past-end": rr_reply(b"\x81\0\0\0", count=0xFFFF),
    "tcp-huge-length": struct.pack("<HHII8sI", 0x006F, 0xFFFF, 7, 0, b"\0" * 8, 0) + b"\0" * 30,
    "tcp-http": b"HTTP/1.1 400 Bad Request\r\n\r\n",
    "tcp-request": struct.pack("<HHII8sI", 0x006F, 24, 7, 0, b"\0" * 8, 0) + struct.pack("<IHH", 0, 0, 2)
    + struct.pack("<HH", 0, 0) + item(0x00B2, bytes.fromhex("0e0320f5240130 06".replace(" ", ""))),
    "attr-tcpip-all": TCPIP_ALL,
    "attr-host-name-long": struct.pack("<H", 0xFFFF) + b"abc",
})

ETHERNET_PORT = (struct.pack("<HHH", 4, 2, 2) + bytes.fromhex("20f62401") + b"\x08Ethernet"
                 + struct.pack("<H", 7) + b"\x12\x0c192.168.1.10")
BACKPLANE_PORT = struct.pack("<HHH", 1, 1, 0) + b"\x09Backplane" + struct.pack("<H", 1) + b"\x01\x02"
UCS_DATA = b"\x07\x07\x06\x00" + bytes.fromhex("010220012401") + b"\x06\x00" + b"\x01\x02\x12\x0810.0.0.5"

SEEDS.update({
    "route-slot": bytes.fromhex("0103"),
    "route-two-hops": b"\x01\x02\x12\x0810.0.0.5",
    "route-extended-port-and-link": b"\x1f\x09\x14\x0010.0.0.50\x00",
    "route-text-slot": b"1,3",
    "route-text-two-hops": b"1,2,2,10.0.0.5",
    "route-text-extended": b"20,010.0.0.50",
    "ucs-data": UCS_DATA,
    "ucs-data-odd": b"\x07\x07\x09\x00" + bytes.fromhex("100320f52401300801") + b"\x00\x01\x00\x01\x03",
    "ucs-request": bytes.fromhex("520220062401") + UCS_DATA,
    "tcp-routed-no-module": rr_reply(bytes.fromhex("d2000101120301")),
    "tcp-routed-timed-out": rr_reply(bytes.fromhex("d20001010402")),
    "tcp-routed-not-routing": rr_reply(bytes.fromhex("d2000800")),
    "tcp-routed-port": rr_reply(b"\x81\0\0\0" + BACKPLANE_PORT),
    "attr-port-ethernet": ETHERNET_PORT,
    "attr-port-backplane": BACKPLANE_PORT,
    "attr-port-no-node-address": BACKPLANE_PORT[:16],
    "attr-port-name-cut": BACKPLANE_PORT[:10],
    "route-logical-segment": bytes.fromhex("2006"),
    "route-link-cut": bytes.fromhex("1205414243"),
    "route-extended-port-0": bytes.fromhex("0f000003"),
    "route-text-port-0": b"0,3",
    "route-text-bad-address": b"2,10.0.0.256",
    "route-text-odd": b"1,3,2",
    "ucs-data-cut": UCS_DATA[:-3],
    "tcp-routed-success-claimed": rr_reply(bytes.fromhex("d2000000")),
})

# Answers to requests of any service, the largest the framing allows among
# them (4096 bytes of encapsulated data), requests with 16- and 32-bit
# segments, and typed request fields for the request parser.
SEEDS.update({
    "tcp-vendor-service": rr_reply(b"\xcb\0\0\0" + bytes.fromhex("0500") + b"hello" + b"\x4b"),
    "tcp-framing-limit": rr_reply(b"\x8e\0\0\x02\x34\x12\x78\x56" + b"\x5a" * (4096 - 16 - 8) + b""),
    "tcp-request-32-bit-instance": struct.pack("<HHII8sI", 0x006F, 30, 7, 0, b"\0" * 8, 0)
    + struct.pack("<IHH", 0, 0, 2) + struct.pack("<HH", 0, 0)
    + item(0x00B2, bytes.fromhex("0e0620012600ffffffff31000001")),
    "readings-real-nan": bytes.fromhex("0000c07f"),
    "readings-short-string": bytes.fromhex("03414243"),
    "request-fields": b"Get_Attribute_Single|0xF5|1|6|",
    "request-fields-data": b"0x10|0x300|0x12345678|0x100|01 02 0a",
})

# Every other command that the header read accepts, each ignored by the
# reply decode.
for command in (0x0000, 0x0004, 0x0064, 0x0066, 0x006F, 0x0070, 0x0072, 0x0073):
    SEEDS["command-%04x" % command] = reply(cpf(item(0x000C, IDENTITY)), command=command)


def bootp(vendor, op=1, htype=1, hlen=6, giaddr=0):
    fixed = struct.pack(">BBBBIHHIIII", op, htype, hlen, 0, 0x12345678, 0, 0x8000, 0, 0, 0, giaddr)
    return fixed + bytes.fromhex("001d9cc7b070") + b"\0" * (10 + 192) + vendor


def dhcp(options):
    return bootp(b"\x63\x82\x53\x63" + options)


BOOTP_SEEDS = {
    "bootp-empty-vendor": bootp(b"\0" * 64),
    "bootp-cookie-end": dhcp(b"\xff" + b"\0" * 59),
    "discover": dhcp(b"\x35\x01\x01\x0c\x05press\x3c\x04acme\x37\x03\x01\x03\x06\xff"),
    "request": dhcp(b"\x35\x01\x03\x32\x04\x0a\xc9\x01\x32\x36\x04\x0a\xc9\x01\x01\xff"),
    "decline": dhcp(b"\x35\x01\x04\x32\x04\x0a\xc9\x01\x32\xff"),
    "inform-repeated-option": dhcp(b"\x35\x01\x08\x0c\x02ab\x0c\x02cd\x00\x00\xff"),
    "relayed": bootp(b"\x63\x82\x53\x63\x35\x01\x01\xff", giaddr=0x0AC90701),
    "short": dhcp(b"")[:239],
    "wrong-cookie": bootp(b"\x63\x82\x53\x64\x35\x01\x01\xff"),
    "hlen-7": bootp(b"\x63\x82\x53\x63\xff", hlen=7),
    "htype-32-hlen-16": bootp(b"\x63\x82\x53\x63\xff", htype=32, hlen=16),
    "reply": bootp(b"\x63\x82\x53\x63\xff", op=2),
    "option-past-end": dhcp(b"\x35\x01\x01\x0c\x09abc"),
    "no-end": dhcp(b"\x35\x01\x01"),
    "type-two-bytes": dhcp(b"\x35\x02\x01\x01\xff"),
}


def write(out, seeds):
    os.makedirs(out, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


def main():
    here = os.path.dirname(__file__)
    write(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "corpus"), SEEDS)
    write(sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "corpus-bootp"), BOOTP_SEEDS)


if __name__ == "__main__":
    main()
