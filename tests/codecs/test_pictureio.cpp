// Picture files: JPEG and BMP made by other tools against those tools' own
// decodings, damaged and oversized files, and saving in each format read
// back by an independent reader.
#include "codecs/gifimage.h"
#include "codecs/pictureio.h"
#include "codecs/picturekind.h"
#include "platform/errors.h"
#include "support/testdata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>

#include <csetjmp>
#include <cstdio>
#include <functional>

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <unistd.h>

namespace {

QString fixture(const QString &name)
{
    return testdata::path(QStringLiteral("pictures/") + name);
}

QImage reference(const QString &name)
{
    QImage image(fixture(name));
    EXPECT_FALSE(image.isNull()) << name.toStdString();
    return image.convertToFormat(QImage::Format_RGB32);
}

// Number of pixels whose colours differ (alpha ignored); sizes must agree.
int differingPixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return -1;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col)
            if ((x.pixel(col, row) & RGB_MASK) != (y.pixel(col, row) & RGB_MASK))
                ++count;
    return count;
}

// Mean absolute difference per channel.
double meanError(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

int distinctColors(const QImage &image)
{
    QSet<QRgb> colors;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colors.insert(image.pixel(x, y) & RGB_MASK);
    return int(colors.size());
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The message of the PlumoraError that call raises (empty when none).
QString errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const PlumoraError &e) {
        return e.message();
    }
    return {};
}

// A picture with a few colours, so GIF and BMP keep it exactly.
TBitmap pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    const QRgb colors[] = { qRgb(255, 0, 0), qRgb(0, 128, 255), qRgb(250, 250, 250), qRgb(10, 200, 30) };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colors[(x / 3 + y / 2) % 4]);
    return TBitmap(image);
}

// A palette bitmap of the given depth whose pixels run through its palette.
TBitmap palettePattern(int width, int height, int depth)
{
    QVector<QRgb> palette;
    for (int i = 0; i < (1 << depth); ++i)
        palette.append(qRgb(i * 37 % 256, 255 - i, i * 91 % 256));
    TBitmap bitmap = TBitmap::indexed(width, height, depth, palette);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.image().setPixel(x, y, uint((x * 7 + y * 3) % (1 << depth)));
    return bitmap;
}

// Position of the first SOFn marker's length field in a JPEG file.
qsizetype sofOffset(const QByteArray &jpeg)
{
    for (qsizetype i = 2; i + 1 < jpeg.size(); ++i)
        if (uchar(jpeg[i]) == 0xFF && (uchar(jpeg[i + 1]) == 0xC0 || uchar(jpeg[i + 1]) == 0xC2))
            return i + 2;
    return -1;
}

class PictureIo : public ::testing::Test
{
protected:
    QString temp(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

} // namespace

// ---------------------------------------------------------------------------
// JPEG

TEST(PictureJpeg, FullColourDecodeEqualsDjpeg)
{
    for (const char *name :
        { "jpeg_strip_300x60", "jpeg_photo_64x48", "jpeg_grey_40x30", "jpeg_progressive_64x48" }) {
        SCOPED_TRACE(name);
        const QString base = QString::fromLatin1(name);
        const TBitmap bitmap = LoadJpeg(fixture(base + ".jpg"), false);
        EXPECT_EQ(bitmap.image().format(), QImage::Format_RGB32);
        EXPECT_EQ(bitmap.bitsPerPixel(), 24);
        EXPECT_EQ(differingPixels(bitmap.image(), reference(base + ".png")), 0);
    }
}

TEST(PictureJpeg, QuantisedDecodeHasAtMost236ColoursCloseToTheOriginal)
{
    for (const char *name :
        { "jpeg_strip_300x60", "jpeg_photo_64x48", "jpeg_grey_40x30", "jpeg_progressive_64x48" }) {
        SCOPED_TRACE(name);
        const QString base = QString::fromLatin1(name);
        const TBitmap bitmap = LoadJpeg(fixture(base + ".jpg"), true);
        ASSERT_EQ(bitmap.image().format(), QImage::Format_Indexed8);
        EXPECT_EQ(bitmap.bitsPerPixel(), 8);
        EXPECT_LE(bitmap.palette().size(), kJpegQuantizedColors);
        EXPECT_GT(bitmap.palette().size(), 1);
        const QImage expected = reference(base + ".png");
        ASSERT_EQ(bitmap.image().size(), expected.size());
        EXPECT_LT(meanError(bitmap.image(), expected), 6.0);
    }
    // A greyscale JPEG gets a grey palette.
    const TBitmap grey = LoadJpeg(fixture("jpeg_grey_40x30.jpg"), true);
    for (QRgb entry : grey.palette())
        EXPECT_TRUE(qRed(entry) == qGreen(entry) && qGreen(entry) == qBlue(entry));
    // Five solid blocks need only a handful of colours.
    EXPECT_LE(distinctColors(LoadJpeg(fixture("jpeg_strip_300x60.jpg"), true).image()), 40);
}

// Damaged JPEG and BMP files: each fails with an error that names the file
// (and, for pictures too large to decode, says so before decoding).
TEST_F(PictureIo, DamagedPicturesGiveAnErrorNamingTheFile)
{
    const QByteArray good = testdata::read("pictures/jpeg_photo_64x48.jpg");
    const QByteArray progressive = testdata::read("pictures/jpeg_progressive_64x48.jpg");
    const qsizetype sof = sofOffset(good);
    ASSERT_GT(sof, 0);
    QByteArray badPrecision = good;
    badPrecision[sof + 2] = 12; // sample precision
    // 20000 x 20000 (height, then width, big-endian after the precision).
    const auto hugeJpeg = [](QByteArray bytes) {
        const qsizetype at = sofOffset(bytes);
        for (int i : { 3, 5 }) {
            bytes[at + i] = char(0x4E);
            bytes[at + i + 1] = char(0x20);
        }
        return bytes;
    };
    const QByteArray plain = testdata::read("pictures/bmp_24bit_64x48.bmp");
    const QByteArray rle = testdata::read("pictures/bmp_8bit_rle_64x48.bmp");
    QByteArray hugeBmp = plain;
    qToLittleEndian<qint32>(20000, hugeBmp.data() + 18);
    qToLittleEndian<qint32>(20000, hugeBmp.data() + 22);
    QByteArray noWidth = plain;
    qToLittleEndian<qint32>(-64, noWidth.data() + 18);
    const struct
    {
        const char *what;
        const char *name;
        QByteArray bytes;
        const char *reason = ""; // also in the message
    } rows[] = {
        { "empty", "damaged.jpg", QByteArray() },
        { "not a JPEG", "damaged.jpg", QByteArray("GIF89a this is not a JPEG file at all") },
        { "two bytes", "damaged.jpg", good.left(2) },
        { "cut in the header", "damaged.jpg", good.left(sof + 4) },
        { "cut in the image data", "damaged.jpg", good.left(good.size() / 2) },
        { "end marker missing", "damaged.jpg", good.left(good.size() - 2) },
        { "progressive cut between scans", "damaged.jpg", progressive.left(progressive.size() * 2 / 3) },
        { "bad precision", "damaged.jpg", badPrecision },
        { "huge JPEG", "big.jpg", hugeJpeg(good), "20000 x 20000" },
        { "huge progressive JPEG", "big.jpg", hugeJpeg(progressive), "20000 x 20000" },
        { "empty", "damaged.bmp", QByteArray() },
        { "negative width", "damaged.bmp", noWidth },
        { "not a bitmap", "damaged.bmp", QByteArray("GIF89a not a bitmap, just some text of a fair length") },
        { "header only", "damaged.bmp", plain.left(54) },
        { "pixels cut", "damaged.bmp", plain.left(plain.size() / 2) },
        { "last byte missing", "damaged.bmp", plain.left(plain.size() - 1) },
        { "RLE header only", "damaged.bmp", rle.left(54 + 1024) },
        { "RLE data cut", "damaged.bmp", rle.left(rle.size() * 2 / 3) },
        { "RLE last row cut", "damaged.bmp", rle.left(rle.size() - 6) },
        { "20000 x 20000", "damaged.bmp", hugeBmp },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.name) + ": " + row.what);
        const QString path = temp(QString::fromLatin1(row.name));
        writeFile(path, row.bytes);
        const bool jpeg = path.endsWith(QLatin1String(".jpg"));
        for (bool quantize : { false, true }) {
            const QString message
                = errorOf([&] { jpeg ? void(LoadJpeg(path, quantize)) : void(LoadBmp(path)); });
            EXPECT_TRUE(message.contains(QDir::toNativeSeparators(path))) << message.toStdString();
            EXPECT_TRUE(message.contains(QLatin1String(row.reason))) << message.toStdString();
            if (jpeg && row.reason[0]) { // refused before decoding, whatever the caller wants
                EXPECT_TRUE(message.contains(QLatin1String("too large"))) << message.toStdString();
            }
        }
    }
    EXPECT_FALSE(errorOf([&] { LoadJpeg(temp(QStringLiteral("missing.jpg")), false); }).isEmpty());
}

// Files of huge pictures in a few bytes (tests/data/large): decoded only as
// large as the caller needs, or refused at once with the reason; at full size
// each took from seconds to minutes and up to most of a gigabyte. Pictures of
// ordinary size decode at full size whatever the caller needs. Progressive
// files get the coefficient memory their size needs at any scale.
TEST(PictureJpeg, HugePicturesDecodeOnlyAsLargeAsNeeded)
{
    const struct
    {
        const char *file;
        bool quantize;
        QSize minimum;
        QSize decoded; // or, when refused:
        const char *reason;
    } cases[] = {
        { "large/jpeg_baseline_16384x10000.jpg", true, { 1, 255 }, { 2048, 1250 }, nullptr },
        { "large/jpeg_baseline_16384x10000.jpg", false, { 18, 18 }, { 2048, 1250 }, nullptr },
        { "large/jpeg_progressive_halves_4416x4416.jpg", false, { 1, 255 }, { 552, 552 }, nullptr },
        { "large/jpeg_progressive_halves_4416x4416.jpg", true, { 1000, 10 }, { 1104, 1104 }, nullptr },
        { "large/jpeg_progressive444_8660x5773.jpg", false, { 18, 18 }, { 1083, 722 }, nullptr },
        { "large/jpeg_progressive420_11000x8000.jpg", true, { 1, 255 }, { 1375, 1000 }, nullptr },
        { "pictures/jpeg_photo_64x48.jpg", false, { 18, 18 }, { 64, 48 }, nullptr },
        { "large/jpeg_499scans_16384x15000.jpg", true, { 1, 255 }, {}, "would take too long" },
        { "large/jpeg_499scans_12288x8192.jpg", true, { 1, 255 }, {}, "would take too long" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = testdata::path(QString::fromLatin1(c.file));
        TBitmap bitmap;
        QSize full;
        const QString message = errorOf([&] { bitmap = LoadJpeg(path, c.quantize, c.minimum, &full); });
        if (c.reason) {
            EXPECT_TRUE(message.contains(QLatin1String(c.reason))) << message.toStdString();
            continue;
        }
        ASSERT_EQ(message, QString());
        EXPECT_EQ(QSize(bitmap.width(), bitmap.height()), c.decoded);
        EXPECT_EQ(full, QImageReader(path).size());
        const QRgb left = bitmap.image().pixel(0, 0);
        const QRgb right = bitmap.image().pixel(bitmap.width() - 1, 0);
        if (QString::fromLatin1(c.file).contains(QLatin1String("halves"))) {
            EXPECT_GT(qRed(left), 200);
            EXPECT_LT(qBlue(left), 50);
            EXPECT_LT(qRed(right), 50);
            EXPECT_GT(qBlue(right), 200);
        }
    }
}

namespace {
// A CMYK JPEG written directly with libjpeg (which marks it as Adobe's,
// inverted inks: 255 means no ink).
QByteArray cmykJpeg(int width, int height, const uchar cmyk[4])
{
    jpeg_compress_struct cinfo {};
    jpeg_error_mgr err {};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uchar> row(std::size_t(width) * 4);
    for (int x = 0; x < width; ++x)
        std::copy_n(cmyk, 4, row.data() + 4 * x);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(size));
    std::free(out);
    return bytes;
}
} // namespace

TEST(PictureJpeg, CmykIsConvertedToRgb)
{
    const uchar red[4] = { 255, 0, 0, 255 }; // no cyan, full magenta and yellow, no black
    const QByteArray bytes = cmykJpeg(16, 16, red);
    const TBitmap full = LoadJpegFromBuffer(bytes, false, QStringLiteral("cmyk.jpg"));
    const QRgb pixel = full.image().pixel(8, 8);
    EXPECT_GT(qRed(pixel), 245);
    EXPECT_LT(qGreen(pixel), 10);
    EXPECT_LT(qBlue(pixel), 10);
    const TBitmap quantized = LoadJpegFromBuffer(bytes, true, QStringLiteral("cmyk.jpg"));
    EXPECT_EQ(quantized.image().format(), QImage::Format_Indexed8);
    EXPECT_LT(meanError(quantized.image(), full.image()), 1.0);
}

// ---------------------------------------------------------------------------
// BMP

TEST(PictureBmp, EveryLayoutDecodesLikeTheMakingTool)
{
    struct Case
    {
        const char *file;
        const char *png;
        int bits;
    };
    const Case cases[] = {
        { "bmp_24bit_64x48.bmp", "bmp_24bit_64x48.png", 24 },
        { "bmp_24bit_v5_64x48.bmp", "bmp_24bit_v5_64x48.png", 24 },
        { "bmp_24bit_topdown_64x48.bmp", "bmp_24bit_64x48.png", 24 },
        { "bmp_8bit_64x48.bmp", "bmp_8bit_64x48.png", 8 },
        { "bmp_8bit_rle_64x48.bmp", "bmp_8bit_rle_64x48.png", 8 },
        { "bmp_4bit_33x7.bmp", "bmp_4bit_33x7.png", 4 },
        { "bmp_1bit_35x9.bmp", "bmp_1bit_35x9.png", 1 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const TBitmap bitmap = LoadBmp(fixture(QString::fromLatin1(c.file)));
        EXPECT_EQ(bitmap.bitsPerPixel(), c.bits);
        EXPECT_EQ(bitmap.hasPalette(), c.bits <= 8);
        EXPECT_EQ(differingPixels(bitmap.image(), reference(QString::fromLatin1(c.png))), 0);
    }
}

// Qt's own image allocation limit once refused palette pictures above 128 MB
// ("Unable to read image data") that are well within the program's limits.
// An RLE bitmap of any size is a few bytes: its data may end the picture at
// once, leaving every pixel at index 0.
TEST(PictureBmp, SizesUpToTheLimitRead)
{
    const QByteArray rle = testdata::read("pictures/bmp_8bit_rle_64x48.bmp");
    const quint32 pixelOffset = qFromLittleEndian<quint32>(rle.constData() + 10);
    const auto blank = [&](qint32 width, qint32 height) {
        QByteArray bmp = rle.left(pixelOffset) + QByteArray("\x00\x01", 2); // end of bitmap
        qToLittleEndian<qint32>(width, bmp.data() + 18);
        qToLittleEndian<qint32>(height, bmp.data() + 22);
        return bmp;
    };
    const TBitmap big = LoadBmpFromBuffer(blank(16384, 8200), QStringLiteral("big.bmp"));
    EXPECT_EQ(QSize(big.width(), big.height()), QSize(16384, 8200));
    EXPECT_EQ(big.bitsPerPixel(), 8);
    const QString message
        = errorOf([&] { LoadBmpFromBuffer(blank(16384, 16385), QStringLiteral("huge.bmp")); });
    EXPECT_TRUE(message.contains(QLatin1String("too large (16384 x 16385 pixels)"))) << message.toStdString();
}

// ---------------------------------------------------------------------------
// Choosing the reader: by extension for GIF, JPEG and BMP, else by content

TEST_F(PictureIo, LoadPictureChoosesTheReaderByExtensionThenByContent)
{
    const QByteArray jpeg = testdata::read("pictures/jpeg_photo_64x48.jpg");
    for (const char *name : { "a.jpg", "b.JPG", "c.jpeg", "d.JpEg" }) {
        const QString path = temp(QString::fromLatin1(name));
        writeFile(path, jpeg);
        EXPECT_EQ(LoadPicture(path).bitsPerPixel(), 24) << name;
        const TBitmap quantized = LoadPicture(path, TJpegColors::Quantized);
        EXPECT_EQ(quantized.bitsPerPixel(), 8) << name;
        EXPECT_LE(quantized.palette().size(), kJpegQuantizedColors);
    }
    const QString bmp = temp(QStringLiteral("e.Bmp"));
    writeFile(bmp, testdata::read("pictures/bmp_4bit_33x7.bmp"));
    EXPECT_EQ(LoadPicture(bmp).bitsPerPixel(), 4);

    // A name that promises a reader gets it: a JPEG named .bmp is a damaged bitmap.
    const QString misnamed = temp(QStringLiteral("photo.bmp"));
    writeFile(misnamed, jpeg);
    EXPECT_FALSE(errorOf([&] { LoadPicture(misnamed); }).isEmpty());

    // Any other name says nothing: the content decides, and our own readers
    // keep their formats (a JPEG quantised by libjpeg, a GIF's 4-bit depth).
    for (const char *name : { "f.png", "noextension", "g.jpg.txt" }) {
        const QString path = temp(QString::fromLatin1(name));
        writeFile(path, jpeg);
        EXPECT_LE(LoadPicture(path, TJpegColors::Quantized).palette().size(), kJpegQuantizedColors) << name;
    }
    const QString gif = temp(QStringLiteral("clip.mp4"));
    writeFile(gif, testdata::read("gif/gl_bits4_255x1.gif"));
    EXPECT_EQ(PictureKindOf(gif), TPictureKind::Gif);
    EXPECT_EQ(LoadPicture(gif).width(), 255);

    const QString text = temp(QStringLiteral("notes.png"));
    writeFile(text, "not a picture at all, just some words\n");
    const QString message = errorOf([&] { LoadPicture(text); });
    EXPECT_TRUE(message.contains(QDir::toNativeSeparators(text))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("no picture"))) << message.toStdString();
}

// The formats of Qt's image plugins (Debian's qt6-image-formats-plugins for
// WebP and TIFF) read by content, whatever the name says.
TEST_F(PictureIo, QtPluginFormatsReadByContent)
{
    QImage picture(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            picture.setPixel(x, y, qRgb(x * 6, y * 8, 100));
    struct Row
    {
        const char *format;
        const char *name;
        int tolerance; // WebP is lossy
    };
    const Row rows[] = {
        { "png", "p.png", 0 },
        { "png", "p.dat", 0 },
        { "tiff", "t.tif", 0 },
        { "webp", "w.webp", 24 },
        { "webp", "w", 24 },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (!QImageReader::supportedImageFormats().contains(row.format)) {
            ADD_FAILURE() << "Qt has no " << row.format << " plugin (qt6-image-formats-plugins)";
            continue;
        }
        const QString path = temp(QString::fromLatin1(row.name));
        ASSERT_TRUE(picture.save(path, row.format));
        QByteArray format;
        EXPECT_EQ(PictureKindOf(path, &format), TPictureKind::Qt);
        EXPECT_EQ(format, row.format);
        QSize full;
        const TBitmap read = LoadPicture(path, TJpegColors::FullColor, {}, &full);
        ASSERT_EQ(read.image().size(), picture.size());
        EXPECT_EQ(full, picture.size());
        const QRgb got = read.image().pixel(20, 15);
        const QRgb want = picture.pixel(20, 15);
        EXPECT_LE(std::abs(qRed(got) - qRed(want)) + std::abs(qGreen(got) - qGreen(want)), row.tolerance);
    }
}

TEST_F(PictureIo, LoadPictureTakesTheFirstFrameOfAGif)
{
    const TBitmap anim = LoadPicture(testdata::path("gif/gl_anim_disposal_local.gif"));
    TGIFImage gif;
    gif.ReadFromFile(testdata::path("gif/gl_anim_disposal_local.gif"));
    ASSERT_GT(gif.FrameCount(), 1);
    EXPECT_EQ(differingPixels(anim.image(), gif.Frames(0).DecodedBitmap().image()), 0);

    // The frame's transparent colour comes along, as for any bitmap copy.
    const TBitmap transparent = LoadPicture(testdata::path("gif/im_transparent_7x3.gif"));
    EXPECT_TRUE(transparent.transparent());
    EXPECT_NE(transparent.transparentColor(), clNone);

    // A GIF without any image gives nothing to show.
    const QString empty = temp(QStringLiteral("empty.gif"));
    writeFile(empty, QByteArray("GIF89a\x02\x00\x02\x00\x00\x00\x00;", 14));
    EXPECT_FALSE(errorOf([&] { LoadPicture(empty); }).isEmpty());
}

// ---------------------------------------------------------------------------
// Saving

TEST_F(PictureIo, SavedGifReadsBackWithTheGifReader)
{
    const TBitmap source = pattern(37, 23);
    const QString path = temp(QStringLiteral("button.GIF"));
    SavePicture(source, path);
    TGIFImage gif;
    gif.ReadFromFile(path);
    ASSERT_EQ(gif.FrameCount(), 1);
    EXPECT_EQ(differingPixels(gif.Frames(0).DecodedBitmap().image(), source.image()), 0);
}

TEST_F(PictureIo, SavedBmpReadsBackWithQImageAtItsDepth)
{
    struct Case
    {
        TBitmap bitmap;
        int bits;
    };
    const Case cases[] = {
        { pattern(37, 23), 24 }, // odd width: row padding
        { palettePattern(37, 5, 8), 8 },
        { palettePattern(37, 5, 4), 4 },
        { palettePattern(37, 5, 1), 1 },
        { TBitmap(QImage(3, 2, QImage::Format_ARGB32_Premultiplied)), 24 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bits);
        const QString path = temp(QStringLiteral("button.bmp"));
        SavePicture(c.bitmap, path);
        QImageReader reader(path, "bmp");
        const QImage back = reader.read();
        ASSERT_FALSE(back.isNull()) << reader.errorString().toStdString();
        EXPECT_EQ(qFromLittleEndian<quint16>(readFile(path).constData() + 28), c.bits); // biBitCount
        EXPECT_EQ(differingPixels(back, c.bitmap.toRgb32()), 0);
        EXPECT_EQ(LoadBmp(path).bitsPerPixel(), c.bits);
    }
    // A palette too big for the kept depth is written at 8 bits, not cut.
    QImage wide(4, 1, QImage::Format_Indexed8);
    QVector<QRgb> table(40, qRgb(1, 2, 3));
    table[33] = qRgb(200, 100, 50);
    wide.setColorTable(table);
    wide.fill(33);
    const QString path = temp(QStringLiteral("wide.bmp"));
    SaveBmp(TBitmap(wide, 4), path);
    const QImage back(path);
    EXPECT_EQ(back.pixel(3, 0) & RGB_MASK, qRgb(200, 100, 50) & RGB_MASK);
}

TEST_F(PictureIo, SavedJpegIsBaselineAndReadsBackWithLibjpeg)
{
    const TBitmap source(reference(QStringLiteral("jpeg_photo_64x48.png")));
    for (const char *name : { "button.jpg", "button.JPEG" }) {
        SCOPED_TRACE(name);
        const QString path = temp(QString::fromLatin1(name));
        SavePicture(source, path);
        const QByteArray bytes = readFile(path);
        ASSERT_TRUE(bytes.startsWith("\xFF\xD8"));
        const qsizetype sof = sofOffset(bytes);
        ASSERT_GT(sof, 0);
        EXPECT_EQ(uchar(bytes[sof - 1]), 0xC0) << "baseline frame expected";
        const TBitmap back = LoadJpeg(path, false);
        ASSERT_EQ(back.image().size(), source.image().size());
        EXPECT_LT(meanError(back.image(), source.image()), 4.0);
    }
    // Lower quality gives a smaller file.
    EXPECT_LT(EncodeJpeg(source, 20, QStringLiteral("x")).size(),
        EncodeJpeg(source, 90, QStringLiteral("x")).size());
    // Palette pictures are saved in full colour.
    const TBitmap palette = palettePattern(20, 10, 4);
    const QString path = temp(QStringLiteral("palette.jpg"));
    SaveJpeg(palette, path);
    EXPECT_LT(meanError(LoadJpeg(path, false).image(), palette.toRgb32()), 40.0);
}

TEST_F(PictureIo, UnknownSaveExtensionIsRefusedAndWritesNothing)
{
    for (const char *name : { "button.png", "button", "button.jp" }) {
        SCOPED_TRACE(name);
        const QString path = temp(QString::fromLatin1(name));
        const QString message = errorOf([&] { SavePicture(pattern(4, 4), path); });
        EXPECT_TRUE(message.contains(QStringLiteral("choose .gif, .bmp or .jpg"))) << message.toStdString();
        EXPECT_TRUE(message.contains(QDir::toNativeSeparators(path)));
        EXPECT_FALSE(QFileInfo::exists(path));
    }
    EXPECT_TRUE(errorOf([&] {
        SavePicture(pattern(4, 4), temp(QStringLiteral("b.png")));
    }).contains(QStringLiteral("\".png\" files")));
}

TEST_F(PictureIo, FailedSaveLeavesAnExistingFileUntouched)
{
    const QByteArray old("the old contents");
    const auto keepsOld = [&](const QString &name, const TBitmap &bitmap) {
        SCOPED_TRACE(name.toStdString());
        const QString path = temp(name);
        writeFile(path, old);
        const QString message = errorOf([&] { SavePicture(bitmap, path); });
        EXPECT_TRUE(message.contains(QDir::toNativeSeparators(path))) << message.toStdString();
        EXPECT_EQ(readFile(path), old);
    };
    // libjpeg refuses sides above 65500 pixels, part-way into encoding.
    keepsOld(QStringLiteral("wide.jpg"), TBitmap(QImage(70000, 1, QImage::Format_RGB32)));
    keepsOld(QStringLiteral("empty.jpg"), TBitmap());
    keepsOld(QStringLiteral("empty.bmp"), TBitmap());
    keepsOld(QStringLiteral("empty.gif"), TBitmap());
    keepsOld(QStringLiteral("existing.png"), pattern(4, 4));

    // A folder that cannot take the temporary file (not enforced for root).
    if (geteuid() != 0) {
        QDir(m_dir.path()).mkdir(QStringLiteral("locked"));
        const QString locked = temp(QStringLiteral("locked"));
        writeFile(locked + QStringLiteral("/button.bmp"), old);
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        EXPECT_FALSE(
            errorOf([&] { SavePicture(pattern(4, 4), locked + QStringLiteral("/button.bmp")); }).isEmpty());
        QFile::setPermissions(
            locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(readFile(locked + QStringLiteral("/button.bmp")), old);
    }
}
