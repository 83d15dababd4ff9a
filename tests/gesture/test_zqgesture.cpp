// The gesture component: properties, range handling, the modified flag, masks
// and the encoded sizes.
#include "codecs/gifimage.h"
#include "gesture/zqgesture.h"
#include "gesturetestutil.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <functional>

#include <gtest/gtest.h>

using namespace gesturetest;

TEST(Gesture, NewComponentDefaults)
{
    TZQGesture g;
    EXPECT_FALSE(g.Valid());
    EXPECT_EQ(g.Frames(), nullptr);
    EXPECT_EQ(g.CurrentFrame(), 1);
    EXPECT_EQ(g.AnimLoopFrame(), 1);
    EXPECT_EQ(g.AudioLoopFrame(), 1);
    EXPECT_EQ(g.TransparentColor(), clNone);
    EXPECT_EQ(g.NumberOfLoops(), 3);
    EXPECT_FALSE(g.Modified());
    EXPECT_FALSE(g.HasAudio());
    EXPECT_EQ(g.AnimationSize(), -1);
    EXPECT_EQ(g.AudioSize(), -1);
    EXPECT_EQ(g.GestureSize(), -1);
    EXPECT_EQ(g.Glyph().width(), 20);
    EXPECT_EQ(g.Glyph().height(), 20);
    EXPECT_EQ(g.LastTransparentColor(), 0x00808080u);

    // A file without a transparent colour leaves the colour offered as it
    // was (its header's colour bytes are zero); one with a colour offers it.
    TZQGesture source;
    source.setFrames(frames(4, 3, 2));
    TZQGesture opened;
    readInto(opened, bytesOf(source));
    EXPECT_EQ(opened.LastTransparentColor(), 0x00808080u);
    source.setTransparentColor(RGBColor(1, 2, 3));
    readInto(opened, bytesOf(source));
    EXPECT_EQ(opened.LastTransparentColor(), RGBColor(1, 2, 3));
}

TEST(Gesture, CurrentFrameClampsAndNotifies)
{
    TZQGesture g;
    g.setFrames(frames(4, 3, 10));
    int notified = 0;
    QObject::connect(&g, &TZQGesture::OnFrameChange, [&] { ++notified; });
    g.setCurrentFrame(0);
    EXPECT_EQ(g.CurrentFrame(), 1);
    EXPECT_EQ(notified, 1); // 0 differs from 1, so it notifies even though frame 1 stays
    g.setCurrentFrame(1);
    EXPECT_EQ(notified, 1);
    g.setCurrentFrame(200);
    EXPECT_EQ(g.CurrentFrame(), 10);
    g.setCurrentFrame(200);
    EXPECT_EQ(notified, 3); // asking again past the end still notifies
    g.setCurrentFrame(4);
    EXPECT_EQ(g.CurrentFrame(), 4);
    EXPECT_FALSE(g.Modified());

    // A present but empty list stores -1, which reads back as 0.
    g.setFrames(std::make_unique<TFrameList>(4, 3));
    g.setCurrentFrame(5);
    EXPECT_EQ(g.CurrentFrame(), 0);
}

TEST(Gesture, LoopAndAudioFramesClampAndSetModified)
{
    TZQGesture g;
    g.setAudioLoopFrame(3); // no frame list: ignored
    EXPECT_EQ(g.AudioLoopFrame(), 1);
    EXPECT_FALSE(g.Modified());
    g.setAnimLoopFrame(3); // no frame list: stored without an upper clamp
    EXPECT_EQ(g.AnimLoopFrame(), 3);
    EXPECT_TRUE(g.Modified());

    TZQGesture h;
    h.setFrames(frames(4, 3, 5));
    h.setAnimLoopFrame(9);
    EXPECT_EQ(h.AnimLoopFrame(), 5);
    h.setAnimLoopFrame(0);
    EXPECT_EQ(h.AnimLoopFrame(), 1);
    h.setAudioLoopFrame(9);
    EXPECT_EQ(h.AudioLoopFrame(), 5);
    h.setAudioLoopFrame(0);
    EXPECT_EQ(h.AudioLoopFrame(), 1);
    h.setAudioLoopFrame(5);
    EXPECT_EQ(h.AudioLoopFrame(), 5);
    h.setAnimLoopFrame(4);

    // Fewer frames lower both, so the file never names a frame it lacks.
    h.DeleteFrame(0);
    h.DeleteFrame(0);
    EXPECT_EQ(h.AnimLoopFrame(), 3);
    EXPECT_EQ(h.AudioLoopFrame(), 3);
    h.setFrames(frames(4, 3, 2));
    EXPECT_EQ(h.AnimLoopFrame(), 2);
    EXPECT_EQ(h.AudioLoopFrame(), 2);
}

// Every change is announced once, in the documented order: the properties'
// own signals, modifiedChanged when Modified changed, sizesChanged when the
// sizes were computed, edited() last; a change to the value there is, none.
TEST(Gesture, EachChangeIsAnnouncedInOrder)
{
    const TColor red = RGBColor(255, 0, 0);
    struct Case
    {
        const char *name;
        std::function<void(TZQGesture &)> change;
        QStringList signalsExpected;
    };
    const Case cases[] = {
        { "tagline", [](TZQGesture &g) { g.setTagline("x"); }, { "tagline", "modified", "edited" } },
        { "same tagline", [](TZQGesture &g) { g.setTagline(""); }, {} },
        { "author", [](TZQGesture &g) { g.SetAuthor("a"); }, { "author", "modified", "edited" } },
        { "author locked", [](TZQGesture &g) { g.setAuthorLocked(true); }, { "authorLocked", "edited" } },
        { "option", [](TZQGesture &g) { g.setAnimLoopOption(aoLoop); }, { "option", "modified", "edited" } },
        { "loop frame", [](TZQGesture &g) { g.setAnimLoopFrame(2); }, { "loopFrame", "modified", "edited" } },
        { "loop frame beyond",
            [](TZQGesture &g) {
                g.setAnimLoopFrame(1);
                g.setAnimLoopFrame(0);
            },
            { "loopFrame" } }, // only the view is corrected
        { "sound start", [](TZQGesture &g) { g.setAudioLoopFrame(3); },
            { "audioFrame", "modified", "edited" } },
        { "repeat", [](TZQGesture &g) { g.setAudioRepeat(true); }, { "repeat", "edited" } },
        { "transparent", [red](TZQGesture &g) { g.setTransparentColor(red); },
            { "transparent", "lastTransparent", "modified", "edited" } },
        { "transparency on", [](TZQGesture &g) { g.setTransparent(true); },
            { "transparent", "modified", "edited" } },
        { "colour offered", [red](TZQGesture &g) { g.chooseTransparentColor(red); },
            { "lastTransparent", "edited" } },
        { "origin",
            [](TZQGesture &g) {
                g.setOrigin(TGesturePart::Audio, { TPartOrigin::File, "a.wav" });
            },
            { "origin", "edited" } },
        { "glyph", [](TZQGesture &g) { g.setGlyph(g.Glyph()); }, { "glyph", "sizes", "edited" } },
        { "delete",
            [](TZQGesture &g) {
                g.setAnimLoopFrame(3);
                g.DeleteFrame(2);
            },
            { "loopFrame", "modified", "edited", "frames", "loopFrame", "edited" } },
    };
    for (const Case &c : cases) {
        TZQGesture g;
        g.setFrames(frames(4, 3, 3));
        QStringList seen;
        const auto note
            = [&](const char *name) { return [&seen, name] { seen << QString::fromLatin1(name); }; };
        QObject::connect(&g, &TZQGesture::taglineChanged, note("tagline"));
        QObject::connect(&g, &TZQGesture::authorChanged, note("author"));
        QObject::connect(&g, &TZQGesture::authorLockedChanged, note("authorLocked"));
        QObject::connect(&g, &TZQGesture::glyphChanged, note("glyph"));
        QObject::connect(&g, &TZQGesture::animLoopOptionChanged, note("option"));
        QObject::connect(&g, &TZQGesture::animLoopFrameChanged, note("loopFrame"));
        QObject::connect(&g, &TZQGesture::audioLoopFrameChanged, note("audioFrame"));
        QObject::connect(&g, &TZQGesture::audioRepeatChanged, note("repeat"));
        QObject::connect(&g, &TZQGesture::transparentColorChanged, note("transparent"));
        QObject::connect(&g, &TZQGesture::lastTransparentColorChanged, note("lastTransparent"));
        QObject::connect(&g, &TZQGesture::originChanged, note("origin"));
        QObject::connect(&g, &TZQGesture::framesChanged, note("frames"));
        QObject::connect(&g, &TZQGesture::modifiedChanged, note("modified"));
        QObject::connect(&g, &TZQGesture::sizesChanged, note("sizes"));
        QObject::connect(&g, &TZQGesture::edited, note("edited"));
        c.change(g);
        EXPECT_EQ(seen, c.signalsExpected) << c.name;
    }
}

TEST(Gesture, ModifiedFollowsRealChangesOnly)
{
    TZQGesture g;
    g.setTagline("");
    g.setAnimLoopOption(aoPlayOnce);
    g.setNumberOfLoops(3);
    g.SetAuthor("");
    g.setTransparentColor(clNone);
    g.setAudioRepeat(true);
    EXPECT_FALSE(g.Modified());
    for (auto change : std::vector<std::function<void(TZQGesture &)>> {
             [](TZQGesture &x) { x.setTagline("hello"); },
             [](TZQGesture &x) { x.setAnimLoopOption(aoReverse); },
             [](TZQGesture &x) { x.setNumberOfLoops(7); },
             [](TZQGesture &x) { x.SetAuthor("me"); },
             [](TZQGesture &x) { x.setTransparentColor(clWhite); },
         }) {
        TZQGesture fresh;
        change(fresh);
        EXPECT_TRUE(fresh.Modified());
    }
    // Taglines keep at most 255 characters.
    g.setTagline(QString(300, 'x'));
    EXPECT_EQ(g.Tagline().size(), 255);
}

TEST(Gesture, FrameEditsKeepTheCurrentFrameInTheList)
{
    TZQGesture g;
    g.setFrames(frames(4, 3, 3));
    int framesChanged = 0;
    QObject::connect(&g, &TZQGesture::framesChanged, [&] { ++framesChanged; });
    g.setCurrentFrame(3);
    g.DeleteFrame(2); // the last frame goes while shown: the new last one is shown
    EXPECT_EQ(g.CurrentFrame(), 2);
    g.InsertFrame(0, frameImage(4, 3, 9), clNone);
    EXPECT_EQ(g.CurrentFrame(), 2); // the position stays, naming another frame
    g.MoveFrame(0, 2);
    EXPECT_EQ(g.Frames()->Picture(2), frameImage(4, 3, 9));
    EXPECT_EQ(framesChanged, 3);
    EXPECT_FALSE(g.Modified());
    EXPECT_FALSE(g.UnsavedChanges());
}

// Both flags tell their listeners once per change; writing the gesture and
// setting its file name clear both.
TEST(Gesture, SavingAndReadingClearBothFlags)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("flags.zqa");
    TZQGesture g;
    g.setFrames(frames(4, 3, 2));
    std::vector<bool> modified, unsaved;
    QObject::connect(&g, &TZQGesture::modifiedChanged, [&](bool on) { modified.push_back(on); });
    QObject::connect(&g, &TZQGesture::unsavedChangesChanged, [&](bool on) { unsaved.push_back(on); });
    g.setTagline("one");
    g.setTagline("two");
    g.setUnsavedChanges(true);
    g.setUnsavedChanges(true);
    g.SaveToFile(path);
    EXPECT_EQ(modified, (std::vector<bool> { true, false }));
    EXPECT_EQ(unsaved, (std::vector<bool> { true, false }));

    g.setTagline("three");
    g.setUnsavedChanges(true);
    g.setFilename(path);
    EXPECT_FALSE(g.Modified());
    EXPECT_FALSE(g.UnsavedChanges());
    EXPECT_EQ(g.Tagline(), "two");
    QFile::remove(path);
}

TEST(Gesture, SoundCanBeSetAndDropped)
{
    TZQGesture g;
    g.setFrames(frames(4, 3, 2));
    g.UpdateSizes();
    const int silent = g.GestureSize();
    g.SetAudio(wav(100));
    EXPECT_TRUE(g.HasAudio());
    EXPECT_TRUE(g.Modified());
    EXPECT_EQ(g.AudioSize(), wav(100).size());
    g.ClearAudio();
    EXPECT_FALSE(g.HasAudio());
    EXPECT_EQ(g.AudioSize(), 0);
    EXPECT_EQ(g.GestureSize(), silent);
}

// A sound file larger than the sound block is refused from its size, with
// its length and the length that fits when its header tells (22,050 Hz
// 16-bit mono: 44,100 bytes a second, 65,491 of them after a 44-byte header).
TEST(Gesture, SoundLargerThanItsBlockIsRefusedWhenLoaded)
{
    const auto le32 = [](quint32 v) {
        QByteArray b(4, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    const QByteArray speech = wav(49484, 22050); // 99,012 bytes, 2.244 s
    QByteArray noRate = speech;
    noRate.replace(28, 4, le32(0));
    // Streamed: the data length unknown, after an odd-sized, padded chunk.
    const QByteArray streamed
        = speech.left(36) + "LIST" + le32(5) + "abcde" + '\0' + "data" + le32(0xFFFFFFFF) + speech.mid(44);
    const QByteArray tagged = wav(1000, 22050) + "LIST" + le32(70000) + QByteArray(70000, 't');
    const QString limit = QStringLiteral(", but a gesture holds at most 65,535 bytes of sound");
    const QString fits = limit + QStringLiteral(": 1.4 s of this sound fits");
    struct Case
    {
        const char *name;
        QByteArray bytes;
        QString refusal; // empty: taken
    };
    const Case cases[] = {
        { "full.wav", wav(32745, 22050), {} },
        // Anything but a WAV file would be kept as a sound that never plays.
        { "full.raw", QByteArray(65535, 'x'),
            "The sound \"full.raw\" is no WAV file; a gesture keeps its sound as WAV" },
        { "over.wav", wav(32746, 22050), "The sound \"over.wav\" lasts 1.5 s (65,536 bytes)" + fits },
        { "speech.wav", speech, "The sound \"speech.wav\" lasts 2.3 s (99,012 bytes)" + fits },
        { "streamed.wav", streamed, "The sound \"streamed.wav\" lasts 2.3 s (99,026 bytes)" + fits },
        { "raw.wav", QByteArray(99012, 'x'), "The sound \"raw.wav\" takes 99,012 bytes" + limit },
        { "norate.wav", noRate, "The sound \"norate.wav\" takes 99,012 bytes" + limit },
        // The samples would fit; a trailing chunk makes the file too large.
        { "tagged.wav", tagged, "The sound \"tagged.wav\" lasts 0.1 s (72,052 bytes)" + limit },
    };
    QTemporaryDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(c.name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();
        TZQGesture g;
        try {
            g.LoadAudioFromFile(path);
            EXPECT_TRUE(c.refusal.isEmpty());
            EXPECT_EQ(g.AudioData(), c.bytes);
        } catch (const PlumoraError &e) {
            EXPECT_EQ(e.message(), c.refusal);
            EXPECT_FALSE(g.HasAudio());
            EXPECT_FALSE(g.Modified());
        }
    }
}

TEST(Gesture, MasksSurviveTransparentColourChanges)
{
    const TColor marked = RGBColor(1, 2, 3);
    TZQGesture g;
    g.setFrames(frames(6, 4, 3, marked));
    std::vector<QImage> before;
    for (int i = 0; i < 3; ++i)
        before.push_back(g.Frames()->CopyFrame(i, clNone));

    g.setTransparentColor(marked);
    EXPECT_TRUE(g.Frames()->IsTransparent(0, 0, 0));
    EXPECT_FALSE(g.Frames()->IsTransparent(0, 1, 0));
    EXPECT_EQ(g.Frames()->CopyFrame(1, clWhite).pixel(0, 0), qRgb(255, 255, 255));
    g.setTransparentColor(RGBColor(9, 9, 9));
    EXPECT_FALSE(g.Frames()->IsTransparent(0, 0, 0));
    g.setTransparentColor(marked);
    g.setTransparentColor(clNone);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(g.Frames()->CopyFrame(i, clNone), before[std::size_t(i)]) << i;

    // A frame added with another mask colour is brought to the gesture's
    // colour when the strip is drawn: its transparent pixels show in it.
    const TColor other = RGBColor(7, 7, 7);
    g.setTransparentColor(marked);
    g.InsertFrame(3, frameImage(6, 4, 3, other), other);
    EXPECT_EQ(fromQRgb(g.RenderStrip().pixel(3 * 6, 0)), marked);
    EXPECT_EQ(g.Frames()->MaskColor(3), marked);
}

TEST(Gesture, SizesAndGlyphModifiedRule)
{
    QTemporaryDir dir;
    TZQGesture g;
    g.setFrames(frames(8, 8, 4));
    // The animation size is that of the strip as a plain GIF, without the
    // texts the file adds; both follow every edit of the frames and texts.
    const auto plainSize = [](const QImage &strip) {
        TGIFImage gif;
        gif.CopyFrom(TBitmap(strip));
        gif.Transparent = false;
        gif.EncodeFrames();
        return int(gif.WriteToBuffer().size());
    };
    for (const auto &edit : std::vector<std::function<void(TZQGesture &)>> {
             [](TZQGesture &) {},
             [](TZQGesture &x) { x.DeleteFrame(3); },
             [](TZQGesture &x) { x.SetAuthor("someone"); },
             [](TZQGesture &x) { x.MoveFrame(0, 2); },
         }) {
        edit(g);
        g.UpdateSizes();
        EXPECT_EQ(g.AnimationSize(), plainSize(g.RenderStrip()));
        EXPECT_EQ(g.AudioSize(), 0);
        EXPECT_EQ(g.GestureSize(), bytesOf(g).size());
    }
    g.SaveToFile(dir.filePath("sizes.zqa"));
    EXPECT_FALSE(g.Modified());

    // Without a transparent colour, a new glyph keeps Modified as it was.
    QImage glyph(18, 18, QImage::Format_RGB32);
    glyph.fill(Qt::red);
    g.setGlyph(TBitmap(glyph));
    EXPECT_FALSE(g.Modified());
    // With one, the size update passes it through the setter: modified.
    g.setTransparentColor(clWhite);
    g.SaveToFile(dir.filePath("sizes.zqa"));
    EXPECT_FALSE(g.Modified());
    g.setGlyph(TBitmap(glyph));
    EXPECT_TRUE(g.Modified());

    // The preview's gesture computes nothing.
    TZQGesture preview;
    preview.NoSizeUpdate = true;
    preview.setFrames(frames(8, 8, 2));
    preview.UpdateSizes();
    EXPECT_EQ(preview.GestureSize(), -1);
}
