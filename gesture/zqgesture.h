#pragma once
// TZQGesture: the in-memory gesture and, at the same time, the control that
// shows and plays it. It owns the tagline, author text, button picture, frame
// list, sound and options; reads and writes gesture files (zqformat.cpp);
// keeps the modified state; computes the encoded sizes the main window shows.
#include "framelist.h"
#include "playback.h"
#include "platform/bitmap.h"
#include "platform/colors.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QIODevice;
class QTimer;
class TWavePlayer;

// Limits of the gesture file: one byte for the frame width, 16-bit block
// lengths, and a strip no wider than a GIF can be.
inline constexpr int kMaxFrameWidth = 255;
inline constexpr int kMaxBlockBytes = 65535;
inline constexpr int kMaxStripWidth = 65535;
// The most pixels an animation strip may have, to be read or written: the
// widest strip at 512 pixels high, twice the tallest frame an import makes
// (254 pixels, for a picture just wider than high). A file of a few
// kilobytes can declare a far larger strip; this keeps the memory its frames
// and their strip take within a few hundred megabytes.
inline constexpr qint64 kMaxStripPixels = qint64(kMaxStripWidth) * 512;
// The most pixels a button picture may have when read. Button pictures are
// made 18 x 18; this only keeps a small file from declaring a huge one.
inline constexpr qint64 kMaxButtonPixels = 256 * 256;

class TZQGesture : public QWidget
{
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TZQGesture *Sender)>;

    explicit TZQGesture(QWidget *Owner = nullptr);
    ~TZQGesture() override;

    // Events. OnChange fires at the end of every successful read; OnFrameChange
    // whenever CurrentFrame is asked for a different frame.
    TNotifyEvent OnChange;
    TNotifyEvent OnFrameChange;

    bool AutoPlay() const { return m_autoPlay; }
    void setAutoPlay(bool value) { m_autoPlay = value; }

    const QString &Tagline() const { return m_tagline; }
    void setTagline(const QString &value); // at most 255 characters are kept

    const TBitmap &Glyph() const { return m_glyph; }
    void setGlyph(const TBitmap &value);

    std::uint8_t AnimLoopFrame() const { return std::uint8_t(m_loopFrame + 1); }
    void setAnimLoopFrame(std::uint8_t value);
    std::uint8_t AudioLoopFrame() const { return std::uint8_t(m_audioFrame + 1); }
    void setAudioLoopFrame(std::uint8_t value);
    std::uint8_t CurrentFrame() const { return m_play.frameNumber(); }
    void setCurrentFrame(std::uint8_t value);

    TAnimOptions AnimLoopOption() const { return m_animOption; }
    void setAnimLoopOption(TAnimOptions value);

    TColor TransparentColor() const { return m_transparentColor; }
    void setTransparentColor(TColor value);

    const QString &Filename() const { return m_filename; }
    void setFilename(const QString &value);
    // Makes another file the gesture's file without reading it (after the
    // gesture was written there under a new name).
    void RenameTo(const QString &fileName) { m_filename = fileName; }

    std::uint8_t NumberOfLoops() const { return m_numberOfLoops; }
    void setNumberOfLoops(std::uint8_t value);

    bool AudioRepeat() const { return m_audioRepeat; }
    void setAudioRepeat(bool value) { m_audioRepeat = value; }

    bool HasAudio() const { return m_hasAudio; }

    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool value);

    bool Modified() const { return m_modified; }
    bool Valid() const { return m_frames && m_frames->Count() > 0; }

    // The frame list; may be absent. The gesture window edits it in place or
    // installs a new one; the component is not told.
    TFrameList *Frames() const { return m_frames.get(); }
    void setFrames(std::unique_ptr<TFrameList> frames) { m_frames = std::move(frames); }

    const QString &Author() const { return m_author; }
    void SetAuthor(const QString &text);

    // Reading refuses a strip of more pixels than this, before decoding it
    // (kMaxStripPixels at most). The open dialog's preview reads with less.
    qint64 MaxStripPixels = kMaxStripPixels;

    // Reads a gesture file; every failure is swallowed (see Valid).
    void LoadFromFile(const QString &fileName);
    // Writes the gesture file. The file is replaced only once the whole
    // gesture has been written, so a failure leaves an earlier file intact.
    void SaveToFile(const QString &fileName);
    void ReadGesture(QIODevice &stream);
    void WriteGesture(QIODevice &stream);
    // The whole gesture file in memory (what SaveToFile writes).
    QByteArray WriteGestureToBuffer();

    void LoadAudioFromFile(const QString &fileName);
    void SaveAudioToFile(const QString &fileName);
    // The sound bytes (empty without a sound holder content).
    QByteArray AudioData() const;

    // Encoded sizes in bytes, -1 until first computed.
    void UpdateSizes();
    int AnimationSize() const { return m_animationSize; }
    int AudioSize() const { return m_audioSize; }
    int GestureSize() const { return m_gestureSize; }
    bool NoSizeUpdate = false;

    // The frame strip as written into the gesture file: all frames side by
    // side, transparent pixels in the transparent colour. Null when the
    // strip would be larger than kMaxStripPixels.
    QImage RenderStrip();

    // Playback.
    void Play();
    void Tick();
    bool Playing() const;
    std::int8_t Direction() const { return m_play.direction; }
    std::uint8_t PassCount() const { return m_play.passCount; }
    QTimer *PlaybackTimer() const { return m_timer; }
    TWavePlayer *SoundPlayer() const { return m_soundPlayer; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    friend class TZQGestureFormat;
    TPlaybackOptions playbackOptions() const;
    void applyStep(const TPlaybackStep &step);
    void resetForRead();
    void finishRead();
    void fitToFrames(int emptyWidth, int emptyHeight);
    // The gesture file's bytes; with enforceLimits, a gesture that would not
    // read back is refused with a message naming the limit.
    QByteArray assembleGesture(bool enforceLimits);
    // What writing does to the gesture before the strip is drawn: with a
    // transparent colour it is set to none and back, which marks the gesture
    // modified and gives every frame that colour as its mask.
    void prepareStrip();
    QImage drawStrip() const;

    // The animation strip encoded as GIF: its size without texts (the
    // AnimationSize) and the animation block with the author text and the
    // comment lines. Encoded again only when the frames, the author text or
    // the colour reduction changed since the last time.
    struct EncodedStrip
    {
        std::uint64_t generation = 0;
        int reduction = -1;
        QByteArray author;
        qsizetype plainSize = -1;
        QByteArray block;
    };
    const EncodedStrip &encodedStrip();
    void setModified() { m_modified = true; }

    QString m_tagline;
    TBitmap m_glyph;
    TAnimOptions m_animOption = aoPlayOnce;
    std::uint8_t m_loopFrame = 0;
    TPlaybackState m_play;
    std::unique_ptr<TFrameList> m_frames;
    TColor m_transparentColor = clNone;
    bool m_autoSize = true;
    bool m_audioRepeat = false;
    std::uint8_t m_audioFrame = 0;
    QTimer *m_timer = nullptr;
    TWavePlayer *m_soundPlayer = nullptr;
    bool m_autoPlay = false;
    QString m_filename;
    std::uint8_t m_numberOfLoops = 3;
    bool m_hasAudio = false;
    bool m_modified = false;
    int m_animationSize = -1;
    int m_audioSize = -1;
    int m_gestureSize = -1;
    QString m_author;
    EncodedStrip m_encoded;
};
