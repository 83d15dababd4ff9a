#!/bin/bash
# Regenerates every file under tests/data from the tools in this folder.
# The data is committed; nothing here runs at build or test time.
#
# Needs (Debian): imagemagick (used as /usr/bin/convert), gifsicle, python3-pil (used
# through /usr/bin/python3), libgif-dev, gcc, sox, libjpeg-turbo-progs.
#
#   tests/data/tools/make_all.sh
set -euo pipefail

TOOLS=$(cd "$(dirname "$0")" && pwd)
DATA=$(dirname "$TOOLS")
IM=/usr/bin/convert
PY=/usr/bin/python3

for tool in "$IM" "$PY" gcc gifsicle sox cjpeg djpeg; do
    command -v "$tool" >/dev/null || { echo "make_all.sh: $tool is missing" >&2; exit 1; }
done
"$PY" -c 'import PIL' || { echo "make_all.sh: $PY has no Pillow" >&2; exit 1; }

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The giflib tools are built into the temporary folder only.
gcc -O1 -Wall -Wextra -o "$TMP/gifdump" "$TOOLS/gifdump.c" -lgif
gcc -O1 -Wall -Wextra -o "$TMP/gifmake" "$TOOLS/gifmake.c" -lgif

# PNGs without time stamps, so that a rerun gives the same bytes.
PNG_OPTS=(-define png:exclude-chunks=date,time)

# ------------------------------------------------------------------- GIF
GIF=$DATA/gif
mkdir -p "$GIF" "$GIF/odd"
rm -f "$GIF"/*.gif "$GIF"/*.frames.txt

# giflib
"$TMP/gifmake" "$GIF"

# Pillow
"$PY" "$TOOLS/make_pil_gifs.py" "$GIF"

# ImageMagick
"$IM" -seed 7 -size 96x64 plasma:fractal -colors 256 "$GIF/im_plasma_96x64.gif"
"$IM" -seed 3 -size 33x17 gradient:red-blue -attenuate 0.6 +noise Uniform -colors 16 \
    -interlace GIF "$GIF/im_interlaced_33x17.gif"
"$IM" -size 33x17 pattern:checkerboard -monochrome "$GIF/im_bits1_33x17.gif"
"$IM" -size 7x3 xc:none -fill blue -draw 'line 0,0 6,2' -fill red -draw 'point 6,0' \
    "$GIF/im_transparent_7x3.gif"
"$IM" -size 1x1 xc:orange "$GIF/im_1x1.gif"
"$IM" -comment 'Made by ImageMagick' -size 255x1 gradient:black-white "$GIF/im_comment_255x1.gif"
# Frames smaller than the screen at offsets, each with its own colours (local
# tables), disposal none/background/previous/undefined; ImageMagick stores
# "-loop 3" as the count 2.
"$IM" -seed 5 -delay 10 -dispose None -size 24x16 plasma:fractal -colors 8 \
    -dispose Background -delay 20 -page +3+2 \( -size 10x8 gradient:yellow-red -colors 4 \) \
    -dispose Previous -delay 30 -page +12+6 \( -size 9x7 pattern:checkerboard -fill green -opaque white \) \
    -dispose Undefined -delay 40 -page +5+8 \( -size 6x5 xc:lime -fill navy -draw 'point 2,2' \) \
    -loop 3 -set page 24x16 "$GIF/im_anim_disposal_loop3.gif"
# 40 frames, each a different colour with a dot that moves along the top row.
frames=()
for k in $(seq 0 39); do
    frames+=(\( -size 12x10 "xc:hsl($((k * 9)),100%,50%)" -fill black -draw "point $((k % 12)),$((k / 12))" \))
done
"$IM" -delay 4 "${frames[@]}" -loop 0 "$GIF/im_40frames_loop0.gif"

# gifsicle, from two ImageMagick animations. gifsicle gives each frame the
# smallest LZW code size its pixels need, often below the colour table's depth.
# Ball: 12 frames of 32x24, a ball moving over a gradient whose hue changes
# every fourth frame (one 256-entry global table).
frames=()
for k in $(seq 0 11); do
    x=$((5 + k * 2)) y=$((8 + (k % 4) * 2)) h=$(((k / 4) * 40))
    frames+=(\( -size 32x24 "gradient:hsl($h,90%,25%)-hsl($((h + 20)),90%,75%)"
        -fill "hsl($((h + 180)),100%,50%)" -stroke black -draw "circle $x,$y $((x + 4)),$y" \))
done
"$IM" -delay 5 "${frames[@]}" -loop 0 "$TMP/ball.gif"
for level in 1 2 3; do
    gifsicle "-O$level" "$TMP/ball.gif" -o "$GIF/gs_ball_O$level.gif"
done
# Hues: 20 frames of 24x16, each a gradient of its own hue.
frames=()
for k in $(seq 0 19); do
    frames+=(\( -size 24x16 "gradient:hsl($((k * 18)),100%,30%)-hsl($((k * 18 + 10)),100%,70%)" \))
done
"$IM" -delay 8 "${frames[@]}" -loop 0 "$TMP/hues.gif"
for colours in 2 16 64; do
    gifsicle --colors "$colours" "$TMP/hues.gif" -o "$GIF/gs_hues_colors$colours.gif"
done

chmod 644 "$GIF"/*.gif
for f in "$GIF"/*.gif; do
    "$TMP/gifdump" "$f" >"${f%.gif}.frames.txt"
done
"$PY" "$TOOLS/check_frames.py" "$GIF"

# Hand-made edge cases (with their README).
rm -f "$GIF/odd"/*
"$PY" "$TOOLS/make_odd_gifs.py" "$GIF/odd" "$TMP/gifdump"

# ------------------------------------------------------------------- WAV
# 0.2 s of a 440 Hz sine at half scale, mono unless said.  -D: no dither, so
# the samples are the same on every run.
WAV=$DATA/wav
mkdir -p "$WAV"
rm -f "$WAV"/*
tone() { # tone <file> <rate> <channels> <sox output options...>
    local out=$1 rate=$2 channels=$3
    shift 3
    sox -D -R -n -r "$rate" -c "$channels" "$@" "$WAV/$out" synth 0.2 sine 440 vol 0.5
}
tone tone_u8_8000.wav 8000 1 -b 8 -e unsigned-integer
tone tone_s16_8000.wav 8000 1 -b 16 -e signed-integer
tone tone_s24_8000.wav 8000 1 -b 24 -e signed-integer
# sox marks 24- and 32-bit integer PCM as WAVE_FORMAT_EXTENSIBLE; "wavpcm" keeps tag 1.
tone tone_s24_plainpcm_8000.wav 8000 1 -t wavpcm -b 24 -e signed-integer
tone tone_s32_8000.wav 8000 1 -b 32 -e signed-integer
tone tone_f32_8000.wav 8000 1 -b 32 -e floating-point
tone tone_ima_adpcm_11025.wav 11025 1 -e ima-adpcm
tone tone_ms_adpcm_11025.wav 11025 1 -e ms-adpcm
tone tone_alaw_8000.wav 8000 1 -e a-law
tone tone_ulaw_8000.wav 8000 1 -e u-law
tone tone_s16_stereo_11025.wav 11025 2 -b 16 -e signed-integer
# Not a WAV at all: 100 bytes of text.
printf '%-99s\n' 'This is a plain text file with a .wav name; it holds no RIFF header and no sound.' \
    >"$WAV/not_a_wave.wav"
# The 16-bit tone cut to its 44-byte header and 400 of its 3200 sample bytes;
# the header still announces all 3200.
head -c 444 "$WAV/tone_s16_8000.wav" >"$WAV/truncated_s16_8000.wav"

# -------------------------------------------------------------- pictures
PIC=$DATA/pictures
mkdir -p "$PIC"
rm -f "$PIC"/*

# Sources as PPM/PGM from ImageMagick.
"$IM" -size 60x60 xc:red xc:lime xc:blue xc:yellow xc:magenta +append "$TMP/strip.ppm"
"$IM" -seed 11 -size 64x48 plasma:fractal -blur 0x0.5 "$TMP/photo.ppm"
"$IM" -size 40x30 gradient:white-black -seed 2 -attenuate 0.3 +noise Gaussian \
    -colorspace Gray "$TMP/grey.pgm"

# JPEG by libjpeg's cjpeg (baseline unless said); references by djpeg.
cjpeg -quality 90 -outfile "$PIC/jpeg_strip_300x60.jpg" "$TMP/strip.ppm"
cjpeg -quality 90 -outfile "$PIC/jpeg_photo_64x48.jpg" "$TMP/photo.ppm"
cjpeg -quality 90 -grayscale -outfile "$PIC/jpeg_grey_40x30.jpg" "$TMP/grey.pgm"
cjpeg -quality 90 -progressive -outfile "$PIC/jpeg_progressive_64x48.jpg" "$TMP/photo.ppm"
for f in "$PIC"/*.jpg; do
    djpeg -pnm -outfile "$TMP/decoded.pnm" "$f"
    "$IM" "$TMP/decoded.pnm" "${PNG_OPTS[@]}" "${f%.jpg}.png"
done

# BMP by ImageMagick (BMP3: the 40-byte header; "BMP" writes its newer header).
"$IM" "$TMP/photo.ppm" -type TrueColor -compress None "BMP3:$PIC/bmp_24bit_64x48.bmp"
"$IM" "$TMP/photo.ppm" -type TrueColor "BMP:$PIC/bmp_24bit_v5_64x48.bmp"
"$IM" "$TMP/photo.ppm" -dither None -colors 200 -type Palette -compress None \
    "BMP3:$PIC/bmp_8bit_64x48.bmp"
"$IM" "$TMP/photo.ppm" -dither None -colors 200 -type Palette -compress RLE \
    "BMP3:$PIC/bmp_8bit_rle_64x48.bmp"
"$IM" "$TMP/strip.ppm" -resize 33x7\! -dither None -colors 16 -type Palette \
    -compress None "BMP3:$PIC/bmp_4bit_33x7.bmp"
"$IM" -size 35x9 pattern:checkerboard -monochrome -type Bilevel -compress None "BMP3:$PIC/bmp_1bit_35x9.bmp"
for f in "$PIC"/*.bmp; do
    "$IM" "$f" "${PNG_OPTS[@]}" "${f%.bmp}.png"
done
# Top-down: the 24-bit file with its rows reversed and a negative height;
# it decodes to the same picture, so it shares that file's reference.
"$PY" "$TOOLS/bmp_top_down.py" "$PIC/bmp_24bit_64x48.bmp" "$PIC/bmp_24bit_topdown_64x48.bmp"

# -------------------------------------------------------------- large
# Tiny JPEG files of huge pictures (cjpeg, and scan headers written by hand).
"$PY" "$TOOLS/make_large_jpegs.py" "$DATA/large"

echo "make_all.sh: done"
du -sh "$DATA"
