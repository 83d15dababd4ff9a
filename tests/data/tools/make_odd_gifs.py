#!/usr/bin/env python3
"""Writes the hand-made edge-case GIFs in tests/data/gif/odd/ and their README.

Standard library only.  Every file is a few bytes, built from the pieces
below; the LZW data of each is written as an explicit list of
(code, bit width) pairs so the bit stream can be read off the script.

    make_odd_gifs.py <odd folder> [<gifdump program>]

With the gifdump program (tests/data/tools/gifdump.c, built by make_all.sh)
it also writes <name>.frames.txt for the files giflib can read, and checks
that giflib's pixels agree with what the reader must produce (see
`expected_decode`).  Files giflib refuses, or decodes differently from what
the reader must do, get no .frames.txt; their README line says why.
"""
import os
import subprocess
import sys
import tempfile

# ---------------------------------------------------------------- pieces

# Colour tables.  Index 0 is black so that rows a decoder never wrote (left
# at zero) are told apart from the rows the files fill with indexes 1..7.
PAL8 = [(0, 0, 0), (255, 0, 0), (0, 255, 0), (0, 0, 255),
        (255, 255, 0), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
PAL4 = PAL8[:4]
PAL2 = PAL8[:2]


def table_bits(table):
    n = len(table)
    bits = max(1, (n - 1).bit_length())
    assert 1 << bits == n, "colour tables hold a power of two of entries"
    return bits


def le16(v):
    return bytes((v & 0xFF, v >> 8))


def screen(w, h, table=None, signature=b"GIF89a", background=0):
    """Header and logical screen descriptor, then the global table if any."""
    packed = 0
    if table:
        bits = table_bits(table)
        packed = 0x80 | ((bits - 1) << 4) | (bits - 1)
    out = signature + le16(w) + le16(h) + bytes((packed, background, 0))
    if table:
        out += b"".join(bytes(c) for c in table)
    return out


def sub_blocks(payload, size=255):
    """Data sub-blocks (length byte, bytes) and the zero-length terminator."""
    out = b""
    for i in range(0, len(payload), size):
        chunk = payload[i:i + size]
        out += bytes((len(chunk),)) + chunk
    return out + b"\x00"


def pack(pairs):
    """Packs (code, width) pairs into bytes, least significant bit first;
    the last byte is padded with zero bits."""
    acc = nbits = 0
    out = bytearray()
    for code, width in pairs:
        assert 0 <= code < (1 << width), (code, width)
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def literal_codes(m, pixels, clear=True, end=True):
    """The plainest valid LZW stream: a clear code, one literal per pixel, the
    end code.  A decoder adds a table entry for every code after the first,
    so the width grows by one when the next free entry reaches 2**width; the
    widths here follow that schedule (m = 1 included, as giflib reads it)."""
    clear_code = 1 << m
    width = m + 1
    pairs = []
    if clear:
        pairs.append((clear_code, width))
    count = 0
    for p in pixels:
        pairs.append((p, width))
        count += 1
        if clear_code + 1 + count >= (1 << width) and width < 12:
            width += 1
    if end:
        pairs.append((clear_code + 1, width))
    return pairs, width


def image_data(m, pairs, chunk=255):
    """Table-based image data: code-size byte, then the packed codes."""
    return bytes((m,)) + sub_blocks(pack(pairs), chunk)


def image(w, h, data, left=0, top=0, table=None, interlaced=False):
    """Image separator, descriptor, optional local table, then `data`."""
    packed = 0x40 if interlaced else 0
    if table:
        packed |= 0x80 | (table_bits(table) - 1)
    out = b"," + le16(left) + le16(top) + le16(w) + le16(h) + bytes((packed,))
    if table:
        out += b"".join(bytes(c) for c in table)
    return out + data


def gce(delay=0, transparent=None, disposal=0, index_when_off=0):
    """Graphic control extension; delay in hundredths of a second."""
    packed = (disposal << 2) | (1 if transparent is not None else 0)
    index = transparent if transparent is not None else index_when_off
    return b"!\xf9\x04" + bytes((packed,)) + le16(delay) + bytes((index,)) + b"\x00"


def comment(*lines):
    """Comment extension, one sub-block per line."""
    return b"!\xfe" + b"".join(bytes((len(s),)) + s for s in lines) + b"\x00"


def application(ident_auth, *blocks):
    assert len(ident_auth) == 11
    return b"!\xff\x0b" + ident_auth + b"".join(bytes((len(s),)) + s for s in blocks) + b"\x00"


def netscape_loop(count):
    return application(b"NETSCAPE2.0", b"\x01" + le16(count))


def plain_text(text):
    # 12 bytes after the block size: grid left, top, width, height (16-bit),
    # cell width, cell height, foreground and background index.
    fixed = le16(0) + le16(0) + le16(8) + le16(8) + bytes((8, 8, 1, 0))
    return b"!\x01\x0c" + fixed + bytes((len(text),)) + text + b"\x00"


TRAILER = b";"


def simple_frame(pixels=(1, 2, 3, 1, 0, 2), w=3, h=2, **kw):
    """A small 4-colour frame coded with literals only (code size 2)."""
    pairs, _ = literal_codes(2, pixels)
    return image(w, h, image_data(2, pairs), **kw)


# ------------------------------------------------- the reader's LZW rules

def expected_decode(data, depth, w, h, interlaced):
    """Decodes table-based image data the way our reader must, to check the
    hand-made streams: codes below the clear code 2**m are literals (their
    value cut to `depth` bits, the bits of the colour table in force); the
    first code of a table (at the start or after a clear code) is output and
    adds no entry, and one that is no literal is corrupt data; a clear code
    always resets; a code at or above the next free code repeats the previous
    string plus its first character; a chain of more than 4096 entries is
    corrupt data. Tables start zero-filled. Returns (status, rows) with status
    'ok', 'corrupt', 'end of data' or 'code size'; rows in display order,
    unwritten pixels 0."""
    m = data[0]
    if not 2 <= m <= 9:
        return "code size", None
    stream = bytearray()
    i = 1
    while i < len(data) and data[i]:
        stream += data[i + 1:i + 1 + data[i]]
        i += 1 + data[i]
    clear, end, mask = 1 << m, (1 << m) + 1, (1 << depth) - 1
    prefix, suffix = [0] * 4096, [0] * 4096
    nxt, width, prev, first, full = clear + 2, m + 1, None, 0, False
    pos = 0
    out = []

    def next_code():
        nonlocal pos
        if pos + width > len(stream) * 8:
            return None
        v = int.from_bytes(stream, "little") >> pos
        pos += width
        return v & ((1 << width) - 1)

    status = "ok"
    while len(out) < w * h:
        code = next_code()
        if code is None:
            status = "end of data"
            break
        if code == end:
            break
        if code == clear:
            width, nxt, full, prev = m + 1, clear + 2, False, None
            continue
        if prev is None:
            if code > end:
                status = "corrupt"
                break
            prev = code
            first = code & mask
            out.append(first)
            continue
        incoming = code
        stack = []
        if code >= nxt:
            stack.append(first)
            code = prev
        while code >= clear:
            stack.append(suffix[code])
            code = prefix[code]
            if len(stack) > 4096:
                status = "corrupt"
                break
        if status == "corrupt":
            break
        first = code & mask
        stack.append(first)
        out.extend(reversed(stack))
        if not full:
            prefix[nxt], suffix[nxt] = prev, first
            nxt += 1
            if nxt == 1 << width:
                if width == 12:
                    full = True
                else:
                    width += 1
        prev = incoming
    out = out[:w * h]
    if interlaced:
        order = [y for start, step in ((0, 8), (4, 8), (2, 4), (1, 2))
                 for y in range(start, h, step)]
    else:
        order = list(range(h))
    rows = [[0] * w for _ in range(h)]
    for k, v in enumerate(out):
        rows[order[k // w]][k % w] = v
    return status, rows


# ------------------------------------------------------------- the files

FILES = []  # (name, bytes, recipe, outcome, dump)
# dump: None = giflib's view of the file itself; bytes = dump this patched
# copy instead (noted in the README); False = no .frames.txt.


def add(name, data, recipe, outcome, dump=None, check=None):
    FILES.append((name, data, recipe, outcome, dump, check))


def build():
    # -- signature and version
    body = screen(3, 2, PAL4, signature=b"gif89a") + simple_frame() + TRAILER
    add("sig_lowercase.gif", body,
        'Signature and version in lower case ("gif89a"), one 3x2 frame.',
        "Accepted as version 89a; one frame as in the .frames.txt (made by giflib "
        'from a copy with the signature upper-cased: giflib refuses "gif").',
        dump=b"GIF" + body[3:])

    add("version_88a.gif", screen(3, 2, PAL4, signature=b"GIF88a") + simple_frame() + TRAILER,
        'Unknown version "GIF88a", otherwise a good 3x2 file.',
        'Reading fails with "Unknown GIF version"; no frames. (giflib ignores the '
        "version, so its .frames.txt shows the frame it finds.)")

    # -- colour tables
    add("no_color_table.gif", screen(2, 2) + simple_frame((1, 0, 0, 1), 2, 2) + TRAILER,
        "No global colour table and a 2x2 frame without a local table.",
        "The frame is read, but decoding it fails with \"Wrong number of colors; must be a power "
        "of 2\", so frame 0 is removed and reading reports that error. "
        "(.frames.txt: giflib decodes the indexes and shows palette 0.)")

    # -- loop extension
    for count, result in ((0, "0"), (40000, "30000")):
        add("loop_%d.gif" % count,
            screen(3, 2, PAL4) + netscape_loop(count) + gce(10) + simple_frame()
            + gce(10) + simple_frame((3, 3, 2, 2, 1, 1)) + TRAILER,
            "NETSCAPE2.0 loop extension with count %d before two 3x2 frames (delay 10)." % count,
            "Looping true, RepeatCount %s (counts are capped at 30000)." % result)

    # -- comments
    add("comments_after_last.gif",
        screen(3, 2, PAL4) + simple_frame()
        + comment(b"First comment, line 1", b"First comment, line 2")
        + comment(b"Second comment") + TRAILER,
        "One frame, then two comment extensions before the trailer: the first with "
        "two sub-blocks, the second with one.",
        'CommentLines: "First comment, line 1", "First comment, line 2", CR LF CR LF, '
        '"Second comment" (one line per sub-block); the frame has no comment.')

    add("comment_before_image.gif",
        screen(3, 2, PAL4) + comment(b"Frame comment") + simple_frame() + TRAILER,
        "A comment extension directly before the only frame.",
        'The frame keeps the comment (FrameComment "Frame comment"); CommentLines stays empty.')

    # -- graphic control
    add("gce_plaintext_image.gif",
        screen(3, 2, PAL4) + gce(50, transparent=1, disposal=2) + plain_text(b"Hi")
        + simple_frame() + TRAILER,
        "Graphic control (delay 50, transparent index 1, disposal 2), then a plain-text "
        "extension, then a frame.",
        "The plain text discards the graphic control before it: the frame has delay 0, "
        "no transparent colour, disposal 0, no extensions. (giflib's .frames.txt frame "
        "line shows the graphic control's values: 1 50 2.)")

    add("transparent_beyond_table.gif",
        screen(3, 2, PAL4) + gce(0, transparent=4) + simple_frame()
        + gce(0, transparent=3) + simple_frame() + TRAILER,
        "4-colour table; frame 0 has transparent index 4 (= the table size), frame 1 "
        "has transparent index 3.",
        "Frame 0 has no transparent colour; frame 1's transparent colour is entry 3 "
        "(blue, 0x00FF0000 as TColor).")

    add("two_gce.gif",
        screen(3, 2, PAL4) + gce(5, transparent=1, disposal=1)
        + gce(9, None, disposal=2, index_when_off=3) + simple_frame() + TRAILER,
        "Two graphic controls before one frame: delay 5, transparent 1, disposal 1; then "
        "delay 9, transparency off (index field 3), disposal 2.",
        "DelayMs 90 (the larger), no transparent colour and disposal 2 (the later wins). "
        "(giflib's frame line shows only the first graphic control: 1 5 1.)")

    add("two_gce_reversed.gif",
        screen(3, 2, PAL4) + gce(9, None, disposal=2)
        + gce(5, transparent=1, disposal=1) + simple_frame() + TRAILER,
        "As two_gce.gif with the two graphic controls swapped: delay 9 without "
        "transparency, then delay 5 with transparent index 1 and disposal 1.",
        "DelayMs 90 (the larger), transparent colour entry 1 (red, 0x000000FF), disposal 1. "
        "(giflib's frame line shows the first: -1 9 2.)")

    # -- stray bytes
    good = screen(3, 2, PAL4) + simple_frame()
    add("trailing_garbage.gif", good + b"garbage!\xff",
        'One good frame followed by the bytes "garbage!" and 0xFF instead of a trailer.',
        "Reading ends quietly after the frame: one frame, no error. (.frames.txt made by "
        "giflib from a copy with a trailer in place of the garbage; giflib refuses the file.)",
        dump=good + TRAILER)

    add("garbage_after_extension.gif",
        good + gce(10) + b"X" + TRAILER,
        'One good frame, then a graphic control extension followed by the byte "X".',
        'Reading fails with "Stream read error"; the frame read before stays in the image '
        "(FrameIndex still -1). giflib refuses the file: no .frames.txt.",
        dump=False)

    # -- interlacing: row y holds index y + 1 everywhere, so every row is
    # recognisable wherever a decoder puts it.
    for h in range(1, 6):
        rows = list(range(h))
        order = [y for start, step in ((0, 8), (4, 8), (2, 4), (1, 2))
                 for y in range(start, h, step)]
        pixels = [y + 1 for y in order for _ in range(3)]
        pairs, _ = literal_codes(3, pixels)
        add("interlaced_h%d.gif" % h,
            screen(3, h, PAL8) + image(3, h, image_data(3, pairs), interlaced=True) + TRAILER,
            "Interlaced 3x%d frame, 8-colour table; row y is index y + 1; stream row order %s."
            % (h, ",".join(map(str, order))),
            "Rows in display order are %s (every row placed once, none left 0)."
            % " ".join("%d" % (y + 1) for y in rows))

    # -- LZW streams
    # Code size 3: clear 8, end 9, first free 10, width 4 until entry 16.
    pairs = [
        (1, 4),   # no clear code: literal 1, the first code of the table
        (2, 4),   # literal 2; adds 10 = "1 2"
        (3, 4),   # literal 3
        (4, 4),   # literal 4; at most 3 entries added, so the width stays 4
        (9, 4),   # end
    ]
    add("no_clear_first.gif",
        screen(4, 1, PAL8) + image(4, 1, image_data(3, pairs)) + TRAILER,
        "4x1 frame, code size 3, whose data starts with a literal instead of a clear "
        "code: 1, 2, 3, 4, end (all 4 bits wide).",
        "Pixels 1 2 3 4.")

    pairs = [
        (1, 4),   # no clear code: literal 1, the first code of the table;
                  # it adds no entry
        (10, 4),  # the next free entry: previous + its first pixel -> "1 1"
        (9, 4),   # end
    ]
    add("no_clear_first_entry.gif",
        screen(3, 1, PAL8) + image(3, 1, image_data(3, pairs)) + TRAILER,
        "3x1 frame, code size 3, data without a leading clear code: literal 1, then code "
        "10, then end.",
        "Pixels 1 1 1: the first code is handled as the first code after a clear code, "
        "so code 10 is the entry being defined (1 1).")

    # Code size 2 under an 8-colour table: clear 4, end 5, first free 6.
    pairs = [
        (4, 3),   # clear
        (1, 3),   # literal 1
        (2, 3),   # literal 2;  adds 6 = "1 2"
        (6, 3),   # "1 2";  adds 7 = "2 1";  next free 8: width 4
        (7, 4),   # "2 1";  adds 8 = "1 2 2"
        (3, 4),   # literal 3;  adds 9 = "2 1 3"
        (5, 4),   # end
    ]
    add("code_size_below_depth.gif",
        screen(7, 1, PAL8) + image(7, 1, image_data(2, pairs)) + TRAILER,
        "7x1 frame over an 8-colour table with code size 2 (as encoders write when "
        "a frame uses only the first colours): clear, 1, 2, 6, 7, 3, end.",
        "Pixels 1 2 1 2 2 1 3: codes 4 to 7 are the clear code, the end code and "
        "table entries, not colours.")

    # Code size 2, 4-colour table: clear 4, end 5, first free 6.
    pairs = [
        (4, 3),   # clear
        (4, 3),   # clear again: another reset, no pixel
        (1, 3),   # literal 1, the first code of the table
        (6, 3),   # the next free entry: "1 1";  adds 6
        (4, 3),   # clear
        (4, 3),   # clear
        (4, 3),   # clear
        (2, 3),   # literal 2
        (5, 3),   # end
    ]
    add("repeated_clear_codes.gif",
        screen(4, 1, PAL4) + image(4, 1, image_data(2, pairs)) + TRAILER,
        "4x1 frame, code size 2: clear, clear, 1, 6, clear, clear, clear, 2, end.",
        "Pixels 1 1 1 2: a clear code right after a clear code resets again.")

    pairs = [
        (4, 3),   # clear
        (6, 3),   # a table code with no string before it to extend
        (1, 3),   # never reached
        (5, 3),   # end
    ]
    add("string_after_clear.gif",
        screen(2, 1, PAL4) + image(2, 1, image_data(2, pairs)) + TRAILER,
        "2x1 frame, code size 2: clear, then code 6 (not yet defined), 1, end.",
        "No error: the frame is marked corrupt and shows 0 0. giflib stops with an "
        "image defect: no .frames.txt.",
        dump=False, check="corrupt")

    # Code size 2, 4-colour table: clear 4, end 5, first free 6.
    pixels = [1, 2, 3, 1, 0, 2, 3, 3, 1, 1, 2, 0, 0, 1, 2, 3]  # 4x4
    pairs, _ = literal_codes(2, pixels)
    add("no_end_code.gif",
        screen(4, 4, PAL4) + image(4, 4, image_data(2, pairs[:-1])) + TRAILER,
        "4x4 frame whose codes cover every pixel but no end code follows (the "
        "sub-blocks end normally).",
        "Decodes without error: decoding stops once all rows are written.")

    short = pairs[:11]  # clear + 10 pixels, no end code
    _, width_after = literal_codes(2, pixels[:10], end=False)
    assert sum(w for _, w in short) % 8 == 0 or \
        8 - sum(w for _, w in short) % 8 < width_after, "padding must not hold a code"
    add("codes_run_out.gif",
        screen(4, 4, PAL4) + image(4, 4, image_data(2, short))
        + simple_frame((3, 2, 1, 0), 2, 2) + TRAILER,
        "Frame 0 (4x4) has codes for only 10 of its 16 pixels and no end code; its "
        "sub-blocks end normally. Frame 1 is a good 2x2 frame.",
        'Reading fails with "Stream read error" when frame 0 is decoded (the data ends '
        "before the end code); frame 0 is removed, leaving the image with the 2x2 frame. "
        "giflib refuses the file: no .frames.txt.",
        dump=False)

    # Cut files: the data is split into 3-byte sub-blocks so that the cut
    # falls inside a later block.
    data = image_data(2, pairs, chunk=3)
    cut = 1 + 4 + 4 + 2          # code size, two whole blocks, length + 1 byte
    head = screen(4, 4, PAL4)
    add("truncated_in_frame0.gif",
        head + image(4, 4, data)[:10 + cut],
        "4x4 frame in 3-byte sub-blocks; the file ends one byte into the third sub-block.",
        "The frame is marked corrupt (the cut block is not kept); decoding it runs out of "
        'data, so reading fails with "Stream read error" and no frame remains. giflib '
        "refuses the file: no .frames.txt.",
        dump=False)
    add("truncated_in_frame1.gif",
        head + simple_frame((3, 2, 1, 0), 2, 2) + image(4, 4, data)[:10 + cut],
        "A good 2x2 frame, then the cut 4x4 frame of truncated_in_frame0.gif.",
        "Reading succeeds with 2 frames; frame 1 is marked corrupt and decoding it fails "
        'with "Stream read error" (the data ends before all pixels). giflib refuses the '
        "file: no .frames.txt.",
        dump=False)

    # Code size 1 (2-colour table): clear 2, end 3; a decoder's width is 2 for
    # the clear and first code, then 3.
    pairs = [
        (2, 2),   # clear
        (0, 2),   # literal 0
        (1, 3),   # literal 1 (width 3 from here on)
        (1, 3),   # literal 1
        (0, 3),   # literal 0
        (3, 3),   # end
    ]
    assert pairs == literal_codes(1, [0, 1, 1, 0])[0]
    add("code_size_1.gif",
        screen(4, 1, PAL2) + image(4, 1, image_data(1, pairs)) + TRAILER,
        "4x1 frame whose LZW code-size byte is 1 (clear 2, end 3): pixels 0 1 1 0.",
        'Decoding fails with "GIF code size not in range 2 to 9", so reading reports it '
        "and no frame remains. (giflib accepts code size 1; its .frames.txt shows 0 1 1 0.)",
        check="code size")

    pairs = [
        (1024, 11),  # clear
        (1, 11),     # literal 1
        (1025, 11),  # end
    ]
    add("code_size_10.gif",
        screen(1, 1, PAL4) + image(1, 1, image_data(10, pairs)) + TRAILER,
        "1x1 frame whose LZW code-size byte is 10 (clear 1024, end 1025, 11-bit codes).",
        'Decoding fails with "GIF code size not in range 2 to 9"; no frame remains. giflib '
        "refuses the file: no .frames.txt.",
        dump=False)

    # A cycle in the string table.  Zero-filled tables, `previous` taking the
    # incoming code even when that code was above the next free one, let an
    # entry name a later entry as its prefix.
    pairs = [
        (4, 3),   # clear
        (1, 3),   # literal 1 -> 1                      previous 1, first 1
        (7, 3),   # above next free (6): previous + first -> 1 1
                  #   adds 6 = (1, 1); previous = 7 (the code as received)
        (2, 3),   # literal 2 -> 2;  adds 7 = (prefix 7, suffix 2): entry 7
                  #   is its own prefix.  Next free 8: width 4.
        (7, 4),   # 7 -> 7 -> 7 ...: more than 4096 links, corrupt data
        (3, 4),   # never reached
        (3, 4),
        (5, 4),   # end
    ]
    add("lzw_self_loop.gif",
        screen(4, 2, PAL4) + image(4, 2, image_data(2, pairs)) + TRAILER,
        "4x2 frame, code size 2: clear, 1, 7, 2 (adding entry 7 whose prefix is 7), "
        "then code 7, then 3, 3, end.",
        "No error and no hang: the frame is marked corrupt and shows what was decoded "
        "before code 7: row 0 = 1 1 1 2, row 1 = 0 0 0 0. giflib stops with an image defect: "
        "no .frames.txt.",
        dump=False, check="corrupt")

    # Code size 3, 8-colour table: clear 8, end 9, first free 10, width 4.
    pairs = [
        (8, 4),   # clear
        (1, 4),   # literal 1 -> 1                      previous 1, first 1
        (12, 4),  # above next free (10): previous + first -> 1 1
                  #   adds 10 = (1, 1); previous = 12
        (11, 4),  # 11 = next free: previous (12) + first.  Entry 12 is still
                  #   zero-filled, (prefix 0, suffix 0): -> 0 0 1
                  #   adds 11 = (prefix 12, suffix 0); previous = 11
        (2, 4),   # literal 2 -> 2;  adds 12 = (prefix 11, suffix 2)
        (11, 4),  # 11 -> 12 -> 11 -> 12 ...: more than 4096 links, corrupt data
        (3, 4),   # never reached
        (9, 4),   # end
    ]
    add("lzw_cycle2.gif",
        screen(4, 2, PAL8) + image(4, 2, image_data(3, pairs)) + TRAILER,
        "4x2 frame, code size 3: clear, 1, 12, 11, 2 (entries 11 and 12 name each other "
        "as prefix), then code 11, 3, end.",
        "No error and no hang: the frame is marked corrupt and shows row 0 = 1 1 1 0, "
        "row 1 = 0 1 2 0. giflib stops with an image defect: no .frames.txt.",
        dump=False, check="corrupt")

    # -- extensions
    add("unknown_extension_33.gif",
        screen(3, 2, PAL4) + b"!\x33\x03abc\x00" + simple_frame() + TRAILER,
        "An extension with the unknown label 0x33 (one sub-block \"abc\") before the frame.",
        'Reading fails with "Unrecognized extension block: 33"; no frames. (giflib skips '
        "unknown extensions; its .frames.txt shows the frame.)")

    add("author_extension.gif",
        screen(3, 2, PAL4) + application(b"PLUMO_ID1.0", b"Ann Example", b"second block")
        + simple_frame() + TRAILER,
        'A "PLUMO_ID1.0" application extension with sub-blocks "Ann Example" and '
        '"second block", then one frame.',
        'Author "Ann Example" (later sub-blocks are ignored); the extension is not kept '
        "with the frame.")

    # -- a huge logical screen
    for name, left, top in (("screen_20000_origin.gif", 0, 0),
                            ("screen_20000_corner.gif", 19998, 19998)):
        add(name,
            screen(20000, 20000, PAL4) + simple_frame((1, 2, 3, 1), 2, 2, left=left, top=top)
            + TRAILER,
            "Logical screen 20000x20000 with one 2x2 frame at %d,%d." % (left, top),
            "Reads as one 2x2 frame with ScreenWidth/ScreenHeight 20000; anything that "
            "composes frames onto the screen must not allocate the full screen.")


# ------------------------------------------------------------ main

def frames_of(data):
    """Walks a well-formed file of ours: yields (w, h, interlaced, depth, image data)."""
    packed = data[10]
    gdepth = (packed & 7) + 1 if packed & 0x80 else 0
    pos = 13 + (3 << gdepth if gdepth else 0)
    while pos < len(data):
        b = data[pos]
        if b == 0x21:
            pos += 2
            while pos < len(data) and data[pos]:
                pos += 1 + data[pos]
            pos += 1
        elif b == 0x2C:
            w, h = data[pos + 5] | data[pos + 6] << 8, data[pos + 7] | data[pos + 8] << 8
            p = data[pos + 9]
            pos += 10
            depth = gdepth
            if p & 0x80:
                depth = (p & 7) + 1
                pos += 3 << depth
            start = pos
            pos += 1
            while pos < len(data) and data[pos]:
                pos += 1 + data[pos]
            pos += 1
            yield w, h, bool(p & 0x40), depth, data[start:pos]
        else:
            return


def parse_frames_txt(text):
    lines = text.split("\n")
    n = int(lines[1].split()[1])
    i, frames = 2, []
    for _ in range(n):
        h = int(lines[i].split()[5])
        rows = [[int(r[k:k + 2], 16) for k in range(0, len(r), 2)] for r in lines[i + 3:i + 3 + h]]
        frames.append(rows)
        i += 3 + h
    return frames


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    outdir = sys.argv[1]
    gifdump = sys.argv[2] if len(sys.argv) == 3 else None
    os.makedirs(outdir, exist_ok=True)
    build()
    readme = [
        "# Hand-made edge-case GIFs",
        "",
        "Written by `../../tools/make_odd_gifs.py` (standard library only; the LZW codes",
        "of each file are listed there with their bit widths). Each line: the file, what",
        "it holds, and what a correct reader does with it. A `<name>.frames.txt` beside a",
        "file is what giflib decodes from it (format in `../../README.md`); it is there",
        "when giflib can read the file and its pixels agree with what our reader must",
        "show. Where our reader's result differs in another way (an error, a field),",
        "the line says so: the line, not the .frames.txt, is the expected outcome.",
        "",
        "Colour tables: 2/4/8 entries of black, red, green, blue, yellow, magenta,",
        "cyan, white. Unless said otherwise a frame is 3x2 with code size 2 and indexes",
        "1 2 3 / 1 0 2, coded as one literal per pixel.",
        "",
    ]
    for name, data, recipe, outcome, dump, check in FILES:
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
        readme.append("- `%s` (%d bytes): %s Expected: %s" % (name, len(data), recipe, outcome))
        frames_txt = os.path.join(outdir, name[:-4] + ".frames.txt")
        if os.path.exists(frames_txt):
            os.remove(frames_txt)

        # Our own check of the stream against the reader's rules.
        if check:
            statuses = [expected_decode(d, depth, w, h, il)[0] for w, h, il, depth, d in frames_of(data)]
            assert check in statuses, (name, statuses)

        if not gifdump or dump is False:
            continue
        source = data if dump is None else dump
        with tempfile.NamedTemporaryFile(suffix=".gif") as tmp:
            tmp.write(source)
            tmp.flush()
            res = subprocess.run([gifdump, tmp.name], capture_output=True, text=True)
        if res.returncode != 0:
            sys.exit("giflib cannot read %s: %s" % (name, res.stderr.strip()))
        if check != "code size":
            mine = []
            for w, h, il, depth, d in frames_of(source):
                status, rows = expected_decode(d, max(depth, 1), w, h, il)
                mine.append(rows)
            theirs = parse_frames_txt(res.stdout)
            assert mine == theirs, "%s: giflib %s, expected %s" % (name, theirs, mine)
        with open(frames_txt, "w") as f:
            f.write(res.stdout)
    with open(os.path.join(outdir, "README.md"), "w") as f:
        f.write("\n".join(readme) + "\n")


if __name__ == "__main__":
    main()
