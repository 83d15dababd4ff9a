#!/bin/bash
# Measures the colour reduction against other quantizers: the pictures of the quality
# table in tests/codecs/test_colorreduction.cpp and, when plumora-bench was built, the
# reduction benchmarks' pictures. Writes each picture and our reduction of it, reduces
# the picture with ImageMagick, pngquant and giflib's quantizer, all without
# dithering, and prints PSNR (dB) and the largest channel error of each.
#
# Needs (Debian): imagemagick (as /usr/bin/convert), pngquant, libgif-dev, gcc, python3.
#
#   tests/data/tools/measure_reduction.sh BUILD_DIR
set -euo pipefail

TOOLS=$(cd "$(dirname "$0")" && pwd)
BUILD=${1:?usage: measure_reduction.sh BUILD_DIR}
IM=/usr/bin/convert
for tool in "$IM" pngquant gcc python3; do
    command -v "$tool" >/dev/null || { echo "measure_reduction.sh: $tool is missing" >&2; exit 1; }
done

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
gcc -O1 -Wall -Wextra -o "$TMP/gifquant" "$TOOLS/gifquant.c" -lgif

PLUMORA_REDUCTION_PICTURES=$TMP QT_QPA_PLATFORM=offscreen "$BUILD/bin/test_codecs" \
    --gtest_also_run_disabled_tests --gtest_filter='ColorReduction.DISABLED_WriteQualityPictures' >/dev/null
if [ -x "$BUILD/bin/plumora-bench" ]; then
    PLUMORA_REDUCTION_PICTURES=$TMP "$BUILD/bin/plumora-bench" --benchmark_filter='Reduce/.*/ours' \
        >/dev/null 2>&1
fi

error() { python3 "$TOOLS/reduction_error.py" "$1" "$2"; }

printf '%-16s %7s  %-10s %-11s %-10s %-10s\n' picture colours ours imagemagick pngquant giflib
for picture in "$TMP"/*.[0-9]*.png; do
    row=${picture%.png} # <name>.<colours>
    case $row in *.ours) continue ;; esac
    colours=${row##*.}
    "$IM" "$picture" +dither -colors "$colours" "$row.im.png"
    pngquant --nofs --force --output "$row.pq.png" "$colours" "$picture"
    "$IM" "$picture" -depth 8 "$row.ppm"
    "$TMP/gifquant" "$colours" "$row.ppm" "$row.gl.ppm"
    ours=-
    [ -f "$row.ours.png" ] && ours=$(error "$picture" "$row.ours.png")
    printf '%-16s %7s  %-10s %-11s %-10s %-10s\n' "$(basename "${row%.*}")" "$colours" "$ours" \
        "$(error "$picture" "$row.im.png")" "$(error "$picture" "$row.pq.png")" \
        "$(error "$picture" "$row.gl.ppm")"
done
