#include "zqgesture.h"

#include "codecs/gifimage.h"
#include "platform/atomicfile.h"
#include "platform/errors.h"
#include "wave.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTimer>

TZQGesture::TZQGesture(QWidget *Owner) : QWidget(Owner)
{
    QImage blank(20, 20, QImage::Format_RGB32);
    blank.fill(Qt::white);
    m_glyph = TBitmap(blank);
    m_timer = new QTimer(this);
    m_timer->setInterval(250);
    connect(m_timer, &QTimer::timeout, this, &TZQGesture::Tick);
    m_soundPlayer = new TWavePlayer(this);
    m_soundPlayer->setOptions({ wpoAsync });
    m_soundPlayer->setEnabled(true);
}

TZQGesture::~TZQGesture()
{
    m_timer->stop();
    // The player stops a sound still playing when it goes; the frame list
    // goes with its owner pointer.
}

void TZQGesture::setTagline(const QString &value)
{
    const QString text = value.left(255);
    if (text == m_tagline)
        return;
    m_tagline = text;
    setModified();
}

void TZQGesture::setGlyph(const TBitmap &value)
{
    m_glyph = value;
    UpdateSizes();
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
}

void TZQGesture::setAudioLoopFrame(std::uint8_t value)
{
    if (value == AudioLoopFrame() || !m_frames)
        return;
    setModified();
    const int n = m_frames->Count();
    m_audioFrame = std::uint8_t(value > n ? n - 1 : value == 0 ? 0 : value - 1);
}

void TZQGesture::setCurrentFrame(std::uint8_t value)
{
    if (value == CurrentFrame())
        return;
    m_play.currentFrame = ClampCurrentFrame(value, m_frames != nullptr, m_frames ? m_frames->Count() : 0);
    if (OnFrameChange)
        OnFrameChange(this);
    update();
}

void TZQGesture::setAnimLoopOption(TAnimOptions value)
{
    if (value == m_animOption)
        return;
    m_animOption = value;
    setModified();
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
        update();
    }
}

void TZQGesture::setFilename(const QString &value)
{
    if (value == m_filename)
        return;
    m_filename = value;
    LoadFromFile(value);
    m_modified = false;
}

void TZQGesture::setNumberOfLoops(std::uint8_t value)
{
    if (value == m_numberOfLoops)
        return;
    m_numberOfLoops = value;
    setModified();
}

void TZQGesture::setAutoSize(bool value)
{
    if (value == m_autoSize)
        return;
    m_autoSize = value;
    if (value)
        fitToFrames(4, 4);
}

void TZQGesture::fitToFrames(int emptyWidth, int emptyHeight)
{
    if (m_frames)
        resize(m_frames->Width(), m_frames->Height());
    else
        resize(emptyWidth, emptyHeight);
    update();
}

void TZQGesture::SetAuthor(const QString &text)
{
    if (text == m_author)
        return;
    m_author = text;
    setModified();
}

void TZQGesture::resetForRead()
{
    m_timer->stop();
    setCurrentFrame(1);
    setTagline(QString());
    m_frames.reset();
}

void TZQGesture::LoadFromFile(const QString &fileName)
{
    // Loading never raises: callers learn of a failure through Valid.
    try {
        m_timer->stop();
        QFile file(fileName);
        // Only plain files are read: opening a named pipe would wait for a
        // writer, and a device may never end.
        if (fileName.isEmpty() || !QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly)) {
            if (fileName.isEmpty())
                resetForRead();
            return;
        }
        ReadGesture(file);
        m_modified = false;
    } catch (const std::exception &) {
        // Swallowed: the gesture stays as far as the read got.
    }
}

void TZQGesture::SaveToFile(const QString &fileName)
{
    plumora::writeFileAtomically(fileName, WriteGestureToBuffer());
    m_modified = false;
}

void TZQGesture::LoadAudioFromFile(const QString &fileName)
{
    m_soundPlayer->Wave()->LoadFromFile(fileName);
    m_hasAudio = true;
    m_audioFrame = 0;
    setModified();
    UpdateSizes();
}

void TZQGesture::SaveAudioToFile(const QString &fileName)
{
    m_soundPlayer->Wave()->SaveToFile(fileName);
}

QByteArray TZQGesture::AudioData() const
{
    return m_soundPlayer->Wave()->Data();
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
    update();
}

QImage TZQGesture::drawStrip() const
{
    const qint64 stripWidth = qint64(m_frames->Width()) * m_frames->Count();
    if (stripWidth * m_frames->Height() > kMaxStripPixels)
        return {};
    return m_frames->Strip();
}

bool TZQGesture::Playing() const
{
    return m_timer->isActive();
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

void TZQGesture::applyStep(const TPlaybackStep &step)
{
    if (step.frameChanged) {
        if (OnFrameChange)
            OnFrameChange(this);
        update();
    }
    if (step.playSound) {
        m_soundPlayer->setEnabled(true);
        m_soundPlayer->Play();
    }
}

void TZQGesture::Play()
{
    if (!m_frames || !isEnabled())
        return;
    const TPlaybackStep step = PlaybackStart(m_play, playbackOptions());
    m_timer->start();
    applyStep(step);
}

void TZQGesture::Tick()
{
    if (!m_frames || !isEnabled()) {
        m_timer->stop();
        m_play.running = false;
        return;
    }
    const TPlaybackStep step = PlaybackTick(m_play, playbackOptions());
    if (!m_play.running)
        m_timer->stop();
    applyStep(step);
    update();
}

void TZQGesture::paintEvent(QPaintEvent *)
{
    if (!m_frames)
        return;
    const int index = m_play.currentFrame;
    if (index < 0 || index >= m_frames->Count())
        return;
    QPainter painter(this);
    m_frames->Draw(painter, QPoint(0, 0), index);
}
