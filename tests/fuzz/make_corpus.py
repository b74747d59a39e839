#!/usr/bin/env python3
"""Writes the seed corpus of the codec fuzz target: valid ListIdentity
replies and malformed ones (short, over-long, item counts the datagram cannot
hold, every other command, long names), and explicit-messaging answers over
TCP (RegisterSession, SendRRData with Get_Attributes_All replies of the
Identity, TCP/IP Interface and Ethernet Link objects, refusals, cut and
over-long ones). scripts/fuzz-coverage.sh shows which
branches of the decode they reach."""

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

# Every other command that the header read accepts, each ignored by the
# reply decode.
for command in (0x0000, 0x0004, 0x0064, 0x0066, 0x006F, 0x0070, 0x0072, 0x0073):
    SEEDS["command-%04x" % command] = reply(cpf(item(0x000C, IDENTITY)), command=command)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
    os.makedirs(out, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
