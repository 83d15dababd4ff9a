#!/usr/bin/python3
"""Cross-checks each <name>.frames.txt in a folder (made from giflib's
decoding) against ImageMagick's decoding of the same GIF: every frame's size,
and every pixel's colour (palette entry of its index; transparent pixels
only need to come out transparent).  Exits non-zero on the first mismatch.

    check_frames.py <folder with .gif and .frames.txt files>
"""
import glob
import os
import subprocess
import sys

CONVERT = "/usr/bin/convert"


def parse(path):
    lines = open(path).read().split("\n")
    assert lines[0].startswith("screen ") and lines[1].startswith("frames "), path
    frames = []
    i = 2
    for _ in range(int(lines[1].split()[1])):
        f = lines[i].split()
        assert f[0] == "frame" and int(f[1]) == len(frames), (path, lines[i])
        w, h, transparent = int(f[4]), int(f[5]), int(f[7])
        count = int(lines[i + 1].split()[1])
        palette = [bytes.fromhex(c) for c in lines[i + 2].split()]
        assert len(palette) == count, path
        rows = lines[i + 3:i + 3 + h]
        assert all(len(r) == 2 * w for r in rows), path
        frames.append((w, h, transparent, palette, bytes.fromhex("".join(rows))))
        i += 3 + h
    return frames


def main():
    folder = sys.argv[1]
    checked = 0
    for txt in sorted(glob.glob(os.path.join(folder, "*.frames.txt"))):
        gif = txt[:-len(".frames.txt")] + ".gif"
        for k, (w, h, transparent, palette, pixels) in enumerate(parse(txt)):
            if not palette:
                continue
            size = subprocess.run([CONVERT, "%s[%d]" % (gif, k), "-format", "%w %h", "info:"],
                                  capture_output=True, text=True, check=True).stdout.split()
            assert [int(size[0]), int(size[1])] == [w, h], (gif, k, size)
            rgba = subprocess.run([CONVERT, "%s[%d]" % (gif, k), "-depth", "8", "rgba:-"],
                                  capture_output=True, check=True).stdout
            assert len(rgba) == 4 * w * h, (gif, k)
            for p, index in enumerate(pixels):
                got = rgba[4 * p:4 * p + 4]
                if index == transparent:
                    assert got[3] == 0, (gif, k, p, got)
                else:
                    assert got == palette[index] + b"\xff", (gif, k, p, index, got)
            checked += 1
    print("check_frames: %d frames in %s agree with ImageMagick" % (checked, folder))


if __name__ == "__main__":
    main()
