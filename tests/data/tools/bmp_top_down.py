#!/usr/bin/env python3
"""Turns a bottom-up uncompressed BMP into the same picture stored top-down
(negative height, rows in display order).  Standard library only.

    bmp_top_down.py <bottom-up.bmp> <top-down.bmp>"""
import struct
import sys

src, dst = sys.argv[1], sys.argv[2]
data = bytearray(open(src, "rb").read())
assert data[:2] == b"BM"
offset = struct.unpack_from("<I", data, 10)[0]
width, height = struct.unpack_from("<ii", data, 18)
bits, compression = struct.unpack_from("<HI", data, 28)
assert height > 0 and compression == 0, "needs a bottom-up, uncompressed BMP"
stride = (width * bits + 31) // 32 * 4
rows = [data[offset + y * stride:offset + (y + 1) * stride] for y in range(height)]
data[offset:offset + height * stride] = b"".join(reversed(rows))
struct.pack_into("<i", data, 22, -height)
open(dst, "wb").write(data)
