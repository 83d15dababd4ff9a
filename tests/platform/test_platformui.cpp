// The widget services of the platform layer: the error display and its
// guard, the cursor table and screen cursor, the help viewer, the shell.
#include "platform/errors.h"
#include "platform/ui/application.h"
#include "platform/ui/cursors.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"
#include "platform/ui/shell.h"

#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QWidget>

#include <stdexcept>

#include <gtest/gtest.h>

using namespace plumora::ui;

namespace {

struct ShownBox
{
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers every message box with OK and records what it showed.
class ErrorDisplayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setDialogResponder([this](QDialog &dialog) {
            auto *box = qobject_cast<QMessageBox *>(&dialog);
            if (!box)
                return int(QDialog::Rejected);
            boxes.append({ box->windowTitle(), box->text(), box->icon(), box->standardButtons() });
            if (onBox)
                onBox();
            return int(QMessageBox::Ok);
        });
    }
    void TearDown() override
    {
        setDialogResponder({});
        setHelpFile({});
        if (helpWindow())
            helpWindow()->hide();
    }

    QList<ShownBox> boxes;
    std::function<void()> onBox;
};

TEST_F(ErrorDisplayTest, AnErrorBecomesThePlumoraErrorBox)
{
    EXPECT_FALSE(guarded([] { throw EStreamError(QStringLiteral("Stream write error")); }));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Plumora"));
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Stream write error."));

    // Errors that are not ours show their what() text the same way.
    EXPECT_FALSE(guarded([] { throw std::runtime_error("out of range"); }));
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[1].text, QStringLiteral("out of range."));

    EXPECT_TRUE(guarded([] {}));
    EXPECT_EQ(boxes.size(), 2);
}

TEST_F(ErrorDisplayTest, AFullStopIsAddedOnlyAfterCharactersThatSortAfterIt)
{
    const std::pair<const char *, const char *> cases[] = {
        { "Disk full", "Disk full." },
        { "Code 7", "Code 7." },
        { "Done.", "Done." },
        { "Stop!", "Stop!" },
        { "Failed (2)", "Failed (2)" },
        { "Trailing ", "Trailing " },
        { "", "" },
        { "Path /", "Path /." },
        { "caf\u00e9", "caf\u00e9." },
    };
    for (const auto &[message, shown] : cases) {
        guarded([message] { throw PlumoraError(QString::fromUtf8(message)); });
        ASSERT_FALSE(boxes.isEmpty());
        EXPECT_EQ(boxes.last().text, QString::fromUtf8(shown)) << message;
    }
}

TEST_F(ErrorDisplayTest, AnAbortIsSilent)
{
    EXPECT_FALSE(guarded([] { throw EAbort(); }));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(ErrorDisplayTest, GuardedCallbacksPassTheirArguments)
{
    int seen = 0;
    auto callback = guardedCallback([&seen](int value) {
        seen = value;
        throw PlumoraError(QStringLiteral("late"));
    });
    callback(5);
    EXPECT_EQ(seen, 5);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, QStringLiteral("late."));

    // A slot that takes none of its signal's arguments, connected to one.
    QObject sender;
    QObject::connect(&sender, &QObject::objectNameChanged, &sender,
        guardedCallback([] { throw PlumoraError(QStringLiteral("in a slot")); }));
    sender.setObjectName(QStringLiteral("renamed")); // nothing escapes the signal
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[1].text, QStringLiteral("in a slot."));
}

TEST_F(ErrorDisplayTest, ErrorsRaisedWhileAnErrorBoxIsOpenDoNotNestWithoutEnd)
{
    // Each box, while it is open, triggers another failure (as a failing paint
    // handler would); the boxes stop at a fixed depth.
    onBox = [] { guarded([] { throw PlumoraError(QStringLiteral("again")); }); };
    guarded([] { throw PlumoraError(QStringLiteral("first")); });
    EXPECT_EQ(boxes.size(), 4);
    EXPECT_EQ(boxes[0].text, QStringLiteral("first."));
    onBox = nullptr;
    // Afterwards the display works normally again.
    guarded([] { throw PlumoraError(QStringLiteral("later")); });
    EXPECT_EQ(boxes.size(), 5);
}

// An event filter that fails shows its error, and the event still reaches
// the control it was sent to.
TEST_F(ErrorDisplayTest, AFailingEventFilterIsShownAndTheEventGoesOn)
{
    QLineEdit field;
    const auto filter = guardedEventFilter({ &field }, [](QObject *, QEvent *event) {
        if (event->type() == QEvent::KeyPress)
            throw PlumoraError(QStringLiteral("filter failed"));
        return false;
    });
    QTest::keyClick(&field, Qt::Key_A);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, QStringLiteral("filter failed."));
    EXPECT_EQ(field.text(), QStringLiteral("a"));
}

// The help file gone while the viewer is open: each of its buttons shows the
// error once, and the viewer stays.
TEST_F(ErrorDisplayTest, TheHelpViewersButtonsSayWhenTheHelpFileHasGone)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("plumora.html"));
    ASSERT_TRUE(QFile::copy(helpFile(), copy));
    setHelpFile(copy);
    showHelpContents();
    ASSERT_TRUE(QFile::remove(copy));
    for (const char *name : { "btnHelpContents", "btnHelpIndex" }) {
        boxes.clear();
        QTest::mouseClick(helpWindow()->findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
        ASSERT_EQ(boxes.size(), 1) << name;
        EXPECT_EQ(boxes[0].text, QStringLiteral("Cannot find the help file %1.").arg(copy));
        EXPECT_TRUE(helpWindow()->isVisible());
    }
}

// --- Cursors ----------------------------------------------------------------

TEST(CursorTable, TheColourSampleCursorIsRegisteredAs225)
{
    registerStandardCursors();
    ASSERT_TRUE(hasCursor(crColorSample));
    EXPECT_EQ(crColorSample, 225);
    const QCursor sample = cursor(crColorSample);
    EXPECT_EQ(sample.shape(), Qt::BitmapCursor);
    const QImage picture = sample.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(picture.size(), QSize(32, 32));
    EXPECT_EQ(sample.hotSpot(), QPoint(1, 30));
    // The tip is drawn at the hot spot, and most of the picture is clear.
    int opaque = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            opaque += qAlpha(picture.pixel(x, y)) > 128;
    EXPECT_GT(qAlpha(picture.pixel(2, 29)), 0);
    EXPECT_GT(opaque, 60);
    EXPECT_LT(opaque, 32 * 32 / 2);

    EXPECT_EQ(cursor(crHourGlass).shape(), Qt::WaitCursor);
    EXPECT_EQ(cursor(crHandPoint).shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(hasCursor(12345));
    EXPECT_EQ(cursor(12345).shape(), Qt::ArrowCursor);
    registerCursor(12345, QCursor(Qt::CrossCursor));
    EXPECT_EQ(cursor(12345).shape(), Qt::CrossCursor);
}

TEST(CursorTable, TheScreenCursorOverridesOnceAndComesBackToDefault)
{
    registerStandardCursors();
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    setScreenCursor(crColorSample);
    EXPECT_EQ(screenCursor(), crColorSample);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BitmapCursor);
    setScreenCursor(crColorSample); // setting it again stacks nothing
    {
        BusyCursor busy;
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(screenCursor(), crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // The busy cursor goes however the scope is left.
    try {
        BusyCursor busy;
        throw PlumoraError(QStringLiteral("write failed"));
    } catch (const PlumoraError &) {
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// --- Help -------------------------------------------------------------------

// Every help context number the program's windows and controls use.
const int kHelpContexts[] = { 1, 5, 21, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 170, 200, 400,
    500, 1010, 1020, 1030, 1040, 1050, 1060, 1070, 1080, 1200 };

class HelpTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        setHelpFile({});
        if (helpWindow())
            helpWindow()->hide();
    }
    static QString shownAnchor() { return helpBrowser()->source().fragment(); }
};

TEST_F(HelpTest, TheHelpFileBesideTheProgramHasEveryTopic)
{
    const QString path = helpFile();
    ASSERT_FALSE(path.isEmpty()) << "help/plumora.html is not beside the test program";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    for (const char *section : { "contents", "index", "howto" })
        EXPECT_TRUE(html.contains(QStringLiteral("name=\"%1\"").arg(QLatin1String(section)))) << section;
    for (int context : kHelpContexts)
        EXPECT_TRUE(html.contains(QStringLiteral("name=\"%1\"").arg(helpAnchor(context)))) << context;

    // Every link inside the file leads to an anchor that exists.
    const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
    for (auto it = link.globalMatch(html); it.hasNext();) {
        const QString target = it.next().captured(1);
        EXPECT_TRUE(html.contains(QStringLiteral("name=\"%1\"").arg(target))) << target.toStdString();
    }
}

TEST_F(HelpTest, TheCommandsOpenOneViewerAtTheirTopics)
{
    showHelpContents();
    QWidget *window = helpWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(shownAnchor(), QStringLiteral("contents"));
    EXPECT_TRUE(helpBrowser()->toPlainText().contains(QStringLiteral("Plumora Help")));

    showHelpIndex();
    EXPECT_EQ(shownAnchor(), QStringLiteral("index"));
    showHowToUseHelp();
    EXPECT_EQ(shownAnchor(), QStringLiteral("howto"));
    for (int context : kHelpContexts) {
        EXPECT_TRUE(showHelpContext(context)) << context;
        EXPECT_EQ(shownAnchor(), helpAnchor(context));
    }
    // A number without a topic shows the contents.
    EXPECT_FALSE(showHelpContext(4242));
    EXPECT_EQ(shownAnchor(), QStringLiteral("contents"));
    EXPECT_EQ(helpWindow(), window);
}

TEST_F(HelpTest, F1FindsTheNearestHelpContext)
{
    QWidget window;
    auto *page = new QWidget(&window);
    auto *field = new QWidget(page);
    setHelpContext(&window, 5);
    EXPECT_EQ(helpContext(field), 5);
    setHelpContext(page, 1010);
    EXPECT_EQ(helpContext(field), 1010);
    setHelpContext(field, 1020);
    EXPECT_EQ(helpContext(field), 1020);
    EXPECT_EQ(helpContext(nullptr), 0);

    showHelpFor(field);
    EXPECT_EQ(shownAnchor(), helpAnchor(1020));
    showHelpFor(nullptr);
    EXPECT_EQ(shownAnchor(), QStringLiteral("contents"));
}

TEST_F(HelpTest, AMissingHelpFileIsAnError)
{
    setHelpFile(QStringLiteral("/nonexistent/plumora.html"));
    EXPECT_THROW(showHelpContents(), PlumoraError);
}

// --- Shell ------------------------------------------------------------------

TEST(Shell, AddressesGoToTheInstalledOpener)
{
    QStringList opened;
    setAddressOpener([&opened](const QString &address) {
        opened << address;
        return true;
    });
    EXPECT_TRUE(openAddress(QStringLiteral("http://www.quorvant.example")));
    EXPECT_TRUE(openAddress(QStringLiteral("mailto:info@quorvant.example")));
    setAddressOpener({});
    EXPECT_EQ(opened,
        QStringList({ QStringLiteral("http://www.quorvant.example"),
            QStringLiteral("mailto:info@quorvant.example") }));
    // Without an opener, an address that is no URL is refused before the desktop sees it.
    EXPECT_FALSE(openAddress(QStringLiteral("http://[broken")));
}

} // namespace
