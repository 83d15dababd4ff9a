// Reading and writing the gesture file (its layout: zqlayout.h).
#include "codecs/ansitext.h"
#include "codecs/colorreduction.h"
#include "codecs/gifimage.h"
#include "platform/errors.h"
#include "zqgesture.h"
#include "zqlayout.h"

#include <QBuffer>
#include <QIODevice>

#include <bit>
#include <vector>

namespace {

const char *const kCommentLine1 = "Made with Plumora!";
const char *const kCommentLine2 = "https://plumora.example.org/";

// A part of the file that the layout walk did not find whole.
template <typename Part> const Part &present(const std::optional<Part> &part)
{
    if (!part)
        throw EStreamError(plumora::streamReadError());
    return *part;
}

// Locates the parts of a gesture file into layout; a file too short for its
// start, or with another magic, is refused.
void walkGesture(QIODevice &file, GestureLayout &layout)
{
    layout = WalkGestureLayout(file);
    if (!layout.hasStart)
        throw EStreamError(plumora::streamReadError());
    if (!layout.magicMatches)
        throw PlumoraError(QStringLiteral("Not a Gesture."));
}

// Whether a true-colour picture has more than `limit` colours; stops looking
// as soon as it has seen that many.
bool hasMoreColoursThan(const QImage &picture, int limit)
{
    if (picture.isNull())
        return false;
    const QImage rgb
        = picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
    // Open addressing in a table four times the limit: short probes.
    std::vector<std::uint32_t> table(std::size_t(limit) * 4, 0xFFFFFFFF);
    const std::size_t mask = std::bit_ceil(table.size()) - 1;
    table.resize(mask + 1, 0xFFFFFFFF);
    int seen = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        std::uint32_t last = 0xFFFFFFFF;
        for (int x = 0; x < rgb.width(); ++x) {
            const std::uint32_t colour = row[x] & 0xFFFFFF;
            if (colour == last)
                continue;
            last = colour;
            for (std::size_t slot = (colour * 0x9E3779B1u) & mask;; slot = (slot + 1) & mask) {
                if (table[slot] == colour)
                    break;
                if (table[slot] == 0xFFFFFFFF) {
                    table[slot] = colour;
                    if (++seen > limit)
                        return true;
                    break;
                }
            }
        }
    }
    return false;
}

void appendBlock(QByteArray &out, const QByteArray &block)
{
    out.append(char((block.size() >> 8) & 0xFF));
    out.append(char(block.size() & 0xFF));
    out += block;
    out.append(2, '\0');
}

void checkBlock(const QByteArray &block, const char *what)
{
    if (block.size() > kMaxBlockBytes)
        throw PlumoraError(QStringLiteral("The %1 takes %2 bytes, but a gesture file holds at most %3 "
                                          "bytes for it; the gesture was not saved")
                               .arg(QLatin1String(what))
                               .arg(block.size())
                               .arg(kMaxBlockBytes));
}

// Decodes one of the gesture's pictures (the button picture or the
// animation strip, named by what). A picture of more than maxPixels pixels
// is refused from its image descriptor, before the decoder fills it: the
// decoder announces its start, and the announcement is where it is stopped.
// The author text is taken even from a refused picture (it comes before the
// image in the file), as from any other that fails after it.
TBitmap readPicture(const QByteArray &block, qint64 maxPixels, const char *what, QString &author)
{
    TGIFImage gif;
    QSize refused;
    gif.OnProgress = [&gif, &refused, maxPixels](TProgressStage stage, int, const QString &) {
        if (stage != TProgressStage::Starting || gif.FrameCount() == 0)
            return;
        const TGIFItem &item = *gif.Frames(0).SharedData;
        if (qint64(item.ImageWidth) * item.ImageHeight > maxPixels) {
            refused = QSize(item.ImageWidth, item.ImageHeight);
            throw EAbort();
        }
    };
    try {
        gif.ReadFromBuffer(block);
    } catch (const EAbort &) {
        if (refused.isEmpty())
            throw;
    }
    gif.OnProgress = nullptr;
    if (!gif.Author.isEmpty())
        author = fromAnsi(gif.Author);
    TBitmap picture;
    if (refused.isEmpty())
        gif.RenderTo(picture);
    if (!refused.isEmpty() || qint64(picture.width()) * picture.height() > maxPixels) {
        const QSize size = refused.isEmpty() ? QSize(picture.width(), picture.height()) : refused;
        throw PlumoraError(
            QStringLiteral("The gesture's %1 is too large (%2 x %3 pixels); a gesture holds at "
                           "most %4 pixels")
                .arg(QLatin1String(what))
                .arg(size.width())
                .arg(size.height())
                .arg(maxPixels));
    }
    return picture;
}

// The first width columns of a decoded picture, in RGB32, as pixels of
// their own. Only those columns are converted: the frames kept take four
// bytes a pixel, the columns beyond them nothing more than their decoded
// byte.
QImage leftColumns(const QImage &picture, int width)
{
    if (width >= picture.width())
        return picture.convertToFormat(QImage::Format_RGB32);
    return picture.copy(0, 0, width, picture.height()).convertToFormat(QImage::Format_RGB32);
}

// Why a read failed, in words that follow the file's name: the error's
// message, with the picture it came from when the GIF decoder or a short
// block stopped it, or with where the file ends.
QString readFailure(const std::exception &error, const GestureLayout &layout, const char *picture)
{
    const QString message = plumora::errorMessage(error);
    // The document's own refusals (a picture too large to hold, for one) say
    // what they concern.
    const bool streamFailed = dynamic_cast<const EStreamError *>(&error) != nullptr;
    if (picture && (streamFailed || dynamic_cast<const EInvalidGraphicOperation *>(&error)))
        return QStringLiteral("the %1: %2").arg(QLatin1String(picture), message);
    if (streamFailed && !layout.problem.isEmpty())
        return QStringLiteral("%1: %2").arg(message, layout.problem);
    return message;
}

} // namespace

QByteArray EncodeAnimationBlock(
    const QImage &strip, TColor transparent, const QByteArray &author, qsizetype *plainSize)
{
    TGIFImage gif;
    // A strip of more than 256 colours is reduced, and the transparent colour
    // must come through that exactly, with no other pixel taking it, or the
    // file's frames would lose or gain transparent pixels. Fewer colours are
    // kept exactly as they are anyway.
    const bool reduceAroundKey = transparent != clNone && hasMoreColoursThan(strip, 256);
    gif.CopyFrom(reduceAroundKey ? ReduceColours(TBitmap(strip), 256, transparent) : TBitmap(strip));
    gif.Transparent = false;
    // The image data is encoded once and written twice: plain, for the
    // AnimationSize, and with the texts the file carries, which are written
    // around it. (Writing encodes what is not encoded yet; EncodeFrames
    // would also decode the strip again, for display, which nothing needs.)
    if (plainSize)
        *plainSize = gif.WriteToBuffer().size();
    gif.Author = author;
    gif.CommentLines() = { QByteArray(kCommentLine1), QByteArray(kCommentLine2) };
    return gif.WriteToBuffer();
}

QImage PictureThroughMask(const QImage &picture, TColor mask)
{
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    if (mask == clNone)
        return image;
    const QRgb key = toQRgb(mask);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((row[x] | 0xFF000000u) == key)
                row[x] &= 0x00FFFFFFu;
    }
    return image;
}

QImage ReadGestureFirstFrame(QIODevice &file)
{
    GestureLayout layout;
    const char *picture = nullptr;
    try {
        walkGesture(file, layout);
        const QByteArray &header = present(layout.header);
        const int frameWidth = std::uint8_t(header[5]);
        if (frameWidth == 0)
            throw PlumoraError(QStringLiteral("The gesture's frame width is 0"));
        const TColor mask = (layout.flags() & gfTransparent)
            ? RGBColor(std::uint8_t(header[6]), std::uint8_t(header[7]), std::uint8_t(header[8]))
            : clNone;
        const QByteArray block = ReadGestureBlock(file, present(layout.animation));
        picture = "animation";
        QString author;
        const QImage strip = readPicture(block, kMaxStripPixels, picture, author).image();
        picture = nullptr;
        if (strip.width() < frameWidth)
            throw PlumoraError(
                QStringLiteral("the animation strip holds no whole frame of the stated width (%1 pixels)")
                    .arg(frameWidth));
        return PictureThroughMask(strip.copy(0, 0, frameWidth, strip.height()), mask);
    } catch (const std::exception &error) {
        throw PlumoraError(readFailure(error, layout, picture));
    }
}

const TZQGesture::EncodedStrip &TZQGesture::encodedStrip()
{
    prepareStrip();
    return measuredStrip();
}

const TZQGesture::EncodedStrip &TZQGesture::measuredStrip()
{
    const QByteArray author = m_author.isEmpty() ? QByteArray() : toAnsi(m_author);
    if (m_encoded.plainSize >= 0 && m_encoded.generation == m_frames->Generation()
        && m_encoded.author == author && m_encoded.transparent == m_transparentColor)
        return m_encoded;
    m_encoded = {};
    qsizetype plainSize = 0;
    QByteArray block = EncodeAnimationBlock(drawStrip(), m_transparentColor, author, &plainSize);
    m_encoded = { m_frames->Generation(), m_transparentColor, author, plainSize, std::move(block) };
    return m_encoded;
}

QByteArray TZQGesture::assembleGesture(bool enforceLimits, bool prepare)
{
    if (!m_frames)
        throw PlumoraError(QStringLiteral("The gesture has no frames to save"));
    if (enforceLimits) {
        if (m_frames->Width() > kMaxFrameWidth || m_frames->Width() < 1)
            throw PlumoraError(QStringLiteral("The frames are %1 pixels wide, but a gesture file holds "
                                              "frames from 1 to %2 pixels wide; the gesture was not saved")
                                   .arg(m_frames->Width())
                                   .arg(kMaxFrameWidth));
        if (m_frames->Count() > kMaxFrameCount)
            throw PlumoraError(QStringLiteral("The gesture has %1 frames, but a gesture file holds at most "
                                              "%2; the gesture was not saved")
                                   .arg(m_frames->Count())
                                   .arg(kMaxFrameCount));
        const qint64 stripWidth = qint64(m_frames->Width()) * m_frames->Count();
        if (stripWidth > kMaxStripWidth)
            throw PlumoraError(QStringLiteral("The animation strip would be %1 pixels wide, but a GIF "
                                              "picture is at most %2 pixels wide; the gesture was not saved")
                                   .arg(stripWidth)
                                   .arg(kMaxStripWidth));
        // Reading refuses a larger strip, so it is never written.
        if (stripWidth * m_frames->Height() > kMaxStripPixels)
            throw PlumoraError(QStringLiteral("The animation strip would be %1 x %2 pixels, but a gesture "
                                              "holds at most %3 pixels; the gesture was not saved")
                                   .arg(stripWidth)
                                   .arg(m_frames->Height())
                                   .arg(kMaxStripPixels));
    }

    QByteArray out(kGestureMagic, 8);
    const QByteArray tagline = toAnsi(m_tagline).left(255);
    out.append(char(tagline.size()));
    out += tagline;

    QByteArray header(kGestureHeaderSize, '\0');
    std::uint8_t flags = 0;
    if (m_animOption == aoLoop)
        flags |= gfLoop;
    else if (m_animOption == aoReverse)
        flags |= gfReverse;
    if (m_transparentColor != clNone)
        flags |= gfTransparent;
    if (m_hasAudio)
        flags |= gfAudio;
    if (!m_audioRepeat)
        flags |= gfAudioOnce;
    header[3] = char(flags);
    header[5] = char(m_frames->Width() & 0xFF);
    if (m_transparentColor != clNone) {
        header[6] = char(redOf(m_transparentColor));
        header[7] = char(greenOf(m_transparentColor));
        header[8] = char(blueOf(m_transparentColor));
    }
    header[9] = char(m_loopFrame);
    header[10] = char(m_audioFrame);
    out += header;

    // The button picture never carries GIF transparency. A gesture read
    // without one writes an empty block again, as it read.
    QByteArray buttonBlock;
    if (!m_glyph.isEmpty()) {
        TGIFImage button;
        button.CopyFrom(m_glyph);
        button.Transparent = false;
        if (button.FrameCount() > 0)
            button.Frames(0).TransparentColor = clNone;
        button.EncodeFrames();
        buttonBlock = button.WriteToBuffer();
    }

    const QByteArray animationBlock = prepare ? encodedStrip().block : measuredStrip().block;
    const QByteArray sound = m_hasAudio ? AudioData() : QByteArray();

    if (enforceLimits) {
        checkBlock(buttonBlock, "button picture");
        checkBlock(animationBlock, "animation");
        checkBlock(sound, "sound");
    }
    appendBlock(out, buttonBlock);
    appendBlock(out, animationBlock);
    if (m_hasAudio)
        appendBlock(out, sound);
    return out;
}

QByteArray TZQGesture::WriteGestureToBuffer()
{
    return assembleGesture(true);
}

void TZQGesture::WriteGesture(QIODevice &stream)
{
    // Assembled in memory first, so a refusal or an encoding error leaves
    // the stream untouched.
    const QByteArray bytes = WriteGestureToBuffer();
    if (stream.write(bytes) != bytes.size())
        throw EStreamError(plumora::streamWriteError());
}

void TZQGesture::ReadGesture(QIODevice &stream)
{
    m_lastReadError.clear();
    m_fileNotOpened = false;
    GestureLayout layout;
    const char *picture = nullptr; // the picture being decoded, for the reason
    try {
        readParts(stream, layout, picture);
    } catch (const std::exception &error) {
        m_lastReadError = readFailure(error, layout, picture);
        throw;
    }
}

void TZQGesture::readParts(QIODevice &stream, GestureLayout &layout, const char *&picture)
{
    resetForRead();
    // Every part is located first and then taken in file order, so a file
    // that ends early fails at the part it ends in, after the effects of the
    // parts before it.
    walkGesture(stream, layout);
    const QByteArray &tagline = present(layout.tagline);
    if (!tagline.isEmpty())
        setTagline(fromAnsi(tagline));

    const QByteArray &header = present(layout.header);
    const auto flags = layout.flags();
    if (flags & gfLoop)
        setAnimLoopOption(aoLoop);
    else if (flags & gfReverse)
        setAnimLoopOption(aoReverse);
    else
        setAnimLoopOption(aoPlayOnce);
    if (m_animOption == aoLoop)
        setAnimLoopFrame(std::uint8_t(std::uint8_t(header[9]) + 1));
    // The colour transparency offers stays what it was unless the file has a
    // transparent colour: the header's colour bytes are zero without one.
    const TColor offered = m_lastTransparentColor;
    setTransparentColor(RGBColor(std::uint8_t(header[6]), std::uint8_t(header[7]), std::uint8_t(header[8])));
    if (!(flags & gfTransparent))
        m_lastTransparentColor = offered;

    // An empty block, or a GIF without an image, leaves the gesture without a
    // button picture. So does a picture that cannot be read (damaged, or
    // larger than any button): the button is the least of a gesture, and its
    // frames and sound are read all the same. The button GIF's author text
    // is not the gesture's.
    const QByteArray buttonBlock = ReadGestureBlock(stream, present(layout.button));
    try {
        QString buttonAuthor;
        m_glyph = readPicture(buttonBlock, kMaxButtonPixels, "button picture", buttonAuthor);
    } catch (const PlumoraError &error) {
        m_glyph = TBitmap();
        m_readNotes << QStringLiteral("The button picture cannot be read (%1); the gesture has none")
                           .arg(error.message());
    }

    // The frame list is installed only once the whole file has been read, so
    // a file that ends early, anywhere, leaves the gesture not Valid.
    const int frameWidth = std::uint8_t(header[5]);
    std::unique_ptr<TFrameList> frames;
    {
        const qint64 budget = std::min(MaxStripPixels, kMaxStripPixels);
        const QByteArray animationBlock = ReadGestureBlock(stream, present(layout.animation));
        picture = "animation";
        QImage decoded = readPicture(animationBlock, budget, picture, m_author).image();
        picture = nullptr;
        frames = std::make_unique<TFrameList>(frameWidth, decoded.height());
        if (frameWidth == 0)
            throw PlumoraError(QStringLiteral("The gesture's frame width is 0"));
        const int whole = decoded.width() / frameWidth;
        const int count = std::min(whole, kMaxFrameCount);
        if (count < whole)
            m_readNotes << QStringLiteral("The animation strip holds %1 frames, but a gesture holds at most "
                                          "%2; the first %2 were read")
                               .arg(whole)
                               .arg(kMaxFrameCount);
        // The strip keeps exactly the frames' columns, so that it is the
        // strip the frames share and that saving encodes, unchanged.
        const QImage strip = leftColumns(decoded, count * frameWidth);
        decoded = QImage();
        if (!(flags & gfTransparent) && count > 0)
            m_transparentColor = clNone;
        frames->AddStrip(strip, count, m_transparentColor);
    }

    if (flags & gfAudio) {
        m_hasAudio = true;
        m_audioRepeat = !(flags & gfAudioOnce);
        m_audioFrame = std::uint8_t(header[10]);
        QBuffer sound;
        sound.setData(ReadGestureBlock(stream, present(layout.sound)));
        sound.open(QIODevice::ReadOnly);
        m_wave.LoadFromStream(sound);
    } else {
        m_hasAudio = false;
    }
    m_frames = std::move(frames);
    // The file read whole, but a strip narrower than one frame gives none.
    if (m_frames->Count() == 0)
        m_lastReadError
            = QStringLiteral("the animation strip holds no whole frame of the stated width (%1 pixels)")
                  .arg(frameWidth);
    finishRead();
}

void TZQGesture::finishRead()
{
    // The parts opened are the gesture's own; an author text in the file is
    // the file's.
    m_origins[int(TGesturePart::Button)] = { TPartOrigin::Internal, {} };
    m_origins[int(TGesturePart::Animation)]
        = { m_frames ? TPartOrigin::Internal : TPartOrigin::NoneInFile, {} };
    m_origins[int(TGesturePart::Audio)]
        = { m_hasAudio ? TPartOrigin::Internal : TPartOrigin::NoneInFile, {} };
    m_authorLocked = !m_author.isEmpty();
    if (m_transparentColor != clNone)
        m_lastTransparentColor = m_transparentColor;
    emit framesChanged();
    announceAll();
    emit edited();
    emit framesRead();
    UpdateSizes();
    emit OnChange();
    emit readFinished();
}

void TZQGesture::UpdateSizes()
{
    if (NoSizeUpdate)
        return;
    computeSizes(true);
}

void TZQGesture::MeasureSizes()
{
    computeSizes(false);
}

int TZQGesture::AnimationBlockSize()
{
    if (!m_frames || m_frames->Count() == 0)
        return 0;
    try {
        return int(std::min<qsizetype>(measuredStrip().block.size(), INT_MAX));
    } catch (const PlumoraError &) {
        return INT_MAX; // no strip a file could hold, as in computeSizes
    }
}

void TZQGesture::computeSizes(bool prepare)
{
    m_animationSize = 0;
    m_audioSize = 0;
    m_gestureSize = 0;
    // An empty frame list has nothing to encode; its sizes stay 0.
    if (!m_frames || m_frames->Count() == 0) {
        emit sizesChanged();
        return;
    }
    if (m_hasAudio)
        m_audioSize = int(AudioData().size());
    try {
        const EncodedStrip &strip = prepare ? encodedStrip() : measuredStrip();
        m_animationSize = int(std::min<qsizetype>(strip.plainSize, INT_MAX));
        // Measured without the limits, so that an oversized gesture still
        // shows how large it is.
        m_gestureSize = int(std::min<qsizetype>(assembleGesture(false, prepare).size(), INT_MAX));
    } catch (const PlumoraError &) {
        // A strip no GIF can hold (wider than a GIF can be, or too large to
        // render) has no size a gesture file could take: it counts as full.
        m_animationSize = INT_MAX;
        m_gestureSize = INT_MAX;
    }
    emit sizesChanged();
}
