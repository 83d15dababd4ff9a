// Single-picture files: JPEG through libjpeg, BMP through QImage for reading
// and a small writer of our own, GIF through the program's GIF codec.
#include "pictureio.h"

#include "colorreduction.h"
#include "gifimage.h"
#include "picturekind.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// Files larger than this are refused before being read: no accepted picture
// needs more, whatever its format.
constexpr qint64 kMaxFileBytes = 2 * kPictureMaxBitmapBytes;
// libjpeg's own working memory is capped; beyond the cap libjpeg fails
// instead of allocating. Each picture gets this much for its row buffers and
// tables, and on top of it exactly what its whole-image buffers take, as its
// frame header gives them (see wholeImageBytes): the coefficients of a
// multi-scan file, 128 bytes per block of each component, which every scale
// needs (about 1.5 GiB for a 16384 x 16384 progressive file in full colour),
// and the decoded picture that two-pass quantisation keeps.
constexpr qint64 kJpegWorkingMemory = qint64(256) * 1024 * 1024;
// A progressive file may hold any number of scans, each a pass over the whole
// picture; real encoders use a dozen or so.
constexpr int kJpegMaxScans = 500;
// Reading the scans of a progressive file visits every block of the scan's
// components once per scan, whatever size the picture is decoded at: the
// visits over all scans may come to this many passes over all the picture's
// blocks (encoders write 5 or 6), and at least kJpegMinWork.
constexpr qint64 kJpegMaxPasses = 16;
constexpr qint64 kJpegMinWork = qint64(4) * 1024 * 1024;

QString displayName(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The upper-cased extension with its dot (".JPG"), or empty without one.
QString upperExtension(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix.toUpper();
}

QByteArray readWholeFile(const QString &path)
{
    // Only plain files: opening a named pipe waits for a writer, and a device
    // such as /dev/zero never ends.
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
        throw EStreamError(
            QStringLiteral("Cannot open file \"%1\". It is not a file").arg(displayName(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EStreamError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(displayName(path), file.errorString()));
    if (file.size() > kMaxFileBytes)
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read picture \"%1\": the file is too large").arg(displayName(path)));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EStreamError(
            QStringLiteral("Cannot read file \"%1\". %2").arg(displayName(path), file.errorString()));
    return bytes;
}

// True when a width x height bitmap with the given bytes per line is within
// the readers' limits.
bool withinPictureLimits(qint64 width, qint64 height, qint64 bytesPerLine)
{
    return width > 0 && height > 0 && width * height <= kPictureMaxPixels
        && bytesPerLine * height <= kPictureMaxBitmapBytes;
}

QString tooLargeMessage(const QString &kind, const QString &path, qint64 width, qint64 height)
{
    return QStringLiteral("Cannot read %1 picture \"%2\": the picture is too large (%3 x %4 pixels)")
        .arg(kind, displayName(path))
        .arg(width)
        .arg(height);
}

// ---------------------------------------------------------------------------
// libjpeg glue
//
// libjpeg reports errors through error_exit, which must not return. Ours
// jumps back to the setjmp in runJpegStep. The jump only crosses the step's
// lambda and libjpeg's own C frames, none of which holds an object with a
// destructor, so nothing is skipped that C++ would have to clean up.

struct JpegErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool tooManyScans;
    bool tooMuchWork;
};

// The progress monitor's count of the decoding work: block visits while the
// scans of a multi-scan file are read in (a single scan is one pass).
struct JpegWork
{
    jpeg_progress_mgr pub;
    bool counting = false;
    qint64 done = 0;
    qint64 budget = 0;
};

[[noreturn]] void jpegErrorExit(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<JpegErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings that mean the picture cannot be shown as it was made (missing or
// undecodable image data) end the decode; harmless ones are counted only.
void jpegEmitMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace messages
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
        jpegErrorExit(cinfo);
    default:
        ++cinfo->err->num_warnings;
    }
}

// Called before each row of blocks a scan reads in (and for each output
// row): stops a file past the scan cap or the work budget.
void jpegProgress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto *dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto *err = reinterpret_cast<JpegErrorManager *>(cinfo->err);
    if (dinfo->input_scan_number > kJpegMaxScans) {
        err->tooManyScans = true;
        std::longjmp(err->jump, 1);
    }
    auto *work = reinterpret_cast<JpegWork *>(cinfo->progress);
    if (!work->counting)
        return;
    // One row of the scan's blocks (v_samp_factor rows of each component).
    for (int i = 0; i < dinfo->comps_in_scan; ++i)
        work->done
            += qint64(dinfo->cur_comp_info[i]->width_in_blocks) * dinfo->cur_comp_info[i]->v_samp_factor;
    if (work->done > work->budget) {
        err->tooMuchWork = true;
        std::longjmp(err->jump, 1);
    }
}

void installErrorManager(jpeg_common_struct *cinfo, JpegErrorManager &err)
{
    cinfo->err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpegErrorExit;
    err.pub.emit_message = jpegEmitMessage;
    err.message[0] = '\0';
    err.tooManyScans = false;
    err.tooMuchWork = false;
}

// Runs one libjpeg step; false when libjpeg reported an error in it. The step
// must hold only trivially destructible locals (see above).
template <typename Step> bool runJpegStep(JpegErrorManager &err, Step &&step)
{
    if (setjmp(err.jump) != 0)
        return false;
    step();
    return true;
}

class JpegDecoder
{
public:
    JpegDecoder(const QByteArray &bytes, const QString &name) : m_bytes(bytes), m_name(name)
    {
        installErrorManager(reinterpret_cast<jpeg_common_struct *>(&m_cinfo), m_err);
        m_work.pub.progress_monitor = jpegProgress;
        if (!runJpegStep(m_err, [this] { jpeg_create_decompress(&m_cinfo); }))
            fail();
        m_created = true;
        m_cinfo.progress = &m_work.pub;
        m_cinfo.mem->max_memory_to_use = kJpegWorkingMemory;
    }
    ~JpegDecoder()
    {
        if (m_created)
            jpeg_destroy_decompress(&m_cinfo);
    }
    JpegDecoder(const JpegDecoder &) = delete;
    JpegDecoder &operator=(const JpegDecoder &) = delete;

    TBitmap decode(bool quantize, QSize minimumSize, QSize *fullSize)
    {
        const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
        const auto size = static_cast<unsigned long>(m_bytes.size());
        if (!runJpegStep(m_err, [&] {
                jpeg_mem_src(&m_cinfo, data, size);
                jpeg_read_header(&m_cinfo, TRUE);
            }))
            fail();

        const bool cmyk = m_cinfo.jpeg_color_space == JCS_CMYK || m_cinfo.jpeg_color_space == JCS_YCCK;
        const bool grey = m_cinfo.jpeg_color_space == JCS_GRAYSCALE;
        const bool libjpegQuantizes = quantize && !cmyk;
        const qint64 width = m_cinfo.image_width;
        const qint64 height = m_cinfo.image_height;
        if (fullSize)
            *fullSize = QSize(int(width), int(height));
        chooseScale(minimumSize);
        // The bitmap's size is known from the frame header; refuse it before
        // libjpeg allocates anything for the picture. The pixel cap holds
        // for the picture, the memory cap for the bitmap it is decoded to.
        const qint64 outWidth = m_cinfo.output_width;
        const qint64 outHeight = m_cinfo.output_height;
        const qint64 bytesPerLine = libjpegQuantizes ? (outWidth + 3) / 4 * 4 : outWidth * 4;
        if (!withinPictureLimits(width, height, 0) || !withinPictureLimits(outWidth, outHeight, bytesPerLine))
            throw EInvalidGraphicOperation(tooLargeMessage(QStringLiteral("JPEG"), m_name, width, height));
        qint64 blocks = 0;
        for (int c = 0; c < m_cinfo.num_components; ++c)
            blocks += qint64(m_cinfo.comp_info[c].width_in_blocks) * m_cinfo.comp_info[c].height_in_blocks;
        m_work.budget = std::max(kJpegMaxPasses * blocks, kJpegMinWork);

        if (cmyk) {
            m_cinfo.out_color_space = JCS_CMYK;
        } else if (libjpegQuantizes) {
            m_cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
            m_cinfo.quantize_colors = TRUE;
            m_cinfo.desired_number_of_colors = kJpegQuantizedColors;
            m_cinfo.two_pass_quantize = TRUE;
            m_cinfo.dither_mode = JDITHER_FS;
        } else {
            // libjpeg writes QImage's RGB32 byte order directly, alpha 0xFF.
            m_cinfo.out_color_space
                = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRA : JCS_EXT_ARGB;
        }
        if (jpeg_has_multiple_scans(&m_cinfo))
            checkScansAhead();
        m_cinfo.mem->max_memory_to_use
            = long(std::min<qint64>(kJpegWorkingMemory + wholeImageBytes(libjpegQuantizes), LONG_MAX));
        // A multi-scan file reads all its scans in here.
        m_work.counting = true;
        if (!runJpegStep(m_err, [this] { jpeg_start_decompress(&m_cinfo); }))
            fail();
        m_work.counting = false;

        QImage image(int(m_cinfo.output_width), int(m_cinfo.output_height),
            libjpegQuantizes ? QImage::Format_Indexed8 : QImage::Format_RGB32);
        if (image.isNull())
            throw EInvalidGraphicOperation(
                QStringLiteral("Cannot read JPEG picture \"%1\": not enough memory")
                    .arg(displayName(m_name)));

        std::vector<JSAMPLE> cmykRow;
        if (cmyk)
            cmykRow.resize(std::size_t(m_cinfo.output_width) * 4);
        uchar *const bits = image.bits();
        const qsizetype stride = image.bytesPerLine();
        JSAMPLE *const cmykBuffer = cmykRow.data();
        const bool invertedCmyk = m_cinfo.saw_Adobe_marker;
        if (!runJpegStep(m_err, [&] {
                while (m_cinfo.output_scanline < m_cinfo.output_height) {
                    const JDIMENSION y = m_cinfo.output_scanline;
                    uchar *line = bits + qsizetype(y) * stride;
                    JSAMPROW row = cmykBuffer ? cmykBuffer : line;
                    jpeg_read_scanlines(&m_cinfo, &row, 1);
                    if (cmykBuffer)
                        cmykToRgb32(
                            cmykBuffer, reinterpret_cast<QRgb *>(line), m_cinfo.output_width, invertedCmyk);
                }
            }))
            fail();

        // The colour map lives in libjpeg's per-image memory, which
        // jpeg_finish_decompress frees: it is copied out first.
        QVector<QRgb> palette;
        if (libjpegQuantizes) {
            palette.resize(m_cinfo.actual_number_of_colors);
            for (int i = 0; i < m_cinfo.actual_number_of_colors; ++i) {
                if (m_cinfo.out_color_components == 1) {
                    const int v = m_cinfo.colormap[0][i];
                    palette[i] = qRgb(v, v, v);
                } else {
                    palette[i] = qRgb(m_cinfo.colormap[0][i], m_cinfo.colormap[1][i], m_cinfo.colormap[2][i]);
                }
            }
        }
        if (!runJpegStep(m_err, [this] { jpeg_finish_decompress(&m_cinfo); }))
            fail();

        if (!libjpegQuantizes) {
            TBitmap bitmap(image);
            return quantize ? ReduceToPalette(bitmap) : bitmap;
        }
        image.setColorTable(palette);
        return TBitmap(image, 8);
    }

private:
    // Adobe's CMYK JPEGs store inverted inks (255 = no ink); other writers
    // store plain inks.
    static void cmykToRgb32(const JSAMPLE *in, QRgb *out, JDIMENSION width, bool inverted)
    {
        for (JDIMENSION x = 0; x < width; ++x, in += 4) {
            int c = in[0], m = in[1], yy = in[2], k = in[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                yy = 255 - yy;
                k = 255 - k;
            }
            out[x] = qRgb(c * k / 255, m * k / 255, yy * k / 255);
        }
    }

    // A picture far larger than the caller needs (minimumSize, each side
    // lowered to the picture's own) is decoded at the smallest of libjpeg's
    // DCT scales 1/8 .. 7/8 that still gives that many pixels. Pictures of up
    // to kJpegFullDecodeMaxPixels always decode at full size.
    void chooseScale(QSize minimumSize)
    {
        m_cinfo.scale_num = 8;
        m_cinfo.scale_denom = 8;
        const qint64 width = m_cinfo.image_width;
        const qint64 height = m_cinfo.image_height;
        if (minimumSize.isValid() && width * height > kJpegFullDecodeMaxPixels) {
            const qint64 needWidth = std::min<qint64>(width, minimumSize.width());
            const qint64 needHeight = std::min<qint64>(height, minimumSize.height());
            for (unsigned m = 1; m < 8; ++m) {
                m_cinfo.scale_num = m;
                if (!runJpegStep(m_err, [this] { jpeg_calc_output_dimensions(&m_cinfo); }))
                    fail();
                if (m_cinfo.output_width >= needWidth && m_cinfo.output_height >= needHeight)
                    return;
            }
            m_cinfo.scale_num = 8;
        }
        if (!runJpegStep(m_err, [this] { jpeg_calc_output_dimensions(&m_cinfo); }))
            fail();
    }

    // The bytes of libjpeg's whole-image buffers for this picture: the
    // coefficients of every component of a multi-scan file, padded to whole
    // MCUs, and the picture two-pass quantisation reads twice (its rows
    // rounded up to a strip of at most 64).
    qint64 wholeImageBytes(bool twoPassQuantize)
    {
        qint64 bytes = 0;
        if (jpeg_has_multiple_scans(&m_cinfo)) {
            for (int c = 0; c < m_cinfo.num_components; ++c) {
                const jpeg_component_info &comp = m_cinfo.comp_info[c];
                const qint64 h = comp.h_samp_factor;
                const qint64 v = comp.v_samp_factor;
                bytes += (comp.width_in_blocks + h - 1) / h * h * ((comp.height_in_blocks + v - 1) / v * v)
                    * qint64(sizeof(JBLOCK));
            }
        }
        if (twoPassQuantize)
            bytes += qint64(m_cinfo.output_width) * (m_cinfo.out_color_space == JCS_GRAYSCALE ? 1 : 3)
                * (qint64(m_cinfo.output_height) + 64);
        return bytes;
    }

    // Refuses a multi-scan file whose scan headers already show it past the
    // scan cap or the work budget, before libjpeg fills its coefficient
    // buffer reading them in: the count is the one jpegProgress keeps (which
    // stays the final word), or less. Walks the markers from the start,
    // skipping each scan's coded data; stops quietly where the file is
    // damaged, which libjpeg then reports.
    void checkScansAhead()
    {
        const auto *b = reinterpret_cast<const uchar *>(m_bytes.constData());
        const qsizetype size = m_bytes.size();
        if (size < 2 || b[0] != 0xFF || b[1] != 0xD8)
            return;
        int scans = 0;
        qint64 work = 0;
        qsizetype pos = 2;
        while (pos + 1 < size && b[pos] == 0xFF) {
            const uchar marker = b[pos + 1];
            if (marker == 0xFF) { // fill byte
                ++pos;
                continue;
            }
            if (marker == 0xD9) // end of image
                return;
            if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
                pos += 2;
                continue;
            }
            if (pos + 4 > size)
                return;
            const qsizetype segment = pos + 4;
            const qsizetype end = pos + 2 + (qsizetype(b[pos + 2]) << 8 | b[pos + 3]);
            if (end < segment || end > size)
                return;
            pos = end;
            if (marker != 0xDA) // not a scan header
                continue;

            m_err.tooManyScans = ++scans > kJpegMaxScans;
            if (m_err.tooManyScans)
                fail();
            const int inScan = end > segment ? b[segment] : 0;
            for (int i = 0; i < inScan && segment + 1 + 2 * i < end; ++i) {
                for (int c = 0; c < m_cinfo.num_components; ++c) {
                    const jpeg_component_info &comp = m_cinfo.comp_info[c];
                    if (comp.component_id == b[segment + 1 + 2 * i]) {
                        work += qint64(comp.width_in_blocks) * comp.height_in_blocks;
                        break;
                    }
                }
            }
            m_err.tooMuchWork = work > m_work.budget;
            if (m_err.tooMuchWork)
                fail();
            // The coded data runs to the next marker: a 0xFF followed by
            // anything but a stuffed zero or a restart marker.
            while (pos + 1 < size) {
                const void *mark = std::memchr(b + pos, 0xFF, std::size_t(size - pos - 1));
                if (!mark)
                    return;
                pos = static_cast<const uchar *>(mark) - b;
                if (b[pos + 1] != 0x00 && (b[pos + 1] < 0xD0 || b[pos + 1] > 0xD7))
                    break;
                ++pos;
            }
        }
    }

    [[noreturn]] void fail()
    {
        QString reason;
        if (m_err.tooManyScans)
            reason = QStringLiteral("the file holds more than %1 scans").arg(kJpegMaxScans);
        else if (m_err.tooMuchWork)
            reason = QStringLiteral("decoding would take too long: its scans pass over the %1 x %2 "
                                    "pixels more than %3 times")
                         .arg(m_cinfo.image_width)
                         .arg(m_cinfo.image_height)
                         .arg(kJpegMaxPasses);
        else if (m_err.pub.msg_code == JERR_NO_BACKING_STORE)
            throw EInvalidGraphicOperation(
                tooLargeMessage(QStringLiteral("JPEG"), m_name, m_cinfo.image_width, m_cinfo.image_height));
        else
            reason = QString::fromLocal8Bit(m_err.message);
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read JPEG picture \"%1\": %2").arg(displayName(m_name), reason));
    }

    const QByteArray &m_bytes;
    QString m_name;
    jpeg_decompress_struct m_cinfo {};
    JpegErrorManager m_err {};
    JpegWork m_work;
    bool m_created = false;
};

// ---------------------------------------------------------------------------
// BMP

// What the BMP headers say, as far as the reader needs it before decoding.
struct BmpHeader
{
    qint64 width = 0;
    qint64 height = 0; // absolute value; negative heights mean top-down rows
    int bitCount = 0;
    quint32 compression = 0;
    quint32 pixelOffset = 0;
};

constexpr quint32 kBiRgb = 0;
constexpr quint32 kBiRle8 = 1;
constexpr quint32 kBiRle4 = 2;
constexpr quint32 kBiBitfields = 3;

// True when run-length data reaches its end-of-bitmap mark, or its last row,
// before the file ends. A cut RLE bitmap would otherwise decode silently with
// its missing rows left blank.
bool rleDataComplete(const QByteArray &bytes, const BmpHeader &header)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const qint64 size = bytes.size();
    qint64 at = header.pixelOffset;
    qint64 rows = 0;
    while (at + 1 < size) {
        const uchar count = p[at];
        const uchar code = p[at + 1];
        at += 2;
        if (count != 0)
            continue; // a run of count pixels
        if (code == 0) { // end of line
            if (++rows >= header.height)
                return true;
        } else if (code == 1) { // end of bitmap
            return true;
        } else if (code == 2) { // delta: dx, dy
            if (at + 1 >= size)
                return false;
            rows += p[at + 1];
            at += 2;
            if (rows >= header.height)
                return true;
        } else { // code literal pixels, padded to a 16-bit boundary
            const qint64 literal = header.compression == kBiRle8 ? code : (code + 1) / 2;
            at += (literal + 1) / 2 * 2;
            if (at > size)
                return false;
        }
    }
    return false;
}

// The picture's size, from the first 26 bytes: 16-bit sides in the OS/2
// core header, 32-bit ones in the others.
bool parseBmpSize(const QByteArray &bytes, BmpHeader &header)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    if (bytes.size() < 26 || p[0] != 'B' || p[1] != 'M')
        return false;
    if (qFromLittleEndian<quint32>(p + 14) == 12) {
        header.width = qFromLittleEndian<quint16>(p + 18);
        header.height = qFromLittleEndian<quint16>(p + 20);
    } else {
        header.width = qFromLittleEndian<qint32>(p + 18);
        header.height = qAbs(qint64(qFromLittleEndian<qint32>(p + 22)));
    }
    return true;
}

bool parseBmpHeader(const QByteArray &bytes, BmpHeader &header)
{
    if (!parseBmpSize(bytes, header))
        return false;
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    header.pixelOffset = qFromLittleEndian<quint32>(p + 10);
    const quint32 infoSize = qFromLittleEndian<quint32>(p + 14);
    if (infoSize == 12) { // OS/2 core header: never compressed
        header.bitCount = qFromLittleEndian<quint16>(p + 24);
        return true;
    }
    if (infoSize < 40 || bytes.size() < 14 + 40)
        return false;
    header.bitCount = qFromLittleEndian<quint16>(p + 28);
    header.compression = qFromLittleEndian<quint32>(p + 30);
    return true;
}

// ---------------------------------------------------------------------------
// JPEG encoding

class JpegEncoder
{
public:
    explicit JpegEncoder(const QString &name) : m_name(name)
    {
        installErrorManager(reinterpret_cast<jpeg_common_struct *>(&m_cinfo), m_err);
        if (!runJpegStep(m_err, [this] { jpeg_create_compress(&m_cinfo); }))
            fail();
        m_created = true;
    }
    ~JpegEncoder()
    {
        if (m_created)
            jpeg_destroy_compress(&m_cinfo);
        std::free(m_output);
    }
    JpegEncoder(const JpegEncoder &) = delete;
    JpegEncoder &operator=(const JpegEncoder &) = delete;

    QByteArray encode(const QImage &rgb32, int quality)
    {
        const uchar *const bits = rgb32.constBits();
        const qsizetype stride = rgb32.bytesPerLine();
        if (!runJpegStep(m_err, [&] {
                jpeg_mem_dest(&m_cinfo, &m_output, &m_outputSize);
                m_cinfo.image_width = JDIMENSION(rgb32.width());
                m_cinfo.image_height = JDIMENSION(rgb32.height());
                m_cinfo.input_components = 4;
                m_cinfo.in_color_space
                    = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
                jpeg_set_defaults(&m_cinfo);
                jpeg_set_quality(&m_cinfo, quality, TRUE);
                jpeg_start_compress(&m_cinfo, TRUE);
                while (m_cinfo.next_scanline < m_cinfo.image_height) {
                    JSAMPROW row = const_cast<uchar *>(bits + qsizetype(m_cinfo.next_scanline) * stride);
                    jpeg_write_scanlines(&m_cinfo, &row, 1);
                }
                jpeg_finish_compress(&m_cinfo);
            }))
            fail();
        return QByteArray(reinterpret_cast<const char *>(m_output), qsizetype(m_outputSize));
    }

private:
    [[noreturn]] void fail()
    {
        throw EInvalidGraphicOperation(QStringLiteral("Cannot save JPEG picture \"%1\": %2")
                                           .arg(displayName(m_name), QString::fromLocal8Bit(m_err.message)));
    }

    QString m_name;
    jpeg_compress_struct m_cinfo {};
    JpegErrorManager m_err {};
    unsigned char *m_output = nullptr; // malloc'd by libjpeg's memory destination
    unsigned long m_outputSize = 0;
    bool m_created = false;
};

void putLe16(QByteArray &out, int offset, quint16 v)
{
    qToLittleEndian(v, out.data() + offset);
}
void putLe32(QByteArray &out, int offset, quint32 v)
{
    qToLittleEndian(v, out.data() + offset);
}

void requireNonEmpty(const TBitmap &bitmap, const QString &path)
{
    if (bitmap.isEmpty())
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot save \"%1\": the picture is empty").arg(displayName(path)));
}

} // namespace

QSize BmpStatedSize(const QByteArray &head)
{
    BmpHeader header;
    if (!parseBmpSize(head, header) || header.width <= 0 || header.height <= 0 || header.width > INT_MAX
        || header.height > INT_MAX)
        return {};
    return QSize(int(header.width), int(header.height));
}

// ---------------------------------------------------------------------------

TBitmap LoadJpegFromBuffer(
    const QByteArray &bytes, bool quantize, const QString &name, QSize minimumSize, QSize *fullSize)
{
    JpegDecoder decoder(bytes, name);
    return decoder.decode(quantize, minimumSize, fullSize);
}

TBitmap LoadJpeg(const QString &path, bool quantize, QSize minimumSize, QSize *fullSize)
{
    return LoadJpegFromBuffer(readWholeFile(path), quantize, path, minimumSize, fullSize);
}

TBitmap LoadBmp(const QString &path)
{
    return LoadBmpFromBuffer(readWholeFile(path), path);
}

TBitmap LoadBmpFromBuffer(const QByteArray &bytes, const QString &path)
{
    const QString name = displayName(path);
    BmpHeader header;
    if (!parseBmpHeader(bytes, header))
        throw EInvalidGraphicOperation(QStringLiteral("Cannot read bitmap \"%1\": not a BMP file").arg(name));
    if (header.width <= 0 || header.height <= 0)
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read bitmap \"%1\": the picture has no pixels").arg(name));
    const qint64 bytesPerLine = header.bitCount <= 8 ? (header.width + 3) / 4 * 4 : header.width * 4;
    if (!withinPictureLimits(header.width, header.height, bytesPerLine))
        throw EInvalidGraphicOperation(
            tooLargeMessage(QStringLiteral("BMP"), path, header.width, header.height));
    // Uncompressed rows have a known size; a file that ends before them is
    // damaged, even where a lenient decoder would fill in the missing rows.
    if (header.compression == kBiRgb || header.compression == kBiBitfields) {
        const qint64 stride = (header.width * header.bitCount + 31) / 32 * 4;
        if (qint64(header.pixelOffset) + stride * header.height > bytes.size())
            throw EInvalidGraphicOperation(
                QStringLiteral("Cannot read bitmap \"%1\": the file is truncated").arg(name));
    } else if ((header.compression == kBiRle8 || header.compression == kBiRle4)
        && !rleDataComplete(bytes, header)) {
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read bitmap \"%1\": the file is truncated").arg(name));
    }

    AllowQtPictureLimits();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        // Qt gives no reason of its own when a picture is beyond its
        // allocation limit (counted at 4 bytes a pixel).
        if (header.width * header.height * 4 >= qint64(QImageReader::allocationLimit()) * 1024 * 1024)
            throw EInvalidGraphicOperation(
                tooLargeMessage(QStringLiteral("BMP"), path, header.width, header.height));
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read bitmap \"%1\": %2").arg(name, reader.errorString()));
    }
    if (image.format() == QImage::Format_Indexed8)
        return TBitmap(image, header.bitCount == 4 ? 4 : 8);
    return TBitmap(image);
}

TBitmap LoadPicture(const QString &path, TJpegColors jpegColors, QSize minimumSize, QSize *fullSize)
{
    TBitmap bitmap;
    switch (PictureKindOf(path)) {
    case TPictureKind::Jpeg:
        return LoadJpeg(path, jpegColors == TJpegColors::Quantized, minimumSize, fullSize);
    case TPictureKind::Qt:
        return LoadQtPicture(path, minimumSize, fullSize);
    case TPictureKind::Gif: {
        TGIFImage gif;
        gif.ReadFromFile(path);
        if (gif.FrameCount() == 0)
            throw EInvalidGraphicOperation(
                QStringLiteral("Cannot read GIF picture \"%1\": the file holds no image")
                    .arg(displayName(path)));
        gif.FrameIndex = 0;
        gif.RenderTo(bitmap);
        break;
    }
    case TPictureKind::Bmp:
        bitmap = LoadBmp(path);
        break;
    case TPictureKind::Unknown:
        if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
            throw EStreamError(
                QStringLiteral("Cannot open file \"%1\". It is not a file").arg(displayName(path)));
        if (!QFileInfo::exists(path))
            throw EStreamError(
                QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(displayName(path)));
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot read \"%1\": it is no picture Plumora reads (GIF, JPEG, BMP, PNG, WebP, "
                           "TIFF and the other formats of Qt's image plugins)")
                .arg(displayName(path)));
    }
    if (fullSize)
        *fullSize = QSize(bitmap.width(), bitmap.height());
    return bitmap;
}

QByteArray EncodeJpeg(const TBitmap &bitmap, int quality, const QString &name)
{
    requireNonEmpty(bitmap, name);
    JpegEncoder encoder(name);
    return encoder.encode(bitmap.toRgb32(), std::clamp(quality, 1, 100));
}

void SaveJpeg(const TBitmap &bitmap, const QString &path, int quality)
{
    plumora::writeFileAtomically(path, EncodeJpeg(bitmap, quality, path));
}

QByteArray EncodeBmp(const TBitmap &bitmap, const QString &name)
{
    requireNonEmpty(bitmap, name);
    const QImage &source = bitmap.image();
    const int width = bitmap.width();
    const int height = bitmap.height();

    int depth = 24;
    QVector<QRgb> palette;
    if (bitmap.hasPalette()) {
        palette = bitmap.palette();
        depth = bitmap.bitsPerPixel();
        // A palette or index that does not fit the kept depth is written at
        // 8 bits rather than cut.
        uchar maxIndex = 0;
        for (int y = 0; y < height; ++y) {
            const uchar *line = source.constScanLine(y);
            maxIndex = std::max(maxIndex, *std::max_element(line, line + width));
        }
        if (palette.size() > (1 << depth) || maxIndex >= (1 << depth))
            depth = 8;
        palette.resize(1 << depth); // missing entries become black
    }

    const qint64 stride = (qint64(width) * depth + 31) / 32 * 4;
    const qint64 paletteBytes = qint64(palette.size()) * 4;
    const qint64 offset = 14 + 40 + paletteBytes;
    const qint64 total = offset + stride * height;
    if (total > 0x7FFFFFFF)
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot save bitmap \"%1\": the picture is too large").arg(displayName(name)));

    QByteArray out(qsizetype(total), '\0');
    out[0] = 'B';
    out[1] = 'M';
    putLe32(out, 2, quint32(total));
    putLe32(out, 10, quint32(offset));
    putLe32(out, 14, 40);
    putLe32(out, 18, quint32(width));
    putLe32(out, 22, quint32(height)); // positive: rows run bottom-up
    putLe16(out, 26, 1);
    putLe16(out, 28, quint16(depth));
    putLe32(out, 30, kBiRgb);
    putLe32(out, 34, quint32(stride * height));
    for (int i = 0; i < palette.size(); ++i) {
        uchar *entry = reinterpret_cast<uchar *>(out.data()) + 54 + 4 * i;
        entry[0] = uchar(qBlue(palette[i]));
        entry[1] = uchar(qGreen(palette[i]));
        entry[2] = uchar(qRed(palette[i]));
    }

    const QImage rgb = depth == 24 ? bitmap.toRgb32() : QImage();
    for (int y = 0; y < height; ++y) {
        uchar *row = reinterpret_cast<uchar *>(out.data()) + offset + stride * (height - 1 - y);
        if (depth == 24) {
            const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                row[3 * x] = uchar(qBlue(line[x]));
                row[3 * x + 1] = uchar(qGreen(line[x]));
                row[3 * x + 2] = uchar(qRed(line[x]));
            }
        } else if (depth == 8) {
            std::copy_n(source.constScanLine(y), width, row);
        } else {
            const uchar *line = source.constScanLine(y);
            const int perByte = 8 / depth;
            for (int x = 0; x < width; ++x) {
                const int shift = 8 - depth * (x % perByte + 1);
                row[x / perByte] |= uchar(line[x] << shift);
            }
        }
    }
    return out;
}

void SaveBmp(const TBitmap &bitmap, const QString &path)
{
    plumora::writeFileAtomically(path, EncodeBmp(bitmap, path));
}

void SavePicture(const TBitmap &bitmap, const QString &path)
{
    const QString ext = upperExtension(path);
    if (ext == QLatin1String(".GIF")) {
        requireNonEmpty(bitmap, path);
        TGIFImage gif;
        gif.AppendFrame(bitmap);
        gif.WriteToFile(path);
    } else if (ext == QLatin1String(".BMP")) {
        SaveBmp(bitmap, path);
    } else if (ext == QLatin1String(".JPG") || ext == QLatin1String(".JPEG")) {
        SaveJpeg(bitmap, path);
    } else {
        const QString what = ext.isEmpty() ? QStringLiteral("files without an extension")
                                           : QStringLiteral("\"%1\" files").arg(ext.toLower());
        throw EInvalidGraphicOperation(QStringLiteral(
            "Cannot save \"%1\": Plumora cannot save pictures as %2; choose .gif, .bmp or .jpg")
                                           .arg(displayName(path), what));
    }
}
