// The about box and its link label: its elements and texts, the logo, the link's
// colours under the mouse and the address a click hands to the desktop.
#include "app/aboutbox.h"
#include "app/urllabel.h"
#include "platform/ui/shell.h"
#include "support/controls.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr TColor kBlue = RGBColor(0, 0, 255);
constexpr TColor kRed = RGBColor(255, 0, 0);

// Records the addresses handed to the desktop instead of opening them.
class AddressCapture
{
public:
    AddressCapture()
    {
        plumora::ui::setAddressOpener([this](const QString &address) {
            opened << address;
            return true;
        });
    }
    ~AddressCapture() { plumora::ui::setAddressOpener({}); }
    QStringList opened;
};

TEST(AboutBox, ShowsItsElementsInsideThePanel)
{
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About"));
    auto *panel = control<QFrame>(box, "bevelPanel");
    EXPECT_EQ(control<QWidget>(box, "programIcon")->parentWidget(), panel);
    auto *version = control<QLabel>(box, "versionLabel");
    EXPECT_EQ(version->text(), QStringLiteral("Version 0.97 Beta"));
    EXPECT_FALSE(version->autoFillBackground());
    auto *copyright = control<QLabel>(box, "copyrightLabel");
    EXPECT_EQ(copyright->text(), QStringLiteral("Copyright \u00A9 2026 Quorvant"));
    auto *link = control<TURLLabel>(box, "webAddressLabel");
    EXPECT_EQ(link->parentWidget(), panel);
    EXPECT_EQ(link->text(), QStringLiteral("www.quorvant.example"));
    EXPECT_EQ(link->HTTPorMail(), hmHTTP);
    // The texts fit inside the panel.
    for (QWidget *w : std::initializer_list<QWidget *> { version, copyright, link })
        EXPECT_TRUE(QRect(QPoint(), panel->size()).contains(w->geometry())) << w->objectName().toStdString();

    auto *ok = control<QPushButton>(box, "okButton");
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
    ok->click();
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(AboutBox, TheLogoIsA228By81GifDrawnWithItsTransparency)
{
    const QByteArray logo = TAboutBox::logoGif();
    ASSERT_FALSE(logo.isEmpty());
    EXPECT_TRUE(logo.startsWith("GIF8"));

    TAboutBox box;
    TGIFImage &picture = control<TGIFPictureBox>(box, "programIcon")->Picture();
    ASSERT_EQ(picture.FrameCount(), 1);
    EXPECT_EQ(picture.ScreenWidth(), 228);
    EXPECT_EQ(picture.ScreenHeight(), 81);
    const TColor key = picture.Frames(0).TransparentColor;
    ASSERT_NE(key, clNone);
    const TBitmap &frame = picture.Frames(0).DecodedBitmap();
    ASSERT_EQ(frame.pixelColor(0, 0), key); // the corner is background

    // Where the logo is transparent the panel shows through; elsewhere the
    // logo's own pixels are drawn.
    const QImage shown = box.grab().toImage();
    EXPECT_NE(fromQRgb(shown.pixel(8 + 4, 8 + 4)), key);
    int drawn = 0;
    for (int y = 0; y < 81; ++y)
        for (int x = 0; x < 228; ++x) {
            const TColor c = frame.pixelColor(x, y);
            if (c != key && fromQRgb(shown.pixel(12 + x, 12 + y)) == c)
                ++drawn;
        }
    EXPECT_GT(drawn, 1000);
}

TEST(URLLabel, StartsAsABlueUnderlinedLinkWithAPointingHand)
{
    TURLLabel label;
    EXPECT_EQ(label.HTTPorMail(), hmHTTP);
    EXPECT_EQ(label.URLColStd(), kBlue);
    EXPECT_EQ(label.URLColPre(), kRed);
    EXPECT_EQ(label.fontColor(), kBlue);
    EXPECT_TRUE(label.font().underline());
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);

    // A new rest colour shows at once; a new press colour waits for a press.
    label.setURLColStd(RGBColor(0, 128, 0));
    EXPECT_EQ(label.fontColor(), RGBColor(0, 128, 0));
    label.setURLColPre(RGBColor(1, 2, 3));
    EXPECT_EQ(label.fontColor(), RGBColor(0, 128, 0));
}

TEST(URLLabel, TakesThePressColourOnlyForTheLeftButton)
{
    AddressCapture capture;
    TURLLabel label;
    label.setText(QStringLiteral("www.quorvant.example"));
    label.adjustSize();
    const QPoint inside = label.rect().center();

    QTest::mousePress(&label, Qt::RightButton, {}, inside);
    EXPECT_EQ(label.fontColor(), kBlue);
    QTest::mouseRelease(&label, Qt::RightButton, {}, inside);
    EXPECT_EQ(label.fontColor(), kBlue);
    EXPECT_TRUE(capture.opened.isEmpty());

    QTest::mousePress(&label, Qt::LeftButton, {}, inside);
    EXPECT_EQ(label.fontColor(), kRed);
    // Releasing any button gives the rest colour back.
    QTest::mouseRelease(&label, Qt::RightButton, {}, inside);
    EXPECT_EQ(label.fontColor(), kBlue);
    QTest::mouseRelease(&label, Qt::LeftButton, {}, inside);
    EXPECT_EQ(label.fontColor(), kBlue);
}

TEST(URLLabel, AClickOpensTheWebOrMailAddress)
{
    AddressCapture capture;
    TURLLabel label;
    QSignalSpy clicked(&label, &TURLLabel::clicked);
    label.setText(QStringLiteral("www.quorvant.example"));
    label.adjustSize();
    QTest::mouseClick(&label, Qt::LeftButton, {}, label.rect().center());
    EXPECT_EQ(clicked.count(), 1);

    label.setHTTPorMail(hmMAIL);
    label.setText(QStringLiteral("info@quorvant.example"));
    label.adjustSize();
    QTest::mouseClick(&label, Qt::LeftButton, {}, label.rect().center());

    // A press that is released away from the label is no click.
    QTest::mousePress(&label, Qt::LeftButton, {}, label.rect().center());
    QTest::mouseRelease(&label, Qt::LeftButton, {}, label.rect().bottomRight() + QPoint(20, 20));

    EXPECT_EQ(capture.opened,
        QStringList({ QStringLiteral("http://www.quorvant.example"),
            QStringLiteral("mailto:info@quorvant.example") }));
}

TEST(URLLabel, TheAddressKeepsWithinItsEightyCharacterBuffer)
{
    const QString fits(72, QLatin1Char('a'));
    EXPECT_EQ(TURLLabel::buildAddress(hmHTTP, fits), QStringLiteral("http://") + fits);
    EXPECT_EQ(TURLLabel::buildAddress(hmMAIL, fits), QStringLiteral("mailto:") + fits);
    const QString longer = fits + QStringLiteral("bcdef");
    EXPECT_EQ(TURLLabel::buildAddress(hmHTTP, longer), QStringLiteral("http://") + fits);
    EXPECT_EQ(TURLLabel::buildAddress(hmHTTP, longer).size(), 79);
    // A character outside the basic plane is not cut in half.
    const QString emoji = QString(71, QLatin1Char('a')) + QStringLiteral("\U0001F600");
    EXPECT_EQ(
        TURLLabel::buildAddress(hmHTTP, emoji), QStringLiteral("http://") + QString(71, QLatin1Char('a')));
    EXPECT_EQ(TURLLabel::buildAddress(hmHTTP, QString()), QStringLiteral("http://"));
}

} // namespace
