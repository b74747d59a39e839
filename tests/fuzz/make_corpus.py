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
cookie, bad hardware length, options past the end, no end option); for the
inventory reader (corpus-inventory/), inventories and saved device lists in
JSON and CSV, whole and broken (cut short, a quote left open, a row too
long, duplicate keys).
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


def inventory_json(program="Quorvel Node Spotter", extra=""):
    slot = ('{"port_number": 1, "slot": %d, "port_type": 1, "port_name": "Backplane", '
            '"route": "1,%d", "slot_result": "%s", "slot_error": %s, "name": "IB16", '
            '"vendor_id": 1, "device_type": 7, "product_code": 16, "revision": "3.2", '
            '"serial_number": "00C0FFE5"}')
    slots = ", ".join([slot % (0, 0, "bridge", "null"), slot % (1, 1, "module", "null"),
                       slot % (2, 2, "no_module", '"no module at that link address (0x0312)"')])
    device = ('{"number": %d, "address": "10.0.0.%d", "port": 44818, "protocol": "EtherNet/IP", '
              '"name": "PLC", "vendor_id": 1, "device_type": 14, "product_code": 55, '
              '"revision": "20.11", "serial_number": "4000100%d", "status": "0x0060", "state": 3, '
              '"mac_address": "00:1D:9C:00:00:0%d", "conflict": "", '
              '"tcpip": {"result": "read", "configuration_method": "static", "ip_address": "10.0.0.%d", '
              '"netmask": "255.255.255.0", "gateway": "10.0.0.1", "host_name": "plc"}, '
              '"ethernet_link": {"result": "refused: resource unavailable (0x02)", "speed": 100, '
              '"duplex": "full", "mac_address": "00:1D:9C:00:00:0%d"}, '
              '"modules_result": "read", "modules": [%s]}')
    devices = ", ".join(device % (n, n, n, n, n, n, slots) for n in (5, 6, 5))
    text = ('{"number": 4, "address": "10.0.0.9", "protocol": "text", "name": "MAROVENDA", '
            '"tcpip": null, "ethernet_link": null, "modules_result": null, "modules": []}')
    return ('{"program": "%s", "version": "1.0.3", "time": "2026-11-03T06:30:00Z", %s'
            '"devices": [%s, %s]}' % (program, extra, devices, text)).encode()


INVENTORY_CSV = (
    "\ufeffnumber,address,port,protocol,name,vendor_id,product_code,revision,serial_number,mac_address,"
    "tcpip_result,tcpip_ip_address,link_result,link_mac_address,modules_result,port_number,slot,route,"
    "slot_result,slot_error\r\n"
    "1,10.0.0.5,44818,EtherNet/IP,PLC,1,55,20.11,40001005,00:1D:9C:00:00:05,read,10.0.0.5,read,"
    "00:1D:9C:00:00:05,read,,,,,\r\n"
    "1,10.0.0.5,44818,EtherNet/IP,IB16,1,16,3.2,00C0FFE5,,,,,,,1,1,\"1,1\",module,\r\n"
    "1,10.0.0.5,44818,EtherNet/IP,,,,,,,,,,,,1,2,\"1,2\",no_module,no module at that link address (0x0312)\r\n"
    "2,10.0.0.9,55555,text,\"'=MAROVENDA, \"\"unit\"\"\r\n1\",,,,,,no answer,,no answer,,no answer,,,,,\r\n"
).encode("utf-8")

SAVED_LIST_CSV = (
    "\ufeffnumber,address,port,protocol,name,vendor_id,device_type,device_type_name,product_code,revision,"
    "serial_number,status,state,state_name,reported_address,encapsulation_version,mac_address,card,"
    "card_address,conflict\r\n"
    "1,10.0.0.5,44818,EtherNet/IP,PLC,1,14,Programmable Logic Controller,55,20.11,40001005,0x0060,3,"
    "Operational,10.0.0.5:44818,1,,eth0,10.0.0.1/24,\r\n"
    "2,10.0.0.9,55555,text,'-x,,,,,,,,,,,,,,,\r\n"
).encode("utf-8")

INVENTORY_SEEDS = {
    "inventory-json": inventory_json(),
    "inventory-json-cut": inventory_json()[:300],
    "other-program": inventory_json("Other Scanner"),
    # A key given twice, the first time with an array: Qt 5's JSON reader
    # keeps the second and leaks the first (see tests/lsan.supp).
    "duplicate-key": inventory_json(extra='"devices": [{"number": 1}], '),
    "saved-list-json": b'{"program": "Quorvel Node Spotter", "searched_at": "2026-11-03T06:30:00Z", '
                       b'"devices": [{"number": 1, "address": "10.0.0.5", "vendor_id": 1, '
                       b'"serial_number": "40001005", "mac_address": null}]}',
    "inventory-csv": INVENTORY_CSV,
    "inventory-csv-lf": INVENTORY_CSV.replace(b"\r\n", b"\n"),
    "inventory-csv-open-quote": INVENTORY_CSV[:-40] + b'"x',
    "inventory-csv-long-row": INVENTORY_CSV + b"1,2,3" + b",x" * 30 + b"\r\n",
    "saved-list-csv": SAVED_LIST_CSV,
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
    write(sys.argv[3] if len(sys.argv) > 3 else os.path.join(here, "corpus-inventory"), INVENTORY_SEEDS)


if __name__ == "__main__":
    main()
