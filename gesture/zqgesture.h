#pragma once
// TZQGesture: the gesture document. It owns the tagline, author text, button
// picture, frame list, sound bytes and options; reads and writes gesture
// files (zqformat.cpp); keeps the modified state; computes the encoded sizes
// the main window shows; and holds the playback sequencer's state. It needs
// no widgets: views (the editor's TGestureView) show it, drive its playback
// with their timer and play its sound.
#include "framelist.h"
#include "platform/bitmap.h"
#include "platform/colors.h"
#include "playback.h"
#include "wave.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QIODevice;
struct GestureLayout;

// The parts of a gesture that come from files of their own.
enum class TGesturePart { Button, Animation, Audio };

// Where a part came from, as the Files page shows it: nothing yet, nothing
// in the gesture file opened, the gesture itself (opened, or made from
// another part), or a file.
struct TPartOrigin
{
    enum Kind { None, NoneInFile, Internal, File };
    Kind kind = None;
    QString path; // for File
    bool operator==(const TPartOrigin &) const = default;
};

// Everything an edit of the gesture can change, as one value: what the file
// holds, the sizes last computed and the frame shown. The undo history keeps
// one per step. Copies share their data: the frame list shares its frames'
// pixels with the gesture's own until either side changes them, texts and
// sound bytes are implicitly shared.
struct TGestureContent
{
    QString tagline;
    QString author;
    TBitmap glyph;
    std::shared_ptr<const TFrameList> frames; // null: no frame list
    TAnimOptions animOption = aoPlayOnce;
    std::uint8_t loopFrame = 0; // 0-based, as stored
    std::uint8_t audioFrame = 0; // 0-based, as stored
    TColor transparentColor = clNone;
    bool audioRepeat = false;
    bool hasAudio = false;
    QByteArray audio;
    std::uint8_t numberOfLoops = 3;
    // What the editor shows beside the file's content.
    bool authorLocked = false;
    TColor lastTransparentColor = 0x00808080;
    TPartOrigin origins[3];
    int animationSize = -1, audioSize = -1, gestureSize = -1;
    int currentIndex = 0;

    // Equal in what the file holds: the sizes, the frame shown and what the
    // editor shows beside them are left out. Frame lists compare by their
    // edit generation.
    bool sameGesture(const TGestureContent &other) const;
};

// Limits of the gesture file: one byte for the frame width, 16-bit block
// lengths, and a strip no wider than a GIF can be. Frames are numbered in
// one byte from 1, so a gesture holds at most 255; a strip with more whole
// frames reads as its first 255.
inline constexpr int kMaxFrameWidth = 255;
inline constexpr int kMaxBlockBytes = 65535;
inline constexpr int kMaxStripWidth = 65535;
inline constexpr int kMaxFrameCount = 255;
// The most pixels an animation strip may have, to be read or written. The
// strip is one GIF in a block of at most 65,535 bytes, and LZW data as our
// writer (or giflib) codes it, with a clear code whenever the table fills,
// describes at most about 1,490 pixels a byte (a strip of one colour): no
// gesture ever written holds more than about 97 million pixels. 1,536 pixels
// for each of 65,536 bytes (96 Mi pixels) keeps every one of them. More
// can only be claimed by LZW data made by hand, or by a GIF's size fields
// alone; such a strip is refused from its size before it is decoded.
// Reading costs a byte a pixel of the strip, decoded, and four a pixel of the
// frames kept (the strip's first 255 frames): at most about 0.5 GB.
inline constexpr qint64 kMaxStripPixels = qint64(kMaxBlockBytes + 1) * 1536;
// The most pixels a button picture may have when read. Button pictures are
// made 18 x 18; this only keeps a small file from declaring a huge one.
inline constexpr qint64 kMaxButtonPixels = 256 * 256;

// A gesture counts its frames in bytes from 1, so it holds at most 255; its
// strip of frames side by side is at most kMaxStripWidth pixels wide.
inline constexpr int kMaxGestureFrames = 255;

// How many frames of the given width a gesture holds.
int FramesAGestureHolds(int frameWidth);

// The animation block a gesture file holds for a strip of frames: the strip
// as a one-frame GIF with the author text (Windows-1252 bytes) and the
// program's comment lines. Pixels of the transparent colour (clNone: none)
// keep it exactly. plainSize, when given, receives the size of the GIF
// without the texts, which is the AnimationSize.
QByteArray EncodeAnimationBlock(
    const QImage &strip, TColor transparent, const QByteArray &author, qsizetype *plainSize = nullptr);

// A picture with an alpha channel: the pixels of the mask colour (clNone:
// none) fully transparent, their colour kept; every other pixel opaque.
QImage PictureThroughMask(const QImage &picture, TColor mask);

// The first frame of a gesture file drawn through its mask (the file's
// transparent colour), for previews such as a file manager's thumbnails.
// Reads only the header and the animation block, decodes the strip once and
// converts only the first frame's columns: the button picture and the sound
// are not read and nothing is encoded. Raises PlumoraError, with the reason
// a full read would give, when the file holds no whole frame.
QImage ReadGestureFirstFrame(QIODevice &file);

// Every change is announced: an operation emits, in this order, the signal of
// each property it changed (in the order the properties are declared below),
// modifiedChanged when Modified changed, sizesChanged when it computed the
// sizes, and edited() once, last. A read and RestoreContent announce every
// property. Views bind each control to its property once: the control's
// change calls the setter (which compares first, so setting the value shown
// does nothing), the property's signal sets the control.
class TZQGesture : public QObject
{
    Q_OBJECT

public:
    explicit TZQGesture(QObject *Owner = nullptr);
    ~TZQGesture() override;

    const QString &Tagline() const { return m_tagline; }
    void setTagline(const QString &value); // at most 255 characters are kept

    const TBitmap &Glyph() const { return m_glyph; }
    void setGlyph(const TBitmap &value);

    // The loop and sound start frames, counted from 1. A value is brought
    // within the frames (1 up to their count); without frames the sound's
    // stays as it is. Installing or deleting frames lowers both to the
    // count.
    std::uint8_t AnimLoopFrame() const { return std::uint8_t(m_loopFrame + 1); }
    void setAnimLoopFrame(int value);
    std::uint8_t AudioLoopFrame() const { return std::uint8_t(m_audioFrame + 1); }
    void setAudioLoopFrame(int value);
    std::uint8_t CurrentFrame() const { return m_play.frameNumber(); }
    void setCurrentFrame(std::uint8_t value);
    // The frame shown, 0-based and not cut to a byte (-1 in a present but
    // empty list), so that every frame of a list longer than 255 frames can
    // be reached. Setting it clamps to the list as CurrentFrame does and
    // fires OnFrameChange when the request differs from the frame shown.
    int CurrentIndex() const { return m_play.currentFrame; }
    void setCurrentIndex(int index);

    TAnimOptions AnimLoopOption() const { return m_animOption; }
    void setAnimLoopOption(TAnimOptions value);

    TColor TransparentColor() const { return m_transparentColor; }
    void setTransparentColor(TColor value);
    // The last transparent colour that was not none: what turning
    // transparency on again offers. Not kept in the file.
    TColor LastTransparentColor() const { return m_lastTransparentColor; }
    // Turns transparency on (with the last colour) or off.
    void setTransparent(bool on);
    // A new transparent colour to offer; it becomes the transparent colour
    // when transparency is on.
    void chooseTransparentColor(TColor value);

    const QString &Filename() const { return m_filename; }
    void setFilename(const QString &value);
    // Makes another file the gesture's file without reading it (after the
    // gesture was written there under a new name).
    void RenameTo(const QString &fileName) { m_filename = fileName; }

    std::uint8_t NumberOfLoops() const { return m_numberOfLoops; }
    void setNumberOfLoops(std::uint8_t value);

    bool AudioRepeat() const { return m_audioRepeat; }
    void setAudioRepeat(bool value); // does not set Modified

    bool HasAudio() const { return m_hasAudio; }

    // Modified decides whether the gesture may be saved; UnsavedChanges
    // whether closing its window asks first. They follow different rules:
    // Modified is set by real changes of the texts, the animation and audio
    // options and the transparent colour, by loading a sound, and by drawing
    // the strip while there is a transparent colour; UnsavedChanges is set
    // by the editor for every edit the user makes, frame edits included.
    // SaveToFile and setting Filename clear both.
    bool Modified() const { return m_modified; }
    bool UnsavedChanges() const { return m_unsavedChanges; }
    void setUnsavedChanges(bool value);
    // The undo history's way back: the gesture as it was, and whether it
    // counts as modified there (it does not at the state last saved).
    TGestureContent Content() const;
    void RestoreContent(const TGestureContent &content, bool modified);
    // Back at the state last saved without a restore (typing undone in its
    // field): Modified as it was there.
    void RestoreModified(bool modified) { setModified(modified); }
    bool Valid() const { return m_frames && m_frames->Count() > 0; }

    // The frame list; may be absent. It is changed only through the
    // operations below, each of which emits framesChanged() and edited().
    const TFrameList *Frames() const { return m_frames.get(); }
    // Installs another frame list (or none). The current frame and the
    // options stay as they are.
    void setFrames(std::unique_ptr<TFrameList> frames);
    // Frame edits, as TFrameList's Insert, Delete and Move do them.
    // Inserting needs a frame list with room for one more frame
    // (CheckRoomForFrame); without one, Delete and Move do nothing. Deleting
    // the frame shown, when it was the last one, shows the new last frame.
    void InsertFrame(int index, const QImage &picture, TColor maskColor);
    // Throws PlumoraError ("A gesture holds at most N frames of this size")
    // when the frame list holds as many frames as a gesture can.
    void CheckRoomForFrame() const;
    void DeleteFrame(int index);
    void MoveFrame(int from, int to);
    // Inserts the pictures before index, as InsertFrame does each, as one
    // change; refused as a whole when the gesture cannot hold them all.
    void InsertFrames(int index, const QVector<QImage> &pictures, TColor maskColor);
    // The frame list becomes its frames at the given indices, in that order
    // (an index may repeat: the copy shares the pixels), as one change; the
    // frame shown and the loop and sound start frames are kept within the
    // list. Refused when the gesture cannot hold that many frames.
    void RearrangeFrames(const QVector<int> &order);
    // Throws as CheckRoomForFrame does when the list cannot grow to count.
    void CheckRoomForFrames(int count) const;

    const QString &Author() const { return m_author; }
    void SetAuthor(const QString &text);
    // The author text came with the file opened or the animation imported,
    // and is not the user's to change.
    bool AuthorLocked() const { return m_authorLocked; }
    void setAuthorLocked(bool value);

    // Where each part came from.
    TPartOrigin Origin(TGesturePart part) const { return m_origins[int(part)]; }
    void setOrigin(TGesturePart part, const TPartOrigin &origin);

    // Reading refuses a strip of more pixels than this, before decoding it
    // (kMaxStripPixels at most). The open dialog's preview reads with less.
    qint64 MaxStripPixels = kMaxStripPixels;

    // Reads a gesture file; every failure is swallowed (see Valid and
    // LastReadError). Only a plain file is read: opening a named pipe would
    // wait for a writer, and a device may never end.
    void LoadFromFile(const QString &fileName);
    // What the last read left out of the file, one sentence each: a button
    // picture that cannot be read (the gesture then has none, as with an
    // empty button block), frames beyond the 255 a gesture holds. Empty when
    // the file was read whole.
    const QStringList &ReadNotes() const { return m_readNotes; }
    // Why the last read (LoadFromFile or ReadGesture) failed or gave no
    // whole frame, in words that follow the file's name: "does not exist",
    // "cannot be opened: Permission denied", "the animation: <the decoder's
    // message>", "Stream read error: the file ends inside the sound (...)".
    // Empty after a read that made the gesture Valid, and after LoadFromFile
    // of an empty name, which reads nothing.
    const QString &LastReadError() const { return m_lastReadError; }
    // The sentence that tells the user that fileName did not open, from
    // LastReadError: "<file> does not exist." for a file that cannot be
    // opened, "<file> is not a gesture file that Plumora can read: <reason>."
    // for one that was read. Empty when LastReadError is.
    QString LastReadErrorMessage(const QString &fileName) const;
    // Writes the gesture file. The file is replaced only once the whole
    // gesture has been written, so a failure leaves an earlier file intact.
    void SaveToFile(const QString &fileName);
    // Reads a gesture from the stream; raises the error that stopped the
    // read, after keeping its reason (LastReadError).
    void ReadGesture(QIODevice &stream);
    void WriteGesture(QIODevice &stream);
    // The whole gesture file in memory (what SaveToFile writes).
    QByteArray WriteGestureToBuffer();

    // Takes the file's bytes as the sound, from the first frame. A file too
    // large for the sound block is refused from its size, unread, with its
    // length and the length that fits (soundfit.h); a file that cannot be
    // read throws EStreamError. Either way the gesture stays as it was.
    void LoadAudioFromFile(const QString &fileName);
    // Takes wav as the gesture's sound, or drops the sound; both set
    // Modified and recompute the sizes. The audio start frame stays.
    // Dropping it also forgets the file the sound came from.
    void SetAudio(const QByteArray &wav);
    void ClearAudio();
    void SaveAudioToFile(const QString &fileName);
    // The sound bytes (empty without a sound holder content).
    const QByteArray &AudioData() const { return m_wave.Data(); }

    // Encoded sizes in bytes, -1 until first computed.
    void UpdateSizes();
    int AnimationSize() const { return m_animationSize; }
    // The animation block as the file will hold it (texts included), in
    // bytes: measured when the frames, the transparent colour or the author
    // text changed, without changing the gesture. 0 without frames; INT_MAX
    // for a strip no file can hold.
    int AnimationBlockSize();
    // Computes the sizes as UpdateSizes does, but leaves the gesture as it
    // is: UpdateSizes, like writing, marks a gesture that has a transparent
    // colour modified. Views call it after edits.
    void MeasureSizes();
    int AudioSize() const { return m_audioSize; }
    int GestureSize() const { return m_gestureSize; }
    bool NoSizeUpdate = false;

    // The frame strip as written into the gesture file: all frames side by
    // side, transparent pixels in the transparent colour. Null when the
    // strip would be larger than kMaxStripPixels.
    QImage RenderStrip();

    // Playback, driven by a view's timer; the view has checked that it may
    // play. StartPlayback is what Play does: frame 1, forward, first pass.
    // StepPlayback is one timer step; without a frame list it stops. Both
    // fire OnFrameChange when another frame is shown and say whether the
    // sound starts; the view plays it.
    TPlaybackStep StartPlayback();
    TPlaybackStep StepPlayback();
    void StopPlayback();
    bool Playing() const { return m_play.running; }
    std::int8_t Direction() const { return m_play.direction; }
    std::uint8_t PassCount() const { return m_play.passCount; }

signals:
    // One per property, in the order operations emit them.
    void filenameChanged(const QString &filename);
    void taglineChanged(const QString &tagline);
    void authorChanged(const QString &author);
    void authorLockedChanged(bool locked);
    void glyphChanged();
    void animLoopOptionChanged(TAnimOptions option);
    void animLoopFrameChanged(int frame); // 1-based
    void audioLoopFrameChanged(int frame); // 1-based
    void audioRepeatChanged(bool repeat);
    void transparentColorChanged(TColor colour);
    void lastTransparentColorChanged(TColor colour);
    void audioChanged(); // HasAudio or the sound bytes
    void originChanged(TGesturePart part);
    // The sizes were computed (UpdateSizes, MeasureSizes).
    void sizesChanged();

    // Fires once at the end of every successful read, after the sizes were
    // computed and before readFinished(). Nothing else fires it.
    void OnChange();
    // Fires whenever CurrentFrame (or CurrentIndex) is asked for a frame
    // other than the one shown, also on every playback step that moves.
    void OnFrameChange();
    // The gesture's content changed through one of its operations: a
    // property, the frame list or its masks, the button picture or the
    // sound. Views repaint.
    void edited();
    // The frame list was installed, replaced or edited: its count, order or
    // frames may differ. Emitted before edited().
    void framesChanged();
    // Modified or UnsavedChanges took another value.
    void modifiedChanged(bool modified);
    void unsavedChangesChanged(bool unsaved);
    // A read has installed its frames; the sizes are computed after it, then
    // OnChange fires. Views that size themselves to the frames do it here.
    void framesRead();
    // The end of a successful read, after OnChange: views that play by
    // themselves start here.
    void readFinished();
    // Playback started or stopped: a view runs its timer while it plays.
    void playingChanged(bool playing);

private:
    TPlaybackOptions playbackOptions() const;
    // Announces every property (after a read or a restore), in order.
    void announceAll();
    void clampFrameNumbers();
    // Announces an edit of the frame list that may have made it shorter,
    // after keeping the frame shown and the frame numbers within it.
    void framesShortened();
    void resetForRead();
    // ReadGesture's work; layout receives where the parts lie, and picture
    // names the picture being decoded while one is.
    void readParts(QIODevice &stream, GestureLayout &layout, const char *&picture);
    void finishRead();
    // The gesture file's bytes; with enforceLimits, a gesture that would not
    // read back is refused with a message naming the limit.
    // prepare: as writing does (see prepareStrip), or leaving the gesture as
    // it is.
    QByteArray assembleGesture(bool enforceLimits, bool prepare = true);
    void computeSizes(bool prepare);
    // What writing does to the gesture before the strip is drawn: with a
    // transparent colour it is set to none and back, which marks the gesture
    // modified and gives every frame that colour as its mask.
    void prepareStrip();
    QImage drawStrip() const;

    // The animation strip encoded as GIF: its size without texts (the
    // AnimationSize) and the animation block with the author text and the
    // comment lines. Encoded again only when the frames, the author text or
    // the transparent colour changed since the last time.
    struct EncodedStrip
    {
        std::uint64_t generation = 0;
        TColor transparent = clNone;
        QByteArray author;
        qsizetype plainSize = -1;
        QByteArray block;
    };
    const EncodedStrip &encodedStrip(); // prepares the strip first, as writing does
    const EncodedStrip &measuredStrip();
    void setModified(bool value = true);

    QString m_tagline;
    TBitmap m_glyph;
    TAnimOptions m_animOption = aoPlayOnce;
    std::uint8_t m_loopFrame = 0;
    TPlaybackState m_play;
    std::unique_ptr<TFrameList> m_frames;
    TColor m_transparentColor = clNone;
    bool m_audioRepeat = false;
    std::uint8_t m_audioFrame = 0;
    TWave m_wave;
    QString m_filename;
    std::uint8_t m_numberOfLoops = 3;
    bool m_hasAudio = false;
    bool m_modified = false;
    bool m_unsavedChanges = false;
    int m_animationSize = -1;
    int m_audioSize = -1;
    int m_gestureSize = -1;
    QString m_author;
    bool m_authorLocked = false;
    TColor m_lastTransparentColor = 0x00808080;
    TPartOrigin m_origins[3];
    EncodedStrip m_encoded;
    QStringList m_readNotes;
    QString m_lastReadError;
    bool m_fileNotOpened = false; // LastReadError says why the file was not opened
};
