// The frame import dialog: the choice marked by the fields' colours, fields
// that tick their choice when used, and the answer read on OK.
#include "editor/frameimportdialog.h"
#include "platform/ui/dialogs.h"
#include "support/controls.h"
#include "support/textfit.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QColor fieldColour(QSpinBox *field)
{
    return field->palette().color(QPalette::Base);
}

QColor windowColour()
{
    return QApplication::palette().color(QPalette::Base);
}
QColor buttonFace()
{
    return QApplication::palette().color(QPalette::Button);
}

void expectActive(TfrmFrameImport &dialog, bool countActive)
{
    EXPECT_EQ(control<QRadioButton>(dialog, "frameCountRadio")->isChecked(), countActive);
    EXPECT_EQ(control<QRadioButton>(dialog, "frameWidthRadio")->isChecked(), !countActive);
    EXPECT_EQ(fieldColour(control<QSpinBox>(dialog, "frameCountSpin")),
        countActive ? windowColour() : buttonFace());
    EXPECT_EQ(fieldColour(control<QSpinBox>(dialog, "frameWidthSpin")),
        countActive ? buttonFace() : windowColour());
}

} // namespace

TEST(FrameImportDialog, StartsWithTheFrameCount)
{
    TfrmFrameImport dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Import Frames"));
    EXPECT_GE(dialog.width(), 250);
    EXPECT_GE(dialog.height(), 214);
    EXPECT_EQ(control<QLabel>(dialog, "promptLabel")->text(),
        QStringLiteral("Please input one of the following values..."));
    EXPECT_EQ(control<QPushButton>(dialog, "okButton")->text(), QStringLiteral("O&K"));
    EXPECT_TRUE(control<QPushButton>(dialog, "okButton")->isDefault());
    EXPECT_EQ(control<QSpinBox>(dialog, "frameCountSpin")->value(), 1);
    EXPECT_EQ(control<QSpinBox>(dialog, "frameWidthSpin")->value(), 1);
    expectActive(dialog, true);
    EXPECT_EQ(dialog.Choice().mode, TFrameSplit::FrameCount);
    EXPECT_EQ(dialog.Choice().value, 1);
}

TEST(FrameImportDialog, UsingAFieldTicksItsChoice)
{
    TfrmFrameImport dialog;
    dialog.show();
    control<QRadioButton>(dialog, "frameWidthRadio")->click();
    expectActive(dialog, false);
    control<QSpinBox>(dialog, "frameCountSpin")->setValue(7); // a change
    expectActive(dialog, true);
    QTest::mouseClick(
        control<QSpinBox>(dialog, "frameWidthSpin")->findChild<QLineEdit *>(), Qt::LeftButton); // a click
    expectActive(dialog, false);
    // Typing: only whole numbers from 1 are taken.
    QLineEdit *edit = control<QSpinBox>(dialog, "frameWidthSpin")->findChild<QLineEdit *>();
    edit->selectAll();
    QTest::keyClicks(edit, "-3");
    control<QSpinBox>(dialog, "frameWidthSpin")->interpretText();
    EXPECT_GE(control<QSpinBox>(dialog, "frameWidthSpin")->value(), 1);
    control<QSpinBox>(dialog, "frameWidthSpin")->setValue(0);
    EXPECT_EQ(control<QSpinBox>(dialog, "frameWidthSpin")->value(), 1);
    edit->selectAll();
    QTest::keyClicks(edit, "120");
    EXPECT_EQ(dialog.Choice().mode, TFrameSplit::FrameWidth);
    EXPECT_EQ(dialog.Choice().value, 120);
    EXPECT_EQ(control<QSpinBox>(dialog, "frameCountSpin")->value(), 7); // both values are kept
}

// Typed into the field of the chosen option as the dialog opens: the text
// follows each key, and Enter takes the typed value. No caption is cut, even
// in a large font.
TEST(FrameImportDialog, TypedValueAndEnterGiveTheSplitShown)
{
    struct Case
    {
        QSize picture;
        bool byWidth; // the option chosen before the dialog opens
        const char *typed;
        TFrameSplit expected;
        const char *text;
    };
    const Case cases[] = {
        { QSize(300, 60), false, "5", { TFrameSplit::FrameCount, 5 }, "5 frames of 60 x 60" },
        { QSize(100, 40), false, "3", { TFrameSplit::FrameCount, 3 }, "3 frames of 33 x 40" },
        { QSize(500, 100), true, "120", { TFrameSplit::FrameWidth, 120 }, "4 frames of 120 x 100" },
        { QSize(300, 60), true, "400", { TFrameSplit::FrameWidth, 400 }, "1 frame of 300 x 60" },
    };
    // A font twice the usual size for the whole program, as a user's
    // settings might give.
    const QFont usual = QApplication::font();
    QFont large = usual;
    large.setPointSize(usual.pointSize() * 2);
    QApplication::setFont(large);
    struct Restore
    {
        QFont font;
        ~Restore() { QApplication::setFont(font); }
    } restore { usual };
    TfrmFrameImport dialog;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        (c.byWidth ? control<QRadioButton>(dialog, "frameWidthRadio")
                   : control<QRadioButton>(dialog, "frameCountRadio"))
            ->setChecked(true);
        QString shown;
        plumora::ui::setDialogResponder([&](QDialog &d) -> int {
            d.show();
            QWidget *field = d.focusWidget();
            auto *expected = control<QSpinBox>(dialog, c.byWidth ? "frameWidthSpin" : "frameCountSpin");
            EXPECT_TRUE(field == expected || expected->isAncestorOf(field));
            if (!field)
                return int(QDialog::Rejected);
            EXPECT_EQ(CutTexts(&d).join(QLatin1Char('\n')).toStdString(), "");
            QTest::keyClicks(field, QString::fromLatin1(c.typed));
            shown = control<QLabel>(dialog, "splitLabel")->text();
            QTest::keyClick(field, Qt::Key_Return);
            d.hide();
            return d.result();
        });
        const auto answer = dialog.Ask(c.picture);
        plumora::ui::setDialogResponder({});
        EXPECT_EQ(shown, QString::fromLatin1(c.text));
        EXPECT_EQ(control<QLabel>(dialog, "pictureSizeLabel")->text(),
            QStringLiteral("Picture: %1 x %2 pixels").arg(c.picture.width()).arg(c.picture.height()));
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->mode, c.expected.mode);
        EXPECT_EQ(answer->value, c.expected.value);
    }
}
