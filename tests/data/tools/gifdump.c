/* gifdump: print what giflib decodes from a GIF, as the expected-data text
 * the GIF reader tests compare against.  Data-making tool only; it is built
 * by make_all.sh into a temporary folder and is not part of the program.
 *
 *   gifdump file.gif > file.frames.txt
 *
 * Output (one frame block per image, rows in display order):
 *   screen <W> <H>
 *   frames <N>
 *   frame <i> <left> <top> <width> <height> <interlaced 0|1>
 *         <transparentIndex or -1> <delayCentiseconds> <disposal>
 *   palette <count>
 *   <count entries as rrggbb, space-separated; empty line when count is 0>
 *   <height lines of two hex digits per pixel>
 * then, after the last frame block, optional lines:
 *   loop <count>                       NETSCAPE2.0 loop extension
 *   application <id8+auth3> <hex sub-blocks...>   other application extensions
 *   comment <before-frame-index|end> <hex of each sub-block...>
 * The frame line takes the first graphic control extension before the image
 * (giflib's choice); transparentIndex is the raw field when the flag is set.
 * Exit status 1 (and nothing on stdout) when giflib cannot read the file.
 */
#include <gif_lib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void put_hex(const GifByteType *b, int n)
{
    for (int i = 0; i < n; i++)
        printf("%02x", b[i]);
}

/* Prints the trailing lines for one run of extension blocks.  giflib keeps a
 * multi-sub-block extension as a first block with the label followed by
 * blocks with CONTINUE_EXT_FUNC_CODE for the later sub-blocks. */
static void put_extensions(const ExtensionBlock *ext, int count, const char *where)
{
    for (int i = 0; i < count; i++) {
        const ExtensionBlock *e = &ext[i];
        if (e->Function == COMMENT_EXT_FUNC_CODE) {
            printf("comment %s ", where);
            put_hex(e->Bytes, e->ByteCount);
            while (i + 1 < count && ext[i + 1].Function == CONTINUE_EXT_FUNC_CODE) {
                i++;
                putchar(' ');
                put_hex(ext[i].Bytes, ext[i].ByteCount);
            }
            putchar('\n');
        } else if (e->Function == APPLICATION_EXT_FUNC_CODE) {
            int netscape = e->ByteCount == 11 && memcmp(e->Bytes, "NETSCAPE2.0", 11) == 0;
            const ExtensionBlock *first = (i + 1 < count && ext[i + 1].Function == CONTINUE_EXT_FUNC_CODE)
                                              ? &ext[i + 1] : NULL;
            if (netscape && first && first->ByteCount >= 3 && first->Bytes[0] == 1) {
                printf("loop %d\n", first->Bytes[1] | (first->Bytes[2] << 8));
                while (i + 1 < count && ext[i + 1].Function == CONTINUE_EXT_FUNC_CODE)
                    i++;
                continue;
            }
            printf("application ");
            for (int k = 0; k < e->ByteCount; k++)
                putchar(e->Bytes[k] >= 0x20 && e->Bytes[k] < 0x7f ? e->Bytes[k] : '?');
            while (i + 1 < count && ext[i + 1].Function == CONTINUE_EXT_FUNC_CODE) {
                i++;
                putchar(' ');
                put_hex(ext[i].Bytes, ext[i].ByteCount);
            }
            putchar('\n');
        }
    }
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: gifdump file.gif\n");
        return 2;
    }
    int err = 0;
    GifFileType *gif = DGifOpenFileName(argv[1], &err);
    if (!gif) {
        fprintf(stderr, "gifdump: %s: %s\n", argv[1], GifErrorString(err));
        return 1;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        fprintf(stderr, "gifdump: %s: %s\n", argv[1], GifErrorString(gif->Error));
        DGifCloseFile(gif, &err);
        return 1;
    }

    printf("screen %d %d\n", gif->SWidth, gif->SHeight);
    printf("frames %d\n", gif->ImageCount);
    for (int f = 0; f < gif->ImageCount; f++) {
        const SavedImage *im = &gif->SavedImages[f];
        const GifImageDesc *d = &im->ImageDesc;
        GraphicsControlBlock gcb;
        if (DGifSavedExtensionToGCB(gif, f, &gcb) != GIF_OK) {
            gcb.DisposalMode = 0;
            gcb.DelayTime = 0;
            gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        }
        printf("frame %d %d %d %d %d %d %d %d %d\n", f, d->Left, d->Top, d->Width, d->Height,
               d->Interlace ? 1 : 0, gcb.TransparentColor, gcb.DelayTime, gcb.DisposalMode);
        const ColorMapObject *map = d->ColorMap ? d->ColorMap : gif->SColorMap;
        int n = map ? map->ColorCount : 0;
        printf("palette %d\n", n);
        for (int c = 0; c < n; c++)
            printf("%s%02x%02x%02x", c ? " " : "", map->Colors[c].Red, map->Colors[c].Green,
                   map->Colors[c].Blue);
        putchar('\n');
        /* DGifSlurp stores interlaced images de-interlaced. */
        for (int y = 0; y < d->Height; y++) {
            put_hex(im->RasterBits + (size_t)y * d->Width, d->Width);
            putchar('\n');
        }
    }
    for (int f = 0; f < gif->ImageCount; f++) {
        char where[16];
        snprintf(where, sizeof where, "%d", f);
        put_extensions(gif->SavedImages[f].ExtensionBlocks, gif->SavedImages[f].ExtensionBlockCount, where);
    }
    put_extensions(gif->ExtensionBlocks, gif->ExtensionBlockCount, "end");
    DGifCloseFile(gif, &err);
    return 0;
}
