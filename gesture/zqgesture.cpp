#include "zqgesture.h"

#include "codecs/gifimage.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"
#include "soundfit.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

TZQGesture::TZQGesture(QObject *Owner) : QObject(Owner)
{
    QImage blank(20, 20, QImage::Format_RGB32);
    blank.fill(Qt::white);
    m_glyph = TBitmap(blank);
}

TZQGesture::~TZQGesture() = default;

void TZQGesture::setTagline(const QString &value)
{
    const QString text = value.left(255);
    if (text == m_tagline)
        return;
    m_tagline = text;
    emit taglineChanged(m_tagline);
    setModified();
    emit edited();
}

void TZQGesture::setGlyph(const TBitmap &value)
{
    m_glyph = value;
    emit glyphChanged();
    UpdateSizes();
    emit edited();
}

namespace {

// A frame number counted from 1, brought within a list of count frames (any
// frame a byte can name when count is -1, for no list), as the file stores
// it: counted from 0, in a byte.
std::uint8_t storedFrame(int value, int count)
{
    int frame = std::clamp(value, 1, 256);
    if (count > 0)
        frame = std::min(frame, count);
    return std::uint8_t(frame - 1);
}

} // namespace

void TZQGesture::setAnimLoopFrame(int value)
{
    const std::uint8_t stored = storedFrame(value, m_frames ? m_frames->Count() : -1);
    if (stored == m_loopFrame) {
        // A value out of range asked for: the views show the one kept.
        if (value != AnimLoopFrame())
            emit animLoopFrameChanged(AnimLoopFrame());
        return;
    }
    m_loopFrame = stored;
    emit animLoopFrameChanged(AnimLoopFrame());
    setModified();
    emit edited();
}

void TZQGesture::setAudioLoopFrame(int value)
{
    // Without frames there is no frame to start the sound on.
    const std::uint8_t stored = m_frames ? storedFrame(value, m_frames->Count()) : m_audioFrame;
    if (stored == m_audioFrame) {
        if (value != AudioLoopFrame())
            emit audioLoopFrameChanged(AudioLoopFrame());
        return;
    }
    m_audioFrame = stored;
    emit audioLoopFrameChanged(AudioLoopFrame());
    setModified();
    emit edited();
}

void TZQGesture::clampFrameNumbers()
{
    const int count = m_frames ? m_frames->Count() : 0;
    if (count == 0)
        return;
    // Frame numbers beyond the list (after frames were deleted or another
    // list installed) would name frames the file does not have.
    if (m_loopFrame >= count) {
        m_loopFrame = std::uint8_t(count - 1);
        emit animLoopFrameChanged(AnimLoopFrame());
    }
    if (m_audioFrame >= count) {
        m_audioFrame = std::uint8_t(count - 1);
        emit audioLoopFrameChanged(AudioLoopFrame());
    }
}

void TZQGesture::setCurrentFrame(std::uint8_t value)
{
    if (value == CurrentFrame())
        return;
    m_play.currentFrame = ClampCurrentFrame(value, m_frames != nullptr, m_frames ? m_frames->Count() : 0);
    emit OnFrameChange();
}

void TZQGesture::setCurrentIndex(int index)
{
    if (index == m_play.currentFrame)
        return;
    const int last = m_frames ? m_frames->Count() - 1 : 0;
    m_play.currentFrame = index > last ? last : index < 0 ? 0 : index;
    emit OnFrameChange();
}

void TZQGesture::setAnimLoopOption(TAnimOptions value)
{
    if (value == m_animOption)
        return;
    m_animOption = value;
    emit animLoopOptionChanged(m_animOption);
    setModified();
    emit edited();
}

void TZQGesture::setTransparentColor(TColor value)
{
    if (value == m_transparentColor)
        return;
    const TColor previous = m_transparentColor;
    m_transparentColor = value;
    if (m_frames) {
        // Each frame gets its transparent pixels back in the old colour, so
        // it regains its pixels, and takes the new colour as its mask.
        m_frames->Remask(previous, value);
    }
    emit transparentColorChanged(m_transparentColor);
    if (value != clNone && value != m_lastTransparentColor) {
        m_lastTransparentColor = value;
        emit lastTransparentColorChanged(value);
    }
    setModified();
    emit edited();
}

void TZQGesture::setTransparent(bool on)
{
    setTransparentColor(on ? m_lastTransparentColor : clNone);
}

void TZQGesture::chooseTransparentColor(TColor value)
{
    if (value == clNone)
        return;
    if (m_transparentColor != clNone) {
        setTransparentColor(value);
        return;
    }
    if (value == m_lastTransparentColor)
        return;
    m_lastTransparentColor = value;
    emit lastTransparentColorChanged(value);
    emit edited();
}

void TZQGesture::setFilename(const QString &value)
{
    if (value == m_filename)
        return;
    m_filename = value;
    emit filenameChanged(m_filename);
    LoadFromFile(value);
    setModified(false);
    setUnsavedChanges(false);
}

void TZQGesture::setNumberOfLoops(std::uint8_t value)
{
    if (value == m_numberOfLoops)
        return;
    m_numberOfLoops = value;
    setModified();
    emit edited();
}

void TZQGesture::setAudioRepeat(bool value)
{
    if (value == m_audioRepeat)
        return;
    m_audioRepeat = value;
    emit audioRepeatChanged(value);
    emit edited();
}

void TZQGesture::SetAuthor(const QString &text)
{
    if (text == m_author)
        return;
    m_author = text;
    emit authorChanged(m_author);
    setModified();
    emit edited();
}

void TZQGesture::setAuthorLocked(bool value)
{
    if (value == m_authorLocked)
        return;
    m_authorLocked = value;
    emit authorLockedChanged(value);
    emit edited();
}

void TZQGesture::setOrigin(TGesturePart part, const TPartOrigin &origin)
{
    if (m_origins[int(part)] == origin)
        return;
    m_origins[int(part)] = origin;
    emit originChanged(part);
    emit edited();
}

void TZQGesture::setModified(bool value)
{
    if (value == m_modified)
        return;
    m_modified = value;
    emit modifiedChanged(value);
}

void TZQGesture::setUnsavedChanges(bool value)
{
    if (value == m_unsavedChanges)
        return;
    m_unsavedChanges = value;
    emit unsavedChangesChanged(value);
}

void TZQGesture::setFrames(std::unique_ptr<TFrameList> frames)
{
    m_frames = std::move(frames);
    emit framesChanged();
    clampFrameNumbers();
    emit edited();
}

int FramesAGestureHolds(int frameWidth)
{
    return std::min(kMaxGestureFrames, kMaxStripWidth / std::max(frameWidth, 1));
}

void TZQGesture::CheckRoomForFrame() const
{
    if (m_frames)
        CheckRoomForFrames(m_frames->Count() + 1);
}

void TZQGesture::CheckRoomForFrames(int count) const
{
    if (!m_frames)
        return;
    const int holds = FramesAGestureHolds(m_frames->Width());
    if (count > holds)
        throw PlumoraError(QStringLiteral("A gesture holds at most %1 frames of this size").arg(holds));
}

void TZQGesture::InsertFrames(int index, const QVector<QImage> &pictures, TColor maskColor)
{
    if (!m_frames)
        throw PlumoraError(QStringLiteral("The gesture has no frame list to insert into"));
    if (pictures.isEmpty())
        return;
    CheckRoomForFrames(m_frames->Count() + int(pictures.size()));
    m_frames->InsertMany(index, pictures, maskColor);
    emit framesChanged();
    emit edited();
}

void TZQGesture::RearrangeFrames(const QVector<int> &order)
{
    if (!m_frames)
        return;
    if (order.size() > m_frames->Count())
        CheckRoomForFrames(int(order.size()));
    m_frames->Rearrange(order);
    framesShortened();
}

void TZQGesture::InsertFrame(int index, const QImage &picture, TColor maskColor)
{
    if (!m_frames)
        throw PlumoraError(QStringLiteral("The gesture has no frame list to insert into"));
    CheckRoomForFrame();
    m_frames->Insert(index, picture, maskColor);
    emit framesChanged();
    emit edited();
}

void TZQGesture::DeleteFrame(int index)
{
    if (!m_frames)
        return;
    m_frames->Delete(index);
    framesShortened();
}

void TZQGesture::framesShortened()
{
    // The frame shown stays a frame of the list while it has any.
    const int count = m_frames->Count();
    if (count > 0 && m_play.currentFrame >= count)
        setCurrentIndex(count - 1);
    emit framesChanged();
    clampFrameNumbers();
    emit edited();
}

void TZQGesture::MoveFrame(int from, int to)
{
    if (!m_frames)
        return;
    m_frames->Move(from, to);
    emit framesChanged();
    emit edited();
}

bool TGestureContent::sameGesture(const TGestureContent &o) const
{
    const bool sameFrames
        = frames == o.frames || (frames && o.frames && frames->Generation() == o.frames->Generation());
    const bool sameAudio = audio.constData() == o.audio.constData() || audio == o.audio;
    return sameFrames && sameAudio && tagline == o.tagline && author == o.author
        && glyph.image() == o.glyph.image() && animOption == o.animOption && loopFrame == o.loopFrame
        && audioFrame == o.audioFrame && transparentColor == o.transparentColor
        && audioRepeat == o.audioRepeat && hasAudio == o.hasAudio && numberOfLoops == o.numberOfLoops;
}

TGestureContent TZQGesture::Content() const
{
    TGestureContent c;
    c.tagline = m_tagline;
    c.author = m_author;
    c.glyph = m_glyph;
    if (m_frames)
        c.frames = std::make_shared<const TFrameList>(m_frames->SharedCopy());
    c.animOption = m_animOption;
    c.loopFrame = m_loopFrame;
    c.audioFrame = m_audioFrame;
    c.transparentColor = m_transparentColor;
    c.audioRepeat = m_audioRepeat;
    c.hasAudio = m_hasAudio;
    c.audio = m_wave.Data();
    c.numberOfLoops = m_numberOfLoops;
    c.authorLocked = m_authorLocked;
    c.lastTransparentColor = m_lastTransparentColor;
    std::copy(std::begin(m_origins), std::end(m_origins), std::begin(c.origins));
    c.animationSize = m_animationSize;
    c.audioSize = m_audioSize;
    c.gestureSize = m_gestureSize;
    c.currentIndex = m_play.currentFrame;
    return c;
}

void TZQGesture::RestoreContent(const TGestureContent &c, bool modified)
{
    m_tagline = c.tagline;
    m_author = c.author;
    m_glyph = c.glyph;
    m_frames = c.frames ? std::make_unique<TFrameList>(c.frames->SharedCopy()) : nullptr;
    m_animOption = c.animOption;
    m_loopFrame = c.loopFrame;
    m_audioFrame = c.audioFrame;
    m_transparentColor = c.transparentColor;
    m_audioRepeat = c.audioRepeat;
    m_hasAudio = c.hasAudio;
    m_wave.setData(c.audio);
    m_numberOfLoops = c.numberOfLoops;
    m_authorLocked = c.authorLocked;
    m_lastTransparentColor = c.lastTransparentColor;
    std::copy(std::begin(c.origins), std::end(c.origins), std::begin(m_origins));
    m_animationSize = c.animationSize;
    m_audioSize = c.audioSize;
    m_gestureSize = c.gestureSize;
    const int last = m_frames ? m_frames->Count() - 1 : 0;
    m_play.currentFrame = std::clamp(c.currentIndex, 0, std::max(0, last));
    emit framesChanged();
    announceAll();
    setModified(modified);
    emit sizesChanged();
    emit edited();
    emit OnFrameChange();
}

void TZQGesture::announceAll()
{
    emit filenameChanged(m_filename);
    emit taglineChanged(m_tagline);
    emit authorChanged(m_author);
    emit authorLockedChanged(m_authorLocked);
    emit glyphChanged();
    emit animLoopOptionChanged(m_animOption);
    emit animLoopFrameChanged(AnimLoopFrame());
    emit audioLoopFrameChanged(AudioLoopFrame());
    emit audioRepeatChanged(m_audioRepeat);
    emit transparentColorChanged(m_transparentColor);
    emit lastTransparentColorChanged(m_lastTransparentColor);
    emit audioChanged();
    for (const TGesturePart part : { TGesturePart::Button, TGesturePart::Animation, TGesturePart::Audio })
        emit originChanged(part);
}

void TZQGesture::resetForRead()
{
    m_readNotes.clear();
    StopPlayback();
    setCurrentFrame(1);
    setTagline(QString());
    m_frames.reset();
    emit framesChanged();
    emit edited();
}

void TZQGesture::LoadFromFile(const QString &fileName)
{
    // Loading never raises: callers learn of a failure through Valid, and of
    // its reason through LastReadError.
    m_lastReadError.clear();
    m_fileNotOpened = false;
    const auto notOpened = [this](const QString &reason) {
        m_lastReadError = reason;
        m_fileNotOpened = true;
    };
    try {
        StopPlayback();
        if (fileName.isEmpty()) {
            resetForRead();
            return;
        }
        const QFileInfo info(fileName);
        QFile file(fileName);
        if (!info.exists())
            notOpened(QStringLiteral("does not exist"));
        else if (info.isDir())
            notOpened(QStringLiteral("is a folder, not a file"));
        else if (!info.isFile())
            notOpened(QStringLiteral("is not a plain file"));
        else if (!file.open(QIODevice::ReadOnly))
            notOpened(QStringLiteral("cannot be opened: %1").arg(file.errorString()));
        else {
            ReadGesture(file);
            setModified(false);
        }
    } catch (const std::exception &error) {
        // Swallowed: the gesture stays as far as the read got. ReadGesture
        // has kept the reason; anything else is kept here.
        if (m_lastReadError.isEmpty())
            m_lastReadError = plumora::errorMessage(error);
    }
}

QString TZQGesture::LastReadErrorMessage(const QString &fileName) const
{
    if (m_lastReadError.isEmpty())
        return {};
    if (m_fileNotOpened)
        return QStringLiteral("%1 %2.").arg(fileName, m_lastReadError);
    QString reason = m_lastReadError;
    if (!reason.endsWith(QLatin1Char('.')))
        reason += QLatin1Char('.');
    return QStringLiteral("%1 is not a gesture file that Plumora can read: %2").arg(fileName, reason);
}

void TZQGesture::SaveToFile(const QString &fileName)
{
    plumora::writeFileAtomically(fileName, WriteGestureToBuffer());
    setModified(false);
    setUnsavedChanges(false);
}

void TZQGesture::LoadAudioFromFile(const QString &fileName)
{
    // Refused from its size before it is read: a sound larger than its block
    // could never be saved, and a huge file would be read whole for nothing.
    RefuseSoundLargerThan(fileName, kMaxBlockBytes);
    // Only a WAV file is taken: the bytes are kept and played as they are,
    // so anything else (an MP3, a picture) would be stored as a sound that
    // never plays. media/soundimport.h converts other sounds first.
    TWave wave;
    wave.LoadFromFile(fileName);
    if (!WaveTimingFromHeader(wave.Data(), wave.Size()))
        throw PlumoraError(QStringLiteral("The sound \"%1\" is no WAV file; a gesture keeps its sound as WAV")
                               .arg(QFileInfo(fileName).fileName()));
    m_wave.setData(wave.Data());
    m_hasAudio = true;
    m_audioFrame = 0;
    emit audioLoopFrameChanged(AudioLoopFrame());
    emit audioChanged();
    m_origins[int(TGesturePart::Audio)] = { TPartOrigin::File, fileName };
    emit originChanged(TGesturePart::Audio);
    setModified();
    UpdateSizes();
    emit edited();
}

void TZQGesture::SetAudio(const QByteArray &wav)
{
    m_wave.setData(wav);
    m_hasAudio = true;
    emit audioChanged();
    setModified();
    UpdateSizes();
    emit edited();
}

void TZQGesture::ClearAudio()
{
    if (!m_hasAudio && m_wave.Data().isEmpty())
        return;
    m_wave.setData(QByteArray());
    m_hasAudio = false;
    emit audioChanged();
    m_origins[int(TGesturePart::Audio)] = {};
    emit originChanged(TGesturePart::Audio);
    setModified();
    UpdateSizes();
    emit edited();
}

void TZQGesture::SaveAudioToFile(const QString &fileName)
{
    m_wave.SaveToFile(fileName);
}

QImage TZQGesture::RenderStrip()
{
    if (!m_frames)
        return {};
    prepareStrip();
    return drawStrip();
}

void TZQGesture::prepareStrip()
{
    // Passing the colour through none and back, as writing does, leaves the
    // pixels that were transparent in that colour and every frame masked by
    // it; only that outcome is kept, without building the masks twice.
    if (m_transparentColor == clNone || !m_frames)
        return;
    setModified();
    m_frames->Remask(m_transparentColor, m_transparentColor);
    emit edited();
}

QImage TZQGesture::drawStrip() const
{
    const qint64 stripWidth = qint64(m_frames->Width()) * m_frames->Count();
    if (stripWidth * m_frames->Height() > kMaxStripPixels)
        return {};
    // Transparent pixels in the transparent colour, as writing leaves them.
    return m_frames->Strip(m_transparentColor);
}

TPlaybackOptions TZQGesture::playbackOptions() const
{
    TPlaybackOptions o;
    o.frameCount = m_frames ? m_frames->Count() : 0;
    o.animation = m_animOption;
    o.animLoopFrame = AnimLoopFrame();
    o.numberOfLoops = m_numberOfLoops;
    o.audioLoopFrame = AudioLoopFrame();
    o.audioRepeat = m_audioRepeat;
    o.hasAudio = m_hasAudio;
    return o;
}

TPlaybackStep TZQGesture::StartPlayback()
{
    if (!m_frames)
        return {};
    // Frame 1 is shown before the timer starts.
    const TPlaybackStep step = PlaybackStart(m_play, playbackOptions());
    if (step.frameChanged)
        emit OnFrameChange();
    emit playingChanged(true);
    return step;
}

TPlaybackStep TZQGesture::StepPlayback()
{
    if (!m_frames) {
        StopPlayback();
        return {};
    }
    const TPlaybackStep step = PlaybackTick(m_play, playbackOptions());
    if (!m_play.running)
        emit playingChanged(false);
    if (step.frameChanged)
        emit OnFrameChange();
    return step;
}

void TZQGesture::StopPlayback()
{
    if (!m_play.running)
        return;
    m_play.running = false;
    emit playingChanged(false);
}
