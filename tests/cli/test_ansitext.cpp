// Windows-1252 conversion of the texts kept in GIF and gesture files.
#include "codecs/ansitext.h"

#include <gtest/gtest.h>

TEST(AnsiText, EveryByteSurvivesTheRoundTrip)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = fromAnsi(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(toAnsi(text), all);
}

TEST(AnsiText, HighControlRangeIsTheWindowsCodePage)
{
    EXPECT_EQ(fromAnsi("\x80"), QString(QChar(0x20AC)));
    EXPECT_EQ(fromAnsi("\x9F"), QString(QChar(0x0178)));
    EXPECT_EQ(fromAnsi("\x85\x91\x92"), QString::fromUtf8("…‘’"));
    EXPECT_EQ(fromAnsi("\x81"), QString(QChar(0x81))); // undefined in the code page
    EXPECT_EQ(fromAnsi("caf\xE9"), QString::fromUtf8("café"));
    EXPECT_EQ(toAnsi(QString::fromUtf8("€ Ÿ é")), QByteArray("\x80 \x9F \xE9"));
}

TEST(AnsiText, UnmappableCharactersBecomeOneQuestionMarkEach)
{
    // U+2603 and a character outside the basic plane (a surrogate pair).
    EXPECT_EQ(toAnsi(QString::fromUtf8("a☃b\U0001F600c")), QByteArray("a?b?c"));
    EXPECT_EQ(toAnsi(QString(QChar(0x0100))), QByteArray("?"));
}
