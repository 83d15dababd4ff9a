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
    setModified();
    emit edited();
}

void TZQGesture::setGlyph(const TBitmap &value)
{
    m_glyph = value;
    UpdateSizes();
    emit edited();
}

void TZQGesture::setAnimLoopFrame(std::uint8_t value)
{
    if (value == AnimLoopFrame())
        return;
    setModified();
    if (m_frames) {
        const int n = m_frames->Count();
        m_loopFrame = std::uint8_t(value >= n ? n - 1 : value < 2 ? 0 : value - 1);
    } else {
        m_loopFrame = std::uint8_t(value < 2 ? 0 : value - 1);
    }
    emit edited();
}

void TZQGesture::setAudioLoopFrame(std::uint8_t value)
{
    if (value == AudioLoopFrame() || !m_frames)
        return;
    setModified();
    const int n = m_frames->Count();
    m_audioFrame = std::uint8_t(value > n ? n - 1 : value == 0 ? 0 : value - 1);
    emit edited();
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
    setModified();
    emit edited();
}

void TZQGesture::setTransparentColor(TColor value)
{
    if (value == m_transparentColor)
        return;
    setModified();
    const TColor previous = m_transparentColor;
    m_transparentColor = value;
    if (m_frames) {
        // Each frame gets its transparent pixels back in the old colour, so
        // it regains its pixels, and takes the new colour as its mask.
        m_frames->Remask(previous, value);
    }
    emit edited();
}

void TZQGesture::setFilename(const QString &value)
{
    if (value == m_filename)
        return;
    m_filename = value;
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
    emit edited();
}

void TZQGesture::SetAuthor(const QString &text)
{
    if (text == m_author)
        return;
    m_author = text;
    setModified();
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
    emit edited();
}

void TZQGesture::InsertFrame(int index, const QImage &picture, TColor maskColor)
{
    if (!m_frames)
        throw PlumoraError(QStringLiteral("The gesture has no frame list to insert into"));
    m_frames->Insert(index, picture, maskColor);
    emit framesChanged();
    emit edited();
}

void TZQGesture::DeleteFrame(int index)
{
    if (!m_frames)
        return;
    m_frames->Delete(index);
    // The frame shown stays a frame of the list while it has any.
    const int count = m_frames->Count();
    if (count > 0 && m_play.currentFrame >= count)
        setCurrentIndex(count - 1);
    emit framesChanged();
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
    m_animationSize = c.animationSize;
    m_audioSize = c.audioSize;
    m_gestureSize = c.gestureSize;
    setModified(modified);
    const int last = m_frames ? m_frames->Count() - 1 : 0;
    m_play.currentFrame = std::clamp(c.currentIndex, 0, std::max(0, last));
    emit framesChanged();
    emit edited();
    emit OnFrameChange();
}

void TZQGesture::resetForRead()
{
    StopPlayback();
    setCurrentFrame(1);
    setTagline(QString());
    m_frames.reset();
    emit framesChanged();
    emit edited();
}

void TZQGesture::LoadFromFile(const QString &fileName)
{
    // Loading never raises: callers learn of a failure through Valid.
    try {
        StopPlayback();
        QFile file(fileName);
        // Only plain files are read: opening a named pipe would wait for a
        // writer, and a device may never end.
        if (fileName.isEmpty() || !QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly)) {
            if (fileName.isEmpty())
                resetForRead();
            return;
        }
        ReadGesture(file);
        setModified(false);
    } catch (const std::exception &) {
        // Swallowed: the gesture stays as far as the read got.
    }
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
    setModified();
    UpdateSizes();
    emit edited();
}

void TZQGesture::SetAudio(const QByteArray &wav)
{
    m_wave.setData(wav);
    m_hasAudio = true;
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
