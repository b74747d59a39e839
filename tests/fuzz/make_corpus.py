#!/usr/bin/env python3
"""Writes the seed corpus of the codec fuzz target: valid ListIdentity
replies and malformed ones (short, over-long, item counts the datagram cannot
hold, every other command, long names). scripts/fuzz-coverage.sh shows which
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
