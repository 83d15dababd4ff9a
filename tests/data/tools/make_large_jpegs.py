#!/usr/bin/python3
"""Writes tiny JPEG files of huge pictures (tests/data/large/).

    make_large_jpegs.py OUTDIR     (needs cjpeg from libjpeg-turbo-progs)

jpeg_baseline_16384x10000.jpg is cjpeg's own file of a black picture:
arithmetic coding packs every block of the 164-megapixel picture into a few
bytes. jpeg_progressive_halves_4416x4416.jpg is cjpeg's progressive file
(its default progression of 10 scans, 4:2:0, arithmetic-coded to keep it
small) of a picture red on the left half and blue on the right, the edge on
a block boundary: an ordinary file of a large picture.

jpeg_progressive444_8660x5773.jpg and jpeg_progressive420_11000x8000.jpg
are cjpeg's progressive files of one flat colour (4:4:4 and 4:2:0), with a
scan script of their own (SCANS: the DC of all components, then each
component's AC at full precision) and arithmetic coding, which together keep
them a few hundred bytes: cjpeg's default progression refines the DC in
steps, each coding a bit per block at even odds, which no coder shrinks. Ordinary pictures
whose coefficients take more memory than a fixed 256 MiB cap would allow.

The jpeg_<n>scans_* files are made here, marker by marker: a progressive,
arithmetic-coded greyscale frame and n scan headers without any coded data.
An arithmetic decoder reads zeros where the data is missing, so every scan
still costs a pass over the whole picture. The scans follow the rules of
successive approximation, so a decoder finds nothing to complain about: the
DC scan at Al = 10 and its ten refinements, then AC coefficients one at a
time, each first at Al = 7 and refined bit by bit (8 scans each).
"""
import os
import struct
import subprocess
import sys
import tempfile

ROWS_PER_WRITE = 256

SCANS = """0,1,2: 0-0, 0, 0;
0: 1-63, 0, 0;
1: 1-63, 0, 0;
2: 1-63, 0, 0;
"""


def cjpeg(width, height, row, args):
    """cjpeg's file of a width x height RGB picture whose rows are all `row`."""
    proc = subprocess.Popen(["cjpeg"] + args, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    proc.stdin.write(b"P6\n%d %d\n255\n" % (width, height))
    for y in range(0, height, ROWS_PER_WRITE):
        proc.stdin.write(row * min(ROWS_PER_WRITE, height - y))
    proc.stdin.close()
    data = proc.stdout.read()
    if proc.wait() != 0:
        sys.exit("cjpeg failed")
    return data


def progressive_flat(width, height, sampling):
    """cjpeg's progressive file of a flat orange width x height picture."""
    with tempfile.NamedTemporaryFile("w", suffix=".txt") as scans:
        scans.write(SCANS)
        scans.flush()
        args = ["-arithmetic", "-scans", scans.name, "-sample", sampling]
        return cjpeg(width, height, b"\xe0\x60\x20" * width, args)


def segment(marker, payload):
    return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload


def scan_header(ss, se, ah, al):
    """SOS for component 1 with conditioning tables 0."""
    return segment(0xDA, bytes([1, 1, 0x00, ss, se, (ah << 4) | al]))


def header_only_scans(width, height, count):
    scans = [(0, 0, 0, 10)] + [(0, 0, a, a - 1) for a in range(10, 0, -1)]
    for k in range(1, 64):
        scans.append((k, k, 0, 7))
        scans += [(k, k, a, a - 1) for a in range(7, 0, -1)]
    assert count <= len(scans)
    out = b"\xff\xd8"
    out += segment(0xDB, bytes([0]) + bytes([1] * 64))  # DQT: table 0, all ones
    # SOF10: progressive, arithmetic; 8 bits; one component, 1x1, table 0.
    out += segment(0xCA, struct.pack(">BHHB", 8, height, width, 1) + bytes([1, 0x11, 0]))
    out += b"".join(scan_header(*s) for s in scans[:count])
    return out + b"\xff\xd9"


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    files = {
        "jpeg_baseline_16384x10000.jpg": lambda: cjpeg(16384, 10000, bytes(16384 * 3), ["-arithmetic"]),
        "jpeg_progressive_halves_4416x4416.jpg": lambda: cjpeg(
            4416, 4416, b"\xff\x00\x00" * 2208 + b"\x00\x00\xff" * 2208, ["-progressive", "-arithmetic"]
        ),
        "jpeg_progressive444_8660x5773.jpg": lambda: progressive_flat(8660, 5773, "1x1"),
        "jpeg_progressive420_11000x8000.jpg": lambda: progressive_flat(11000, 8000, "2x2"),
        # 246 megapixels, 480 MiB of coefficients: filled by every scan read.
        "jpeg_499scans_16384x15000.jpg": lambda: header_only_scans(16384, 15000, 499),
        # 101 megapixels: within memory, far beyond the work the picture needs.
        "jpeg_499scans_12288x8192.jpg": lambda: header_only_scans(12288, 8192, 499),
    }
    for name, make in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(make())


if __name__ == "__main__":
    main()
