// The gesture file: its layout byte for byte, reading unusual files, round
// trips, and saving without ever damaging an earlier file.
#include "codecs/ansitext.h"
#include "codecs/gifimage.h"
#include "gesture/wave.h"
#include "gesture/zqgesture.h"
#include "gesturetestutil.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace gesturetest;

namespace {

QByteArray gifOf(const QImage &image, const QByteArray &author = {}, bool comments = false)
{
    TGIFImage gif;
    gif.CopyFrom(TBitmap(image));
    gif.Author = author;
    if (comments)
        gif.CommentLines() = { "Made with Plumora!", "https://plumora.example.org/" };
    gif.EncodeFrames();
    return gif.WriteToBuffer();
}

QImage strip(int w, int h, int count)
{
    QImage out(w * count, h, QImage::Format_RGB32);
    for (int i = 0; i < count; ++i)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                out.setPixel(i * w + x, y, qRgb(i * 60, x * 30, y * 40));
    return out;
}

QImage solid(int w, int h, QRgb c)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(c);
    return image;
}

} // namespace

TEST(GestureFile, LayoutByteForByte)
{
    const TColor colour = RGBColor(10, 20, 30);
    TZQGesture g;
    g.setTagline(QString::fromUtf8("Hé!"));
    auto list = std::make_unique<TFrameList>(4, 3);
    const QImage pictures = strip(4, 3, 2);
    list->Add(pictures.copy(0, 0, 4, 3), clNone);
    list->Add(pictures.copy(4, 0, 4, 3), clNone);
    g.setFrames(std::move(list));
    g.setTransparentColor(colour);
    g.setAnimLoopOption(aoLoop);
    g.setAnimLoopFrame(2);
    g.SetAuthor("Ann");
    const QImage button = solid(18, 18, qRgb(200, 0, 0));
    g.setGlyph(TBitmap(button));
    const QByteArray sound = wav(40);
    loadSound(g, sound);

    const QByteArray expected = handMade("H\xE9!", header(0x01 | 0x04 | 0x08 | 0x10, 4, colour, 1, 0),
        gifOf(button), gifOf(pictures, "Ann", true), &sound);
    EXPECT_EQ(bytesOf(g).toHex(), expected.toHex());

    // The animation GIF carries the author and the two comment lines, and
    // neither picture carries GIF transparency.
    const QByteArray file = bytesOf(g);
    const int b = (std::uint8_t(file[54]) << 8) | std::uint8_t(file[55]);
    TGIFImage anim;
    anim.ReadFromBuffer(
        file.mid(56 + b + 4, (std::uint8_t(file[56 + b + 2]) << 8) | std::uint8_t(file[56 + b + 3])));
    EXPECT_EQ(anim.Author, "Ann");
    EXPECT_EQ(
        anim.CommentLines(), (QList<QByteArray> { "Made with Plumora!", "https://plumora.example.org/" }));
    EXPECT_EQ(anim.Frames(0).TransparentColor, clNone);
}

TEST(GestureFile, FreshGestureWithoutSound)
{
    TZQGesture g;
    g.setFrames(frames(5, 5, 1));
    const QByteArray file = bytesOf(g);
    EXPECT_EQ(file[8], '\0'); // empty tagline: one length byte
    EXPECT_EQ(std::uint8_t(file[9 + 3]), 0x10); // play once, audio once, nothing else
    EXPECT_EQ(file[9 + 10], '\0');
    EXPECT_TRUE(file.endsWith(QByteArray(2, '\0')));
    // The file ends right after the animation block's end marker.
    const int b = (std::uint8_t(file[51]) << 8) | std::uint8_t(file[52]);
    const int a = (std::uint8_t(file[55 + b]) << 8) | std::uint8_t(file[56 + b]);
    EXPECT_EQ(file.size(), 59 + b + a);
}

TEST(GestureFile, ReadsFlagsAndKeepsWhatTheFileDoesNotSay)
{
    const QByteArray button = gifOf(solid(18, 18, qRgb(0, 0, 255)));
    const QByteArray anim = gifOf(strip(10, 4, 3));
    TZQGesture g;
    g.setAudioRepeat(true);
    // Both loop flags: loop wins. No sound flag: audio settings stay.
    readInto(g, handMade("t", header(0x01 | 0x02 | 0x10, 10, RGBColor(1, 2, 3), 2, 7), button, anim));
    EXPECT_EQ(g.AnimLoopOption(), aoLoop);
    EXPECT_EQ(g.AnimLoopFrame(), 3);
    EXPECT_TRUE(g.AudioRepeat());
    EXPECT_FALSE(g.HasAudio());
    EXPECT_EQ(g.Frames()->Count(), 3);
    EXPECT_EQ(g.TransparentColor(), clNone); // flag clear: no transparent colour
    EXPECT_EQ(g.Tagline(), "t");
    EXPECT_EQ(g.Glyph().pixelColor(0, 0), RGBColor(0, 0, 255));

    // A stored loop frame of 255 wraps to 0, which the setter makes frame 1.
    readInto(g, handMade("", header(0x01, 10, 0, 255, 0), button, anim));
    EXPECT_EQ(g.AnimLoopFrame(), 1);

    // Widths that do not divide: only whole frames.
    readInto(g, handMade("", header(0x04, 4, RGBColor(0, 0, 0), 0, 0), button, anim));
    EXPECT_EQ(g.Frames()->Count(), 7);
    EXPECT_EQ(g.TransparentColor(), RGBColor(0, 0, 0));

    // A strip narrower than a frame: an empty list, not valid, and the
    // colour from the header stays even without the flag.
    readInto(g, handMade("", header(0, 200, RGBColor(5, 6, 7), 0, 0), button, anim));
    EXPECT_FALSE(g.Valid());
    ASSERT_NE(g.Frames(), nullptr);
    EXPECT_EQ(g.Frames()->Count(), 0);
    EXPECT_EQ(g.TransparentColor(), RGBColor(5, 6, 7));

    // Audio start frame beyond the frames stays as read.
    const QByteArray sound = wav(10);
    readInto(g, handMade("", header(0x08, 10, 0, 0, 9), button, anim, &sound));
    EXPECT_TRUE(g.HasAudio());
    EXPECT_TRUE(g.AudioRepeat()); // no "audio once" flag
    EXPECT_EQ(g.AudioLoopFrame(), 10);
    EXPECT_EQ(g.AudioData(), sound);

    // An empty sound block reads as an empty sound.
    const QByteArray noSound;
    readInto(g, handMade("", header(0x08, 10, 0, 0, 0), button, anim, &noSound));
    EXPECT_TRUE(g.HasAudio());
    EXPECT_TRUE(g.AudioData().isEmpty());
}

TEST(GestureFile, BadFilesAreRefused)
{
    TZQGesture g;
    try {
        readInto(g, "ZQAG0200" + QByteArray(60, '\0'));
        FAIL();
    } catch (const PlumoraError &e) {
        EXPECT_EQ(e.message(), "Not a Gesture.");
    }
    EXPECT_TRUE(g.Tagline().isEmpty());
    EXPECT_EQ(g.Frames(), nullptr);

    // A frame width of 0 fails in an orderly way.
    const QByteArray anim = gifOf(strip(10, 4, 3));
    EXPECT_THROW(readInto(g, handMade("", header(0, 0, 0, 0, 0), gifOf(solid(2, 2, 0)), anim)), PlumoraError);
}

// A load that leaves no gesture keeps why, in words that follow the file's
// name, and the sentence the editor shows; the next good load clears it.
TEST(GestureFile, AFailedLoadKeepsItsReason)
{
    QTemporaryDir dir;
    const auto file = [&](const char *name, const QByteArray &bytes) {
        const QString path = dir.filePath(QLatin1String(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    };
    const QString good = file("good.zqa", blackGesture(10, 40, 6));
    const QString locked = file("locked.zqa", blackGesture(10, 40, 6));
    QFile::setPermissions(locked, {});
    const QString notGesture = file("not.zqa", "hello, not a gesture");
    const struct
    {
        QString path;
        QString reason;
        QString message; // after the name
    } cases[] = {
        { dir.filePath("missing.zqa"), "does not exist", " does not exist." },
        { dir.path(), "is a folder, not a file", " is a folder, not a file." },
        { locked, "cannot be opened: Permission denied", " cannot be opened: Permission denied." },
        { notGesture, "Not a Gesture.", " is not a gesture file that Plumora can read: Not a Gesture." },
        { file("narrow.zqa", blackGesture(50, 40, 6)),
            "the animation strip holds no whole frame of the stated width (50 pixels)",
            " is not a gesture file that Plumora can read: the animation strip holds no whole frame of the "
            "stated width (50 pixels)." },
    };
    TZQGesture g;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        if (c.path == locked && QFile(locked).open(QIODevice::ReadOnly))
            continue; // this process reads files without read permission
        g.LoadFromFile(good);
        ASSERT_TRUE(g.LastReadError().isEmpty());
        g.LoadFromFile(c.path);
        EXPECT_EQ(g.LastReadError(), c.reason);
        EXPECT_EQ(g.LastReadErrorMessage(c.path), c.path + c.message);
    }
}

// A button block without a picture (empty, or a GIF without an image) does
// not cost the frames and the sound: the gesture reads without a button
// picture and is written with an empty button block again.
TEST(GestureFile, GestureWithoutButtonPictureReadsAndSavesAgain)
{
    const QByteArray anim = gifOf(strip(10, 4, 3));
    const QByteArray sound = wav(10);
    const QByteArray noImage = blackGif(2, 2).left(19) + ';';
    for (const QByteArray &button : { QByteArray(), noImage }) {
        SCOPED_TRACE(button.size());
        TZQGesture g;
        readInto(g, handMade("t", header(0x08, 10, 0, 0, 0), button, anim, &sound));
        ASSERT_TRUE(g.Valid());
        EXPECT_EQ(g.Frames()->Count(), 3);
        EXPECT_TRUE(g.Glyph().isEmpty());
        EXPECT_EQ(g.AudioData(), sound);
        const QByteArray saved = bytesOf(g);
        EXPECT_EQ(g.GestureSize(), saved.size());
        EXPECT_EQ(saved.mid(52, 4), QByteArray(4, '\0')); // button length 0, end marker
        TZQGesture back;
        readInto(back, saved);
        EXPECT_EQ(back.Frames()->Count(), 3);
        EXPECT_TRUE(back.Glyph().isEmpty());
        EXPECT_EQ(back.AudioData(), sound);
    }
}

// What any version wrote reads, and reading keeps within what a gesture
// holds: strips up to what LZW data of a 65,535-byte block describes, the
// first 255 frames, and without a button picture that cannot be read; each
// thing left out is noted. A strip claiming more pixels than such a block
// describes is refused from its size, before it is decoded.
TEST(GestureFile, ReadingKeepsWhatAGestureHolds)
{
    const QByteArray sound = wav(10);
    const QByteArray header = gesturetest::header(0x18, 10, 0, 0, 0);
    struct Case
    {
        const char *what;
        QByteArray file;
        int frames; // -1: refused
        const char *message; // the note, or the refusal
    };
    const Case cases[] = {
        { "button of 257 x 256", handMade({}, header, blackGif(257, 256), blackGif(40, 6), &sound), 4,
            "The button picture cannot be read (The gesture's button picture is too large (257 x 256 "
            "pixels); a gesture holds at most 65536 pixels); the gesture has none" },
        { "damaged button", handMade({}, header, blackGif(18, 18).left(30), blackGif(40, 6), &sound), 4,
            "The button picture cannot be read (Stream read error); the gesture has none" },
        // Written by earlier versions, under 64 KB each.
        { "132 frames of 255 x 1000", blackGesture(255, 132 * 255, 1000), 132, nullptr },
        { "3 frames of 200 x 65535", blackGesture(200, 600, 65535), 3, nullptr },
        { "65535 frames of 1 x 300", blackGesture(1, 65535, 300), 255,
            "The animation strip holds 65535 frames, but a gesture holds at most 255; the first 255 were "
            "read" },
        { "257 frames of 255 x 1024", blackGesture(255, 65535, 1024), 255, "holds 257 frames" },
        // Its GIF claims 104,856,000 pixels over 40,000 bytes of data.
        { "strip beyond the cap", handMade({}, header, {}, blackGif(65535, 1600).left(40000) + "\0;"), -1,
            "The gesture's animation is too large (65535 x 1600 pixels); a gesture holds at most 100663296 "
            "pixels" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TZQGesture g;
        g.NoSizeUpdate = true;
        if (c.frames < 0) {
            try {
                readInto(g, c.file);
                ADD_FAILURE() << "read";
            } catch (const PlumoraError &e) {
                EXPECT_EQ(e.message(), QString::fromLatin1(c.message));
            }
            EXPECT_FALSE(g.Valid());
            continue;
        }
        readInto(g, c.file);
        ASSERT_TRUE(g.Valid());
        EXPECT_EQ(g.Frames()->Count(), c.frames);
        EXPECT_EQ(g.ReadNotes().size(), c.message ? 1 : 0);
        if (c.message) {
            EXPECT_TRUE(g.ReadNotes().value(0).contains(QString::fromLatin1(c.message)))
                << g.ReadNotes().join('\n').toStdString();
        }
        if (g.HasAudio()) {
            EXPECT_EQ(g.AudioData(), sound);
        }
        // The frames share one strip of exactly their columns.
        EXPECT_EQ(g.Frames()->Strip().width(), c.frames * g.Frames()->Width());
    }

    // A smaller budget, as the open dialog's preview reads with.
    TZQGesture g;
    g.MaxStripPixels = 40 * 6;
    readInto(g, blackGesture(10, 40, 6));
    EXPECT_EQ(g.Frames()->Count(), 4);
    EXPECT_EQ(g.Frames()->Picture(3).pixel(9, 5), qRgb(0, 0, 0));
    EXPECT_THROW(readInto(g, blackGesture(10, 41, 6)), PlumoraError);
    EXPECT_FALSE(g.Valid());
}

// The largest strip an import makes (255 frames of 255 x 254, the tallest
// frame of a picture wider than high) saves and opens; one that would not
// read back whole is refused when saved, so no file is written that would
// not open as it was.
TEST(GestureFile, LargestImportedStripSavesAndOpens)
{
    const struct
    {
        int frames, height;
        const char *refusal;
    } cases[] = {
        { 255, 254, nullptr }, { 255, 1549, "65025 x 1549" }, // more pixels than a gesture holds
        { 256, 4, "256 frames" }, // more frames than a gesture numbers
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.height);
        TZQGesture g;
        auto list = std::make_unique<TFrameList>(255, c.height);
        const QImage frame = solid(255, c.height, qRgb(30, 60, 90)); // shared by every frame
        for (int i = 0; i < c.frames; ++i)
            list->Add(frame, clNone);
        g.setFrames(std::move(list));
        if (c.refusal) {
            try {
                bytesOf(g);
                FAIL();
            } catch (const PlumoraError &e) {
                EXPECT_TRUE(e.message().contains(c.refusal)) << e.message().toStdString();
            }
            continue;
        }
        TZQGesture back;
        back.NoSizeUpdate = true;
        readInto(back, bytesOf(g));
        ASSERT_TRUE(back.Valid());
        EXPECT_EQ(back.Frames()->Count(), 255);
        EXPECT_EQ(back.Frames()->Height(), c.height);
        EXPECT_TRUE(back.ReadNotes().isEmpty());

        // A strip this large is drawn into the memory the last one left; the
        // new one shows the frames as they are now.
        EXPECT_EQ(g.RenderStrip().pixel(65024, 253), qRgb(30, 60, 90));
        g.DeleteFrame(254);
        g.InsertFrame(254, solid(255, c.height, qRgb(200, 10, 10)), clNone);
        const QImage strip = g.RenderStrip();
        EXPECT_EQ(strip.pixel(64769, 253), qRgb(30, 60, 90));
        EXPECT_EQ(strip.pixel(64770, 0), qRgb(200, 10, 10));
        EXPECT_EQ(strip.pixel(65024, 253), qRgb(200, 10, 10));
    }
}

// Cut at every byte, a gesture with every kind of block (tagline, author,
// transparency, sound) reads as not Valid and never crashes, whether opened
// by name (which leaves nothing to save) or loaded; each component is
// reused, as the open dialog's preview reuses it. The whole file, and the
// file without the sound's end marker (which the reader skips), read.
TEST(GestureFile, EveryTruncationEndsInvalid)
{
    TZQGesture source;
    source.setFrames(frames(7, 5, 4, RGBColor(255, 0, 0)));
    source.setTagline("cut me");
    source.SetAuthor("Ann");
    source.setTransparentColor(RGBColor(255, 0, 0));
    source.setAnimLoopOption(aoLoop);
    loadSound(source, wav(150));
    const QByteArray whole = bytesOf(source);
    QTemporaryDir dir;
    // Each cut under a name of its own: opening the name already open reads nothing.
    const auto write = [&dir](qsizetype n, const QByteArray &bytes) {
        QFile f(dir.filePath(QStringLiteral("cut%1.zqa").arg(n)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    TZQGesture opened, loaded;
    for (qsizetype n = 0; n < whole.size() - 2; ++n) {
        const QString path = write(n, whole.left(n));
        opened.setFilename(path);
        ASSERT_FALSE(opened.Valid()) << "cut at " << n << " of " << whole.size();
        EXPECT_FALSE(opened.Modified()) << "cut at " << n; // opened by name: nothing to save
        loaded.LoadFromFile(path);
        ASSERT_FALSE(loaded.Valid()) << "cut at " << n << " of " << whole.size();
    }
    for (const qsizetype n : { whole.size() - 2, whole.size() }) {
        opened.setFilename(write(n, whole.left(n)));
        loaded.LoadFromFile(opened.Filename());
        for (const TZQGesture *g : { &opened, &loaded }) {
            ASSERT_TRUE(g->Valid()) << n;
            EXPECT_EQ(g->Frames()->Count(), 4);
            EXPECT_EQ(g->AudioData(), wav(150));
        }
    }
}

TEST(GestureFile, RandomRoundTrips)
{
    QRandomGenerator rng(1234);
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        const int w = rng.bounded(1, 40) + (round % 5 == 4 ? 40 : 0);
        const int h = rng.bounded(1, 30) + (round % 5 == 4 ? 30 : 0);
        const int count = rng.bounded(1, 12);
        TZQGesture g;
        auto list = std::make_unique<TFrameList>(w, h);
        // Few colours, so the strip survives the 256-colour GIF exactly; or
        // (every fifth round) a photo's many, which the file reduces, where
        // the transparent pixels must still come back exactly.
        const bool photo = round % 5 == 4;
        QList<QRgb> palette;
        for (int i = 0; i < (photo ? 3000 : 40); ++i)
            palette << qRgb(rng.bounded(256), rng.bounded(256), rng.bounded(256));
        for (int i = 0; i < count; ++i) {
            QImage image(w, h, QImage::Format_RGB32);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    image.setPixel(x, y, palette[rng.bounded(palette.size())]);
            list->Add(image, clNone);
        }
        g.setFrames(std::move(list));
        g.setTagline(QString("tag %1 ").arg(round) + QString::fromUtf8("é€"));
        g.SetAuthor(QString("author %1").arg(round));
        g.setAnimLoopOption(TAnimOptions(rng.bounded(3)));
        g.setAnimLoopFrame(std::uint8_t(rng.bounded(1, count + 1)));
        if (photo || rng.bounded(2))
            g.setTransparentColor(fromQRgb(palette[rng.bounded(palette.size())]));
        g.setAudioRepeat(rng.bounded(2));

        const QByteArray file = bytesOf(g);
        TZQGesture back;
        readInto(back, file);
        EXPECT_EQ(back.Tagline(), g.Tagline());
        EXPECT_EQ(back.Author(), g.Author());
        EXPECT_EQ(back.AnimLoopOption(), g.AnimLoopOption());
        if (g.AnimLoopOption() == aoLoop) {
            EXPECT_EQ(back.AnimLoopFrame(), g.AnimLoopFrame());
        }
        EXPECT_EQ(back.TransparentColor(), g.TransparentColor());
        ASSERT_EQ(back.Frames()->Count(), count);
        EXPECT_EQ(back.Frames()->Width(), w);
        EXPECT_EQ(back.Frames()->Height(), h);
        for (int i = 0; i < count; ++i) {
            if (!photo) {
                EXPECT_EQ(back.Frames()->CopyFrame(i, clNone), g.Frames()->CopyFrame(i, clNone)) << i;
            }
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(back.Frames()->IsTransparent(i, x, y), g.Frames()->IsTransparent(i, x, y));
        }
        // What the file does not carry (the loop frame when not looping, the
        // audio flags without a sound) stays as the reader found it.
        back.setAnimLoopFrame(g.AnimLoopFrame());
        back.setAudioRepeat(g.AudioRepeat());
        if (!photo) {
            EXPECT_EQ(bytesOf(back), file);
        }
    }
}

TEST(GestureFile, SavingNeverDamagesAnEarlierFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("g.zqa");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(5000, 'x'));
    f.close();

    // Frames too wide for the file: refused, nothing written.
    TZQGesture wide;
    wide.setFrames(frames(300, 2, 1));
    wide.setTagline("wide");
    try {
        wide.SaveToFile(path);
        FAIL();
    } catch (const PlumoraError &e) {
        EXPECT_TRUE(e.message().contains("300")) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("255"));
    }
    EXPECT_TRUE(wide.Modified());
    QFile check(path);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray(5000, 'x'));
    check.close();
    // The sizes are still reported so the gauges can show red.
    wide.UpdateSizes();
    EXPECT_GT(wide.GestureSize(), 0);

    // A sound larger than a block can hold (Load refuses such a file; the
    // bytes can still be set directly).
    TZQGesture loud;
    loud.setFrames(frames(4, 4, 1));
    loud.SetAudio(wav(40000));
    EXPECT_GT(loud.AudioSize(), 65535);
    EXPECT_THROW(loud.SaveToFile(path), PlumoraError);

    // A good save replaces the longer old file completely.
    TZQGesture good;
    good.setFrames(frames(4, 4, 1));
    good.setTagline("good");
    good.SaveToFile(path);
    EXPECT_FALSE(good.Modified());
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), bytesOf(good));
    check.close();

    // A folder that cannot be written: a clear error naming the file.
    try {
        good.SaveToFile(dir.filePath("missing/sub/g.zqa"));
        FAIL();
    } catch (const PlumoraError &e) {
        EXPECT_TRUE(e.message().contains("missing/sub/g.zqa"));
    }
}

TEST(GestureFile, FilenameAndLoadingRules)
{
    QTemporaryDir dir;
    TZQGesture source;
    source.setFrames(frames(6, 5, 3));
    source.setTagline("first");
    source.SetAuthor("Ann");
    const QString first = dir.filePath("first.zqa");
    source.SaveToFile(first);
    source.SetAuthor("");
    source.setTagline("second");
    const QString second = dir.filePath("second.zqa");
    source.SaveToFile(second);
    const QString notGesture = dir.filePath("not.zqa");
    QFile nf(notGesture);
    ASSERT_TRUE(nf.open(QIODevice::WriteOnly));
    nf.write("hello world, not a gesture at all");
    nf.close();

    TZQGesture g;
    int changes = 0;
    QObject::connect(&g, &TZQGesture::OnChange, [&] { ++changes; });
    g.setFilename(first);
    EXPECT_TRUE(g.Valid());
    EXPECT_EQ(g.Tagline(), "first");
    EXPECT_EQ(g.Author(), "Ann");
    EXPECT_EQ(changes, 1);
    EXPECT_GT(g.GestureSize(), 0);

    // A gesture without author text keeps the one loaded before.
    g.setFilename(second);
    EXPECT_EQ(g.Tagline(), "second");
    EXPECT_EQ(g.Author(), "Ann");

    // The same name again does not reload, even when the file changed.
    QFile::remove(second);
    QFile::copy(first, second);
    g.setFilename(second);
    EXPECT_EQ(g.Tagline(), "second");

    // Not a gesture: invalid, no message, not modified, name kept.
    g.setFilename(notGesture);
    EXPECT_FALSE(g.Valid());
    EXPECT_TRUE(g.Tagline().isEmpty());
    EXPECT_FALSE(g.Modified());
    EXPECT_EQ(g.Filename(), notGesture);

    // An empty name resets the component.
    g.setFilename(first);
    g.setFilename(QString());
    EXPECT_FALSE(g.Valid());
    EXPECT_EQ(g.Frames(), nullptr);
    EXPECT_TRUE(g.Tagline().isEmpty());
    EXPECT_EQ(changes, 3);
}
