#!/usr/bin/env python3
"""Converts a 24/32-bit TrueColor xwd dump (stdin) to PNG (stdout) without extra libraries."""
import struct, sys, zlib

data = sys.stdin.buffer.read()
fields = struct.unpack(">25I", data[:100])
header_size, _, _, depth, width, height = fields[:6]
byte_order, bpp, bytes_per_line = fields[7], fields[11], fields[12]
ncolors = fields[19]
offset = header_size + ncolors * 12
pixels = data[offset:]
rows = []
step = bpp // 8
for y in range(height):
    line = pixels[y * bytes_per_line:(y * bytes_per_line) + width * step]
    out = bytearray(b"\x00")
    for x in range(0, width * step, step):
        px = line[x:x + step]
        if byte_order == 0:  # LSB first: B G R X
            out += bytes((px[2], px[1], px[0]))
        else:
            out += bytes((px[-3], px[-2], px[-1]))
    rows.append(bytes(out))

def chunk(tag, body):
    return struct.pack(">I", len(body)) + tag + body + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF)

png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b"")
sys.stdout.buffer.write(png)
