/* gifmake: writes the giflib-made test GIFs (gl_*.gif) with giflib's own
 * encoder, so the reader is tested on files our writer did not make.
 * Data-making tool only; make_all.sh builds it into a temporary folder.
 *
 *   gifmake <output folder>
 */
#include <gif_lib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static GifFileType *gif;
static const char *outdir;

static void check(int ok, const char *what)
{
    if (ok != GIF_OK) {
        fprintf(stderr, "gifmake: %s failed: %s\n", what, GifErrorString(gif ? gif->Error : 0));
        exit(1);
    }
}

static void open_gif(const char *name, int gif89)
{
    char path[1024];
    int err = 0;
    snprintf(path, sizeof path, "%s/%s", outdir, name);
    gif = EGifOpenFileName(path, false, &err);
    if (!gif) {
        fprintf(stderr, "gifmake: cannot create %s: %s\n", path, GifErrorString(err));
        exit(1);
    }
    EGifSetGifVersion(gif, gif89);
}

static void close_gif(void)
{
    int err = 0;
    if (EGifCloseFile(gif, &err) != GIF_OK) {
        fprintf(stderr, "gifmake: close failed: %s\n", GifErrorString(err));
        exit(1);
    }
    gif = NULL;
}

/* A colour table of n entries; entry i is colour (r, g, b) from a fixed,
 * easily told apart sequence shifted by `seed`. */
static ColorMapObject *make_map(int n, int seed)
{
    GifColorType c[256];
    for (int i = 0; i < n; i++) {
        int k = i + seed;
        c[i].Red = (GifByteType)((k * 67 + 13) & 0xff);
        c[i].Green = (GifByteType)((k * 151 + 101) & 0xff);
        c[i].Blue = (GifByteType)((k * 29 + 200) & 0xff);
    }
    if (n >= 2 && seed == 0) {
        c[0].Red = c[0].Green = c[0].Blue = 0;
        c[1].Red = c[1].Green = c[1].Blue = 255;
    }
    return GifMakeMapObject(n, c);
}

static void put_gcb(int disposal, int delay, int transparent)
{
    GraphicsControlBlock gcb = {disposal, false, delay, transparent};
    GifByteType buf[4];
    EGifGCBToExtension(&gcb, buf);
    check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, buf), "graphic control");
}

static void put_loop(int count)
{
    GifByteType sub[3] = {1, (GifByteType)(count & 0xff), (GifByteType)(count >> 8)};
    check(EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE), "app leader");
    check(EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0"), "app id");
    check(EGifPutExtensionBlock(gif, 3, sub), "loop block");
    check(EGifPutExtensionTrailer(gif), "app trailer");
}

/* Writes one image whose pixel (x, y) is pattern(x, y) % colours, with rows
 * sent in the four-pass order when interlaced. */
static void put_image(int left, int top, int w, int h, int interlaced, ColorMapObject *local,
                      int colours, int pattern)
{
    static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    GifPixelType *row = malloc((size_t)w);
    check(EGifPutImageDesc(gif, left, top, w, h, interlaced, local), "image descriptor");
    for (int pass = 0; pass < (interlaced ? 4 : 1); pass++) {
        for (int y = interlaced ? start[pass] : 0; y < h; y += interlaced ? step[pass] : 1) {
            for (int x = 0; x < w; x++) {
                int v;
                switch (pattern) {
                case 0: v = x + y * w; break;           /* every index in turn */
                case 1: v = (x / 3 + y) ^ (x * y); break; /* irregular */
                case 2: v = y; break;                    /* one index per row */
                default: v = (x * 7 + y * 3) / 5; break; /* diagonal bands */
                }
                row[x] = (GifPixelType)(v % colours);
            }
            check(EGifPutLine(gif, row, w), "line");
        }
    }
    free(row);
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: gifmake <output folder>\n");
        return 2;
    }
    outdir = argv[1];
    ColorMapObject *m;

    /* 1-bit global table, 7x3, GIF87a without any extension. */
    open_gif("gl_bits1_7x3.gif", 0);
    m = make_map(2, 0);
    check(EGifPutScreenDesc(gif, 7, 3, 1, 0, m), "screen");
    put_image(0, 0, 7, 3, 0, NULL, 2, 1);
    close_gif();
    GifFreeMapObject(m);

    /* 2-bit global table, 33x17, interlaced. */
    open_gif("gl_bits2_33x17_interlaced.gif", 0);
    m = make_map(4, 0);
    check(EGifPutScreenDesc(gif, 33, 17, 2, 1, m), "screen");
    put_image(0, 0, 33, 17, 1, NULL, 4, 2);
    close_gif();
    GifFreeMapObject(m);

    /* 4-bit global table, 255x1. */
    open_gif("gl_bits4_255x1.gif", 0);
    m = make_map(16, 0);
    check(EGifPutScreenDesc(gif, 255, 1, 4, 0, m), "screen");
    put_image(0, 0, 255, 1, 0, NULL, 16, 0);
    close_gif();
    GifFreeMapObject(m);

    /* 8-bit global table, 16x16 interlaced, every index used once. */
    open_gif("gl_bits8_16x16_interlaced.gif", 0);
    m = make_map(256, 0);
    check(EGifPutScreenDesc(gif, 16, 16, 8, 0, m), "screen");
    put_image(0, 0, 16, 16, 1, NULL, 256, 0);
    close_gif();
    GifFreeMapObject(m);

    /* 1x1, 1-bit table, GIF87a. */
    open_gif("gl_1x1.gif", 0);
    m = make_map(2, 0);
    check(EGifPutScreenDesc(gif, 1, 1, 1, 0, m), "screen");
    put_image(0, 0, 1, 1, 0, NULL, 2, 3);
    close_gif();
    GifFreeMapObject(m);

    /* Animation: disposal 0..3, local tables on frames 1 and 2, transparency
     * on frames 1 and 3, loop count 5, a comment before frame 2 and one after
     * the last frame. */
    open_gif("gl_anim_disposal_local.gif", 1);
    m = make_map(4, 0);
    check(EGifPutScreenDesc(gif, 20, 12, 2, 0, m), "screen");
    put_loop(5);
    put_gcb(0, 10, NO_TRANSPARENT_COLOR);
    put_image(0, 0, 20, 12, 0, NULL, 4, 3);
    {
        ColorMapObject *l1 = make_map(2, 40), *l2 = make_map(8, 80);
        put_gcb(1, 25, 1);
        put_image(3, 2, 10, 6, 0, l1, 2, 1);
        check(EGifPutComment(gif, "before frame 2"), "comment");
        put_gcb(2, 50, NO_TRANSPARENT_COLOR);
        put_image(9, 5, 11, 7, 1, l2, 8, 1);
        put_gcb(3, 100, 0);
        put_image(0, 6, 5, 6, 0, NULL, 4, 2);
        GifFreeMapObject(l1);
        GifFreeMapObject(l2);
    }
    check(EGifPutComment(gif, "after the last frame"), "comment");
    close_gif();
    GifFreeMapObject(m);

    /* No global table: each frame brings its own (sizes 16 and 4); loop 65535. */
    open_gif("gl_local_only_loop65535.gif", 1);
    check(EGifPutScreenDesc(gif, 9, 9, 4, 0, NULL), "screen");
    put_loop(65535);
    {
        ColorMapObject *l1 = make_map(16, 3), *l2 = make_map(4, 9);
        put_gcb(1, 7, NO_TRANSPARENT_COLOR);
        put_image(0, 0, 9, 9, 0, l1, 16, 1);
        put_gcb(1, 7, 2);
        put_image(2, 2, 5, 5, 0, l2, 4, 3);
        GifFreeMapObject(l1);
        GifFreeMapObject(l2);
    }
    close_gif();
    return 0;
}
