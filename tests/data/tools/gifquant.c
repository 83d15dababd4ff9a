/* Reduces a binary PPM (P6, maxval 255) with giflib's quantizer
 * (GifQuantizeBuffer, no dithering) and writes the result as a PPM.
 *
 *     gifquant COLOURS IN.ppm OUT.ppm
 *
 * Used by measure_reduction.sh as one more peer; not part of the program. */
#include <gif_lib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc != 4)
        return 2;
    FILE *in = fopen(argv[2], "rb");
    int width, height, maxval;
    if (!in || fscanf(in, "P6 %d %d %d", &width, &height, &maxval) != 3 || maxval != 255)
        return 1;
    fgetc(in);
    const size_t n = (size_t)width * height;
    unsigned char *rgb = malloc(3 * n), *planes = malloc(3 * n), *out = malloc(n);
    if (!rgb || !planes || !out || fread(rgb, 3, n, in) != n)
        return 1;
    fclose(in);
    for (size_t i = 0; i < n; ++i) {
        planes[i] = rgb[3 * i];
        planes[n + i] = rgb[3 * i + 1];
        planes[2 * n + i] = rgb[3 * i + 2];
    }
    int size = atoi(argv[1]);
    GifColorType palette[256];
    if (GifQuantizeBuffer(width, height, &size, planes, planes + n, planes + 2 * n, out, palette) != GIF_OK)
        return 1;
    FILE *o = fopen(argv[3], "wb");
    if (!o)
        return 1;
    fprintf(o, "P6\n%d %d\n255\n", width, height);
    for (size_t i = 0; i < n; ++i) {
        const GifColorType c = palette[out[i]];
        fputc(c.Red, o);
        fputc(c.Green, o);
        fputc(c.Blue, o);
    }
    fclose(o);
    return 0;
}
