#!/usr/bin/env python3
"""Draws the Quorvel Node Spotter logo and writes it in the three forms the
build uses:

  quorvel_logo.ico          Windows icon, one 256 x 256 32-bit image stored as PNG
  quorvel_logo.icns         Apple icon family (ic12 ic07 ic13 ic08 ic04 ic14 ic09
                            ic05 ic10 ic11 info, in that order)
  linux/nodespotter.png     the ICO's image, installed for the desktop entry

The artwork is a dark rounded square with a green node sending out two
rings and one answering device. Only the standard library is used, so the
files can be regenerated anywhere: python3 resources/make_logo.py
"""

import math
import os
import plistlib
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

BACKGROUND_TOP = (0x3A, 0x3A, 0x3A)
BACKGROUND_BOTTOM = (0x1A, 0x1A, 0x1A)
EDGE = (0x66, 0x66, 0x66)
RING_INNER = (0x00, 0xC0, 0x00)
RING_OUTER = (0x00, 0x80, 0x00)
NODE = (0x00, 0xE0, 0x00)
DEVICE = (0xFF, 0xFF, 0xFF)


def rounded_square(x, y, inset, radius):
    """Signed distance (negative inside) to a square inset from the unit
    square's edges, with rounded corners."""
    half = 0.5 - inset
    qx = abs(x - 0.5) - half + radius
    qy = abs(y - 0.5) - half + radius
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def circle(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def ring(x, y, r, width):
    return abs(math.hypot(x - 0.5, y - 0.5) - r) - width / 2


def over(dst, colour, coverage):
    """Paints colour with the given coverage over dst (straight alpha)."""
    if coverage <= 0.0:
        return dst
    r, g, b, a = dst
    out_a = coverage + a * (1.0 - coverage)
    if out_a <= 0.0:
        return dst
    mix = [(c * coverage + d * a * (1.0 - coverage)) / out_a for c, d in zip(colour, (r, g, b))]
    return (mix[0], mix[1], mix[2], out_a)


def render(size):
    """Returns the logo as rows of RGBA bytes, size x size pixels."""
    px = 1.0 / size
    device_x = 0.5 + 0.36 * math.cos(math.radians(45))
    device_y = 0.5 - 0.36 * math.sin(math.radians(45))
    rows = []
    for j in range(size):
        y = (j + 0.5) * px
        shade = [t + (b - t) * y for t, b in zip(BACKGROUND_TOP, BACKGROUND_BOTTOM)]
        row = bytearray()
        for i in range(size):
            x = (i + 0.5) * px

            def cover(distance):
                return min(max(0.5 - distance / px, 0.0), 1.0)

            pixel = (0.0, 0.0, 0.0, 0.0)
            outer = rounded_square(x, y, 0.03, 0.2)
            pixel = over(pixel, EDGE, cover(outer))
            pixel = over(pixel, shade, cover(outer + 0.02))
            pixel = over(pixel, RING_OUTER, cover(ring(x, y, 0.36, 0.045)))
            pixel = over(pixel, RING_INNER, cover(ring(x, y, 0.24, 0.045)))
            pixel = over(pixel, NODE, cover(circle(x, y, 0.5, 0.5, 0.11)))
            pixel = over(pixel, DEVICE, cover(circle(x, y, device_x, device_y, 0.065)))
            r, g, b, a = pixel
            row += bytes((round(r), round(g), round(b), round(a * 255)))
        rows.append(bytes(row))
    return rows


def png(rows):
    size = len(rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    # 8-bit RGBA, no interlace; every scanline uses filter type 0 (none).
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(png_data):
    # ICONDIR (reserved, type 1 = icon, one image) and its ICONDIRENTRY:
    # width and height 0 mean 256, no palette, one plane, 32 bits per pixel,
    # image size and its offset (6 + 16 = 22).
    return (struct.pack("<HHH", 0, 1, 1)
            + struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(png_data), 22)
            + png_data)


def icns_rle(channel):
    """The icns run-length code: a control byte below 0x80 is followed by
    that many plus one literal bytes; one of 0x80 or more repeats the next
    byte (control - 0x80 + 3) times."""
    out = bytearray()
    literal = bytearray()
    i = 0
    while i < len(channel):
        run = 1
        while i + run < len(channel) and channel[i + run] == channel[i] and run < 130:
            run += 1
        if run >= 3:
            if literal:
                out += bytes((len(literal) - 1,)) + literal
                literal = bytearray()
            out += bytes((0x80 + run - 3, channel[i]))
            i += run
        else:
            literal.append(channel[i])
            i += 1
            if len(literal) == 128:
                out += bytes((127,)) + literal
                literal = bytearray()
    if literal:
        out += bytes((len(literal) - 1,)) + literal
    return bytes(out)


def argb(rows):
    pixels = b"".join(rows)
    channels = [pixels[3::4], pixels[0::4], pixels[1::4], pixels[2::4]]
    return b"ARGB" + b"".join(icns_rle(c) for c in channels)


def icns(images):
    # Sizes in pixels: ic12 64, ic07 128, ic13 and ic08 256, ic04 16 (ARGB),
    # ic14 and ic09 512, ic05 32 (ARGB), ic10 1024, ic11 32.
    elements = [
        (b"ic12", png(images[64])),
        (b"ic07", png(images[128])),
        (b"ic13", png(images[256])),
        (b"ic08", png(images[256])),
        (b"ic04", argb(images[16])),
        (b"ic14", png(images[512])),
        (b"ic09", png(images[512])),
        (b"ic05", argb(images[32])),
        (b"ic10", png(images[1024])),
        (b"ic11", png(images[32])),
        (b"info", plistlib.dumps({"name": "quorvel_logo"}, fmt=plistlib.FMT_BINARY)),
    ]
    body = b"".join(kind + struct.pack(">I", len(data) + 8) + data for kind, data in elements)
    return b"icns" + struct.pack(">I", len(body) + 8) + body


def main():
    images = {size: render(size) for size in (16, 32, 64, 128, 256, 512, 1024)}
    logo_png = png(images[256])
    os.makedirs(os.path.join(HERE, "linux"), exist_ok=True)
    with open(os.path.join(HERE, "quorvel_logo.ico"), "wb") as f:
        f.write(ico(logo_png))
    with open(os.path.join(HERE, "quorvel_logo.icns"), "wb") as f:
        f.write(icns(images))
    with open(os.path.join(HERE, "linux", "nodespotter.png"), "wb") as f:
        f.write(logo_png)


if __name__ == "__main__":
    main()
