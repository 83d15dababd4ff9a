// JPEG pictures through libjpeg: decoding at the smallest scale the caller
// needs, with the work and memory a hostile file may ask for bounded, and a
// baseline encoder.
#include "colorreduction.h"
#include "picturefile.h"
#include "pictureio.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

using namespace picturefile;

namespace {

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

} // namespace

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
