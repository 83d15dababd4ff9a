#!/usr/bin/env python3
"""Prints how far a reduced picture is from its original: the peak
signal-to-noise ratio in dB over every channel of every pixel
(10 log10(255^2 / mean squared error)) and the largest error of one channel.

    reduction_error.py ORIGINAL REDUCED

Both pictures are read as 8-bit RGB through ImageMagick (/usr/bin/convert).
Standard library only."""
import math
import subprocess
import sys


def rgb(path):
    return subprocess.run(['/usr/bin/convert', path, '-depth', '8', 'rgb:-'],
                          check=True, capture_output=True).stdout


def main():
    a, b = rgb(sys.argv[1]), rgb(sys.argv[2])
    if len(a) != len(b):
        sys.exit('pictures differ in size')
    squares = 0
    worst = 0
    for x, y in zip(a, b):
        d = abs(x - y)
        squares += d * d
        worst = max(worst, d)
    mse = squares / len(a)
    psnr = 10 * math.log10(255 * 255 / mse) if mse else 99.0
    print(f'{psnr:.2f} {worst}')


main()
