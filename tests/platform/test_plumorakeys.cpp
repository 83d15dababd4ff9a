// The settings store and its typed file format: defaults on a first run and
// on a damaged or unreadable store, per-value fallbacks for mistyped values,
// the write-avoiding placement cache, and write failures.
#include "platform/plumorakeys.h"
#include "platform/settingsformat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

using plumora::settings::formatTypedSettings;
using plumora::settings::parseTypedSettings;

namespace {

class PlumoraKeysTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("Plumora.conf"));
        TPlumoraKeys::setStoreFile(path);
    }
    void TearDown() override { TPlumoraKeys::setStoreFile({}); }

    // Puts values into the store the way another run of the program would.
    void plant(const QString &key, const QString &name, const QVariant &value)
    {
        QSettings store(path, plumora::settings::typedSettingsFormat());
        store.setValue(key + QLatin1Char('/') + name, value);
        store.sync();
        ASSERT_EQ(store.status(), QSettings::NoError);
    }
    void writeFile(const QByteArray &bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QByteArray fileText() const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QRect workArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }
    static QPoint workAreaSize() { return { workArea().width(), workArea().height() }; }

    QTemporaryDir dir;
    QString path;
};

using FolderGetter = QString (TPlumoraKeys::*)();
using FolderSetter = void (TPlumoraKeys::*)(const QString &);
struct FolderProperty
{
    const char *valueName;
    FolderGetter get;
    FolderSetter set;
};
const FolderProperty kFolders[] = {
    { "Gesture Open", &TPlumoraKeys::GestureOpenDir, &TPlumoraKeys::setGestureOpenDir },
    { "Gesture Save", &TPlumoraKeys::GestureSaveDir, &TPlumoraKeys::setGestureSaveDir },
    { "Animation Open", &TPlumoraKeys::AnimationOpenDir, &TPlumoraKeys::setAnimationOpenDir },
    { "Animation Save", &TPlumoraKeys::AnimationSaveDir, &TPlumoraKeys::setAnimationSaveDir },
    { "Audio Open", &TPlumoraKeys::AudioOpenDir, &TPlumoraKeys::setAudioOpenDir },
    { "Audio Save", &TPlumoraKeys::AudioSaveDir, &TPlumoraKeys::setAudioSaveDir },
    { "Button Open", &TPlumoraKeys::ButtonOpenDir, &TPlumoraKeys::setButtonOpenDir },
    { "Button Save", &TPlumoraKeys::ButtonSaveDir, &TPlumoraKeys::setButtonSaveDir },
};

TEST_F(PlumoraKeysTest, FirstRunFillsTheWorkAreaAndLeavesTheStoreWithoutValues)
{
    TPlumoraKeys keys;
    EXPECT_EQ(keys.GetWorkArea(), workArea());
    const QPoint position = keys.WindowPosition();
    const QPoint size = keys.WindowSize();
    EXPECT_EQ(position, workArea().topLeft());
    EXPECT_EQ(size, workAreaSize());
    for (const FolderProperty &folder : kFolders)
        EXPECT_EQ((keys.*folder.get)(), QString()) << folder.valueName;

    // Closing an unmoved window stores the placement just read: nothing is written.
    keys.setWindowPosition(position);
    keys.setWindowSize(size);
    EXPECT_FALSE(fileText().contains("Left"));
    EXPECT_FALSE(fileText().contains("Width"));
}

TEST_F(PlumoraKeysTest, PlacementIsWrittenOnlyWhenItDiffersFromTheCache)
{
    {
        TPlumoraKeys keys;
        // The cache starts at the virtual screen's corner and the screen's size.
        const QScreen *screen = QGuiApplication::primaryScreen();
        keys.setWindowPosition(screen->virtualGeometry().topLeft());
        keys.setWindowSize(QPoint(screen->geometry().width(), screen->geometry().height()));
        EXPECT_FALSE(QFile::exists(path));

        keys.setWindowPosition(QPoint(-8, 20));
        EXPECT_TRUE(fileText().contains("\"Left\"=dword:fffffff8"));
        EXPECT_TRUE(fileText().contains("\"Top\"=dword:00000014"));
        EXPECT_FALSE(fileText().contains("Width"));
        keys.setWindowSize(QPoint(640, 480));
        keys.setWindowMaximized(false);
        EXPECT_FALSE(fileText().contains("Maximized"));
        keys.setWindowMaximized(true);
        EXPECT_TRUE(fileText().contains("\"Maximized\"=dword:00000001"));
    }
    TPlumoraKeys again;
    EXPECT_EQ(again.WindowPosition(), QPoint(-8, 20));
    EXPECT_EQ(again.WindowSize(), QPoint(640, 480));
    EXPECT_TRUE(again.WindowMaximized());

    // After a read the cache holds the stored value; writing it back is a no-op
    // even when the store has changed underneath since.
    QFile::remove(path);
    again.setWindowPosition(QPoint(-8, 20));
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(PlumoraKeysTest, AMistypedValueFallsBackAlone)
{
    plant(TPlumoraKeys::settingsKey(), QStringLiteral("Left"), QStringLiteral("100"));
    plant(TPlumoraKeys::settingsKey(), QStringLiteral("Top"), 50);
    plant(TPlumoraKeys::settingsKey(), QStringLiteral("Width"), QByteArray("\x10\x00\x00\x00", 4));
    plant(TPlumoraKeys::settingsKey(), QStringLiteral("Height"), 300);
    plant(TPlumoraKeys::settingsKey(), QStringLiteral("Maximized"), QStringLiteral("1"));
    TPlumoraKeys keys;
    EXPECT_EQ(keys.WindowPosition(), QPoint(workArea().left(), 50));
    EXPECT_EQ(keys.WindowSize(), QPoint(workArea().width(), 300));
    EXPECT_FALSE(keys.WindowMaximized());
}

TEST_F(PlumoraKeysTest, AFolderThatIsNotTextReadsAsTheProgramPath)
{
    plant(TPlumoraKeys::directoriesKey(), QStringLiteral("Gesture Open"), 42);
    plant(TPlumoraKeys::directoriesKey(), QStringLiteral("Audio Save"), QByteArray("/tmp/"));
    TPlumoraKeys keys;
    EXPECT_EQ(keys.GestureOpenDir(), QCoreApplication::applicationFilePath());
    EXPECT_EQ(keys.AudioSaveDir(), QCoreApplication::applicationFilePath());
    EXPECT_EQ(keys.GestureSaveDir(), QString());
}

TEST_F(PlumoraKeysTest, FoldersKeepTheirTextExactlyUnderTheirOwnNames)
{
    TPlumoraKeys keys;
    int n = 0;
    for (const FolderProperty &folder : kFolders)
        (keys.*folder.set)(QStringLiteral("/home/u/dir %1/").arg(++n));
    n = 0;
    TPlumoraKeys other;
    for (const FolderProperty &folder : kFolders) {
        EXPECT_EQ((other.*folder.get)(), QStringLiteral("/home/u/dir %1/").arg(++n)) << folder.valueName;
        EXPECT_TRUE(fileText().contains(QByteArray("\"") + folder.valueName + "\"=\"/home/u/dir"))
            << folder.valueName;
    }

    // Quotes, backslashes, line breaks and any Unicode come back unchanged.
    const QString odd = QStringLiteral("/tmp/\"q\\\"\n\t\u00e9\U0001F600 ]/");
    keys.setButtonOpenDir(odd);
    EXPECT_EQ(other.ButtonOpenDir(), odd);
    // Like a registry string, the text ends at its first zero.
    keys.setButtonSaveDir(QStringLiteral("/a/") + QChar(u'\0') + QStringLiteral("b/"));
    EXPECT_EQ(other.ButtonSaveDir(), QStringLiteral("/a/"));
}

TEST_F(PlumoraKeysTest, ADamagedStoreGivesDefaultsAndIsReplacedByTheNextWrite)
{
    writeFile("\"Left\"=dword:00000010\nthis is not a settings line\n");
    TPlumoraKeys keys;
    EXPECT_EQ(keys.WindowPosition(), workArea().topLeft());
    EXPECT_EQ(keys.GestureOpenDir(), QCoreApplication::applicationFilePath());

    keys.setGestureOpenDir(QStringLiteral("/data/"));
    EXPECT_EQ(keys.GestureOpenDir(), QStringLiteral("/data/"));
    EXPECT_TRUE(QFile::exists(path + QStringLiteral(".bad")));
    EXPECT_FALSE(fileText().contains("not a settings line"));
}

// A valid store of megabytes (here one long folder text) is read and kept by
// later writes; only an absurdly large file counts as damaged, and the next
// write moves it aside rather than losing it.
TEST_F(PlumoraKeysTest, ALargeStoreIsReadUnlessItIsAbsurd)
{
    const QString folder = QLatin1Char('/') + QString(3 * 1024 * 1024, QLatin1Char('d')) + QLatin1Char('/');
    writeFile("[Software/Quorvant/Plumora/Settings]\n\"Left\"=dword:00000010\n"
              "[Software/Quorvant/Plumora/Directories]\n\"Gesture Open\"=\""
        + folder.toUtf8() + "\"\n");
    TPlumoraKeys keys;
    EXPECT_EQ(keys.WindowPosition().x(), 16);
    EXPECT_EQ(keys.GestureOpenDir(), folder);
    keys.setAudioOpenDir(QStringLiteral("/a/"));
    EXPECT_EQ(keys.GestureOpenDir(), folder);
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".bad")));

    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.resize(plumora::settings::kMaxSettingsFileBytes + 1)); // sparse: costs no disk
    }
    EXPECT_EQ(keys.GestureOpenDir(), QCoreApplication::applicationFilePath());
    keys.setAudioOpenDir(QStringLiteral("/b/"));
    EXPECT_EQ(keys.AudioOpenDir(), QStringLiteral("/b/"));
    EXPECT_EQ(QFileInfo(path + QStringLiteral(".bad")).size(), plumora::settings::kMaxSettingsFileBytes + 1);
}

TEST_F(PlumoraKeysTest, AnUnreadableStoreGivesDefaultsAndRefusesWrites)
{
    // A folder where the file should be: it can be neither read nor written,
    // whoever runs the test.
    ASSERT_TRUE(QDir().mkpath(path));
    TPlumoraKeys keys;
    EXPECT_EQ(keys.WindowPosition(), workArea().topLeft());
    EXPECT_EQ(keys.WindowSize(), workAreaSize());
    EXPECT_EQ(keys.AnimationOpenDir(), QCoreApplication::applicationFilePath());
    try {
        keys.setWindowPosition(QPoint(1, 2));
        FAIL() << "no error";
    } catch (const ERegistryException &error) {
        EXPECT_EQ(error.message(), QStringLiteral("Failed to set data for 'Left'"));
    }
}

TEST_F(PlumoraKeysTest, AStoreThatCannotBeCreatedRaisesTheFirstValueName)
{
    // The store's folder would have to be made inside a plain file.
    writeFile("x");
    TPlumoraKeys::setStoreFile(path + QStringLiteral("/sub/Plumora.conf"));
    TPlumoraKeys keys;
    auto messageOf = [](const std::function<void()> &write) {
        try {
            write();
        } catch (const ERegistryException &error) {
            return error.message();
        }
        return QStringLiteral("no error");
    };
    EXPECT_EQ(messageOf([&] { keys.setWindowPosition(QPoint(5, 6)); }),
        QStringLiteral("Failed to set data for 'Left'"));
    EXPECT_EQ(messageOf([&] { keys.setWindowSize(QPoint(5, 6)); }),
        QStringLiteral("Failed to set data for 'Width'"));
    EXPECT_EQ(messageOf([&] { keys.setAudioOpenDir(QStringLiteral("/x/")); }),
        QStringLiteral("Failed to set data for 'Audio Open'"));
    EXPECT_EQ(messageOf([&] { keys.setWindowMaximized(true); }),
        QStringLiteral("Failed to set data for 'Maximized'"));
    // A refused value is not taken as stored: once the store works, the same
    // values are written.
    TPlumoraKeys::setStoreFile(dir.filePath(QStringLiteral("later.conf")));
    keys.setWindowSize(QPoint(5, 6));
    keys.setWindowMaximized(true);
    TPlumoraKeys later;
    EXPECT_EQ(later.WindowSize(), QPoint(5, 6));
    EXPECT_TRUE(later.WindowMaximized());
    // Reading the same store quietly gives the defaults.
    TPlumoraKeys::setStoreFile(path + QStringLiteral("/sub/Plumora.conf"));
    EXPECT_EQ(keys.WindowPosition(), workArea().topLeft());
}

TEST_F(PlumoraKeysTest, TheStoreFileComesFromTheOverrideTheEnvironmentOrTheConfigFolder)
{
    TPlumoraKeys::setStoreFile({});
    const QByteArray saved = qgetenv("PLUMORA_SETTINGS_FILE");
    const QTemporaryDir elsewhere;
    const QString elsewhereFile = elsewhere.filePath(QStringLiteral("elsewhere.conf"));
    qputenv("PLUMORA_SETTINGS_FILE", QFile::encodeName(elsewhereFile));
    EXPECT_EQ(TPlumoraKeys::storeFile(), elsewhereFile);
    qunsetenv("PLUMORA_SETTINGS_FILE");
    EXPECT_TRUE(TPlumoraKeys::storeFile().endsWith(QStringLiteral("/Quorvant/Plumora.conf")));
    if (!qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")) {
        EXPECT_TRUE(TPlumoraKeys::storeFile().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    }
    if (!saved.isEmpty())
        qputenv("PLUMORA_SETTINGS_FILE", saved);
    TPlumoraKeys::setStoreFile(path);
    EXPECT_EQ(TPlumoraKeys::storeFile(), path);
}

// --- The file format ------------------------------------------------------

TEST(TypedSettingsFormat, KeepsTypesAcrossSectionsAndRoundTrips)
{
    QSettings::SettingsMap map;
    map.insert(QStringLiteral("A/B/x"), 1);
    map.insert(QStringLiteral("A/B/c/z"), QStringLiteral("inner"));
    map.insert(QStringLiteral("A/B/y"), QStringLiteral("12"));
    map.insert(QStringLiteral("top"), -1);
    map.insert(QStringLiteral("A/bin"), QByteArray("\x00\xff", 2));
    map.insert(QStringLiteral("A/empty"), QByteArray());
    const auto text = formatTypedSettings(map);
    ASSERT_TRUE(text);
    const auto back = parseTypedSettings(*text);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, map);
    EXPECT_EQ(back->value(QStringLiteral("A/B/x")).typeId(), QMetaType::Int);
    EXPECT_EQ(back->value(QStringLiteral("A/B/y")).typeId(), QMetaType::QString);
    EXPECT_EQ(back->value(QStringLiteral("top")).toInt(), -1);
    // Each section appears once even though map order interleaves them.
    EXPECT_EQ(text->count("[A/B]"), 1);
}

TEST(TypedSettingsFormat, ReadsCommentsCrLfAndAByteOrderMark)
{
    const auto map = parseTypedSettings("\xEF\xBB\xBF; note\r\n# other\r\n\r\n[S]\r\n  \"a\" = dword:1f \r\n"
                                        "\"b\"=\"x\\u0041\\n\"\r\n\"a\"=dword:2\r\n");
    ASSERT_TRUE(map);
    EXPECT_EQ(map->value(QStringLiteral("S/a")), QVariant(2)); // a repeated name keeps its last value
    EXPECT_EQ(map->value(QStringLiteral("S/b")), QVariant(QStringLiteral("xA\n")));
}

TEST(TypedSettingsFormat, RefusesDefectsAsAWhole)
{
    const QByteArray bad[] = {
        "[S]\n\"a\"=dword:123456789\n", // more than 32 bits
        "[S]\n\"a\"=dword:\n", // no digits
        "[S]\n\"a\"=qword:1\n", // unknown type
        "[S]\n\"a\"=\"open\n", // unterminated text
        "[S]\n\"a\"=\"x\"junk\n", // text after the value
        "[S]\n\"a\"=\"\\q\"\n", // unknown escape
        "[S]\n\"a\"=\"\\u12\"\n", // short escape
        "[S]\n\"a\"=hex:1,2\n", // bytes need two digits
        "[S]\n\"a\"=hex:01;02\n", // wrong separator
        "[S]\n\"a/b\"=dword:1\n", // a name cannot hold the separator
        "[S]\n\"\"=dword:1\n", // nor be empty
        "[/S]\n", // section not in normal form
        "[S//T]\n", // empty path element
        "[S\n", // unclosed section
        "[S]\n\"a\"\n", // no value
        "plain line\n", // neither section nor value
        "[S]\n\"a\"=\"\x01\"\n", // raw control character
        "[S]\n\"a\"=\"\xC3\x28\"\n", // invalid UTF-8
        "[S]\n\"a\"=\"\xE2\x82\"", // UTF-8 cut off at the end
        "; \xE2\x82\n[S]\n", // UTF-8 cut off at the end of a line
        "[S]\n\xEF\xBB\xBF\"a\"=dword:1\n", // a byte order mark after the file's start
    };
    for (const QByteArray &bytes : bad)
        EXPECT_FALSE(parseTypedSettings(bytes)) << bytes.toStdString();
    EXPECT_FALSE(parseTypedSettings(QByteArray(plumora::settings::kMaxSettingsFileBytes + 1, ';')));
    EXPECT_TRUE(parseTypedSettings(QByteArray()));
}

TEST(TypedSettingsFormat, WriterRefusesWhatItCannotStore)
{
    QSettings::SettingsMap map;
    map.insert(QStringLiteral("S/d"), 1.5);
    EXPECT_FALSE(formatTypedSettings(map));
    map.clear();
    map.insert(QStringLiteral("S/"), 1);
    EXPECT_FALSE(formatTypedSettings(map));
}

TEST(TypedSettingsFormat, DamagedFilesParseCleanlyOrNotAtAll)
{
    QSettings::SettingsMap map;
    map.insert(QStringLiteral("Software/Quorvant/Plumora/Settings/Left"), 12);
    map.insert(
        QStringLiteral("Software/Quorvant/Plumora/Directories/Gesture Open"), QStringLiteral("/h/\"x\"/"));
    map.insert(QStringLiteral("Software/Quorvant/Plumora/Directories/Blob"), QByteArray("\x01\x02"));
    const QByteArray good = *formatTypedSettings(map);

    QRandomGenerator random(20260101);
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = good;
        const int edits = 1 + random.bounded(4);
        for (int e = 0; e < edits && !bytes.isEmpty(); ++e) {
            const int at = random.bounded(int(bytes.size()));
            switch (random.bounded(3)) {
            case 0:
                bytes[at] = char(random.bounded(256));
                break;
            case 1:
                bytes.remove(at, 1 + random.bounded(8));
                break;
            default:
                bytes.insert(at, char(random.bounded(256)));
                break;
            }
        }
        const auto result = parseTypedSettings(bytes);
        if (!result)
            continue;
        ++parsed;
        // Whatever was accepted is a map the writer can store and read back.
        const auto again = formatTypedSettings(*result);
        ASSERT_TRUE(again) << bytes.toStdString();
        EXPECT_EQ(parseTypedSettings(*again), result);
    }
    EXPECT_GT(parsed, 0);
}

} // namespace
