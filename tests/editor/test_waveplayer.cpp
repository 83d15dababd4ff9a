// TWavePlayer hands the bytes of its TWave to the sound service.
#include "editor/waveplayer.h"
#include "gesture/gesturetestutil.h"
#include "sound/soundservice.h"

#include <QCursor>
#include <QGuiApplication>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using gesturetest::wav;

TEST(TWavePlayer, OptionsGiveThePlayFlags)
{
    TWavePlayer player;
    EXPECT_TRUE(player.Enabled());
    EXPECT_EQ(player.Options(), TOptionsSet { wpoSync });
    EXPECT_EQ(player.PlayFlags(), 0x0004);
    ASSERT_NE(player.Wave(), nullptr);
    EXPECT_EQ(player.Wave()->Size(), 0);

    const struct
    {
        TOptionsSet options;
        int flags;
    } cases[] = {
        { { wpoAsync }, 0x0005 },
        { { wpoAsync, wpoLoop }, 0x000D },
        { { wpoSync }, 0x0004 },
        { { wpoNoDefault, wpoNoStop }, 0x0016 },
        { { wpoSync, wpoAsync, wpoNoDefault, wpoLoop, wpoNoStop }, 0x001F },
        { {}, 0x0004 },
    };
    for (const auto &c : cases) {
        player.setOptions(c.options);
        EXPECT_EQ(player.Options(), c.options);
        EXPECT_EQ(player.PlayFlags(), c.flags);
    }
}

// Player tests run on SDL's dummy driver, which consumes samples in real time.
class TWavePlayerPlay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_savedDriver = qgetenv("SDL_AUDIODRIVER");
        plumora::shutdownSound();
        qputenv("SDL_AUDIODRIVER", "dummy");
    }
    void TearDown() override
    {
        plumora::shutdownSound();
        qputenv("SDL_AUDIODRIVER", m_savedDriver);
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    }
    static quint64 started() { return plumora::soundStats().soundsStarted; }

    QByteArray m_savedDriver;
};

TEST_F(TWavePlayerPlay, EventsSurroundThePlay)
{
    TWavePlayer player;
    player.Wave()->setData(wav(2205, 44100)); // 50 ms
    std::vector<std::string> calls;
    const quint64 before = started();
    player.setBeforePlay([&](TWavePlayer *sender) {
        EXPECT_EQ(sender, &player);
        calls.push_back("before:" + std::to_string(started() - before));
    });
    player.setAfterPlay([&](TWavePlayer *sender) {
        EXPECT_EQ(sender, &player);
        calls.push_back("after:" + std::to_string(started() - before));
    });

    player.Play(); // synchronous: returns when the sound has ended
    EXPECT_FALSE(plumora::soundPlaying());
    EXPECT_EQ(plumora::soundStats().currentPlayed, 2205u);
    EXPECT_EQ(calls, (std::vector<std::string> { "before:0", "after:1" }));

    calls.clear();
    player.setEnabled(false);
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    player.Play();
    EXPECT_EQ(calls, (std::vector<std::string> { "before:1", "after:1" })) << "nothing played";
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr) << "cursor left alone";
}

TEST_F(TWavePlayerPlay, PlayResetsTheCursorEvenWhenTheSoundFails)
{
    TWavePlayer player;
    player.Wave()->setData(QByteArray("not a wave"));
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    player.Play();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(TWavePlayerPlay, EmptyHolderAndDestructionStopTheSound)
{
    auto looping = std::make_unique<TWavePlayer>();
    looping->setOptions({ wpoAsync, wpoLoop });
    looping->Wave()->setData(wav(1000, 44100));

    looping->Play();
    ASSERT_TRUE(plumora::soundPlaying());
    TWavePlayer empty;
    empty.Play();
    EXPECT_FALSE(plumora::soundPlaying()) << "no bytes: the playing sound stops";

    looping->Play();
    ASSERT_TRUE(plumora::soundPlaying());
    looping.reset();
    EXPECT_FALSE(plumora::soundPlaying()) << "a destroyed player stops the sound";
}
