#!/usr/bin/python3
"""Writes the Pillow-made test GIFs (pil_*.gif).  Run with Debian's python3,
which has Pillow:  /usr/bin/python3 make_pil_gifs.py <output folder>"""
import os
import random
import sys

from PIL import Image

out = sys.argv[1]
random.seed(1234)


def palette_image(w, h, colours, pixel, seed=0):
    """A 'P' image of `colours` entries (a fixed, distinct sequence shifted by
    seed) whose pixel (x, y) is pixel(x, y) % colours."""
    im = Image.new("P", (w, h))
    pal = []
    for i in range(colours):
        k = i + seed
        pal += [(k * 41 + 7) % 256, (k * 97 + 60) % 256, (k * 173 + 130) % 256]
    im.putpalette(pal)
    im.putdata([pixel(x, y) % colours for y in range(h) for x in range(w)])
    return im


def save(im, name, **kw):
    im.save(os.path.join(out, name), **kw)


# Four frames, each with its own 8-colour palette (Pillow writes local tables
# for frames 1..3), disposal 0..3, delays 100..400 ms, loop 7, transparent
# index 2, a comment before frame 0.
frames = [palette_image(24, 20, 8, lambda x, y, k=k: x // 3 + y // 4 + k, seed=k * 5)
          for k in range(4)]
save(frames[0], "pil_anim_local_loop7.gif", save_all=True, append_images=frames[1:],
     disposal=[0, 1, 2, 3], duration=[100, 200, 300, 400], loop=7, transparency=2,
     comment=b"Made by Pillow", optimize=False)

# 2-bit table, 7x3.
save(palette_image(7, 3, 4, lambda x, y: x * y + x), "pil_bits2_7x3.gif", optimize=False)

# 4-bit table, 33x17, interlaced.
save(palette_image(33, 17, 16, lambda x, y: (x ^ y) + y // 3), "pil_bits4_33x17_interlaced.gif",
     interlace=True, optimize=False)

# 8-bit grey ramp, 255x1.
ramp = Image.new("L", (255, 1))
ramp.putdata(list(range(255)))
save(ramp, "pil_grey_255x1.gif", optimize=False)

# 1x1.
save(palette_image(1, 1, 2, lambda x, y: 1), "pil_1x1.gif", optimize=False)

# Photo-like: a noisy colour gradient reduced by Pillow's median cut (Pillow
# interlaces single frames of 16 rows and columns or more by default).
w, h = 48, 32
rgb = Image.new("RGB", (w, h))
rgb.putdata([(min(255, x * 5 + random.randint(0, 40)),
              min(255, y * 7 + random.randint(0, 40)),
              min(255, (x + y) * 3 + random.randint(0, 60))) for y in range(h) for x in range(w)])
save(rgb.quantize(colors=256, method=Image.Quantize.MEDIANCUT), "pil_photo_48x32_interlaced.gif",
     optimize=False)
