// The frame import dialog: the choice marked by the fields' colours, fields
// that tick their choice when used, the answer read on OK, and the shared
// instance that remembers the last answer.
#include "editor/frameimportdialog.h"
#include "platform/ui/dialogs.h"

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
    EXPECT_EQ(dialog.btnFrameCount->isChecked(), countActive);
    EXPECT_EQ(dialog.btnFrameWidth->isChecked(), !countActive);
    EXPECT_EQ(fieldColour(dialog.spinFrameCount), countActive ? windowColour() : buttonFace());
    EXPECT_EQ(fieldColour(dialog.spinFrameWidth), countActive ? buttonFace() : windowColour());
}

} // namespace

TEST(FrameImportDialog, StartsWithTheFrameCount)
{
    TfrmFrameImport dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Import Frames"));
    EXPECT_EQ(dialog.size(), QSize(250, 214));
    EXPECT_EQ(dialog.Label3->text(), QStringLiteral("Please input one of the following values..."));
    EXPECT_EQ(dialog.Button1->text(), QStringLiteral("O&K"));
    EXPECT_TRUE(dialog.Button1->isDefault());
    EXPECT_EQ(dialog.spinFrameCount->value(), 1);
    EXPECT_EQ(dialog.spinFrameWidth->value(), 1);
    expectActive(dialog, true);
    EXPECT_EQ(dialog.Choice().mode, TFrameSplit::FrameCount);
    EXPECT_EQ(dialog.Choice().value, 1);
}

TEST(FrameImportDialog, UsingAFieldTicksItsChoice)
{
    TfrmFrameImport dialog;
    dialog.show();
    dialog.btnFrameWidth->click();
    expectActive(dialog, false);
    dialog.spinFrameCount->setValue(7); // a change
    expectActive(dialog, true);
    QTest::mouseClick(dialog.spinFrameWidth->findChild<QLineEdit *>(), Qt::LeftButton); // a click
    expectActive(dialog, false);
    // Typing: only whole numbers from 1 are taken.
    QLineEdit *edit = dialog.spinFrameWidth->findChild<QLineEdit *>();
    edit->selectAll();
    QTest::keyClicks(edit, "-3");
    dialog.spinFrameWidth->interpretText();
    EXPECT_GE(dialog.spinFrameWidth->value(), 1);
    dialog.spinFrameWidth->setValue(0);
    EXPECT_EQ(dialog.spinFrameWidth->value(), 1);
    edit->selectAll();
    QTest::keyClicks(edit, "120");
    EXPECT_EQ(dialog.Choice().mode, TFrameSplit::FrameWidth);
    EXPECT_EQ(dialog.Choice().value, 120);
    EXPECT_EQ(dialog.spinFrameCount->value(), 7); // both values are kept
}

TEST(FrameImportDialog, SharedInstanceAnswersAndRemembers)
{
    TfrmFrameImport &dialog = frmFrameImport();
    EXPECT_EQ(&dialog, &frmFrameImport());
    int shown = 0;
    plumora::ui::setDialogResponder([&](QDialog &d) -> int {
        ++shown;
        EXPECT_EQ(&d, &dialog);
        if (shown == 1) {
            dialog.spinFrameWidth->setValue(45);
            return QDialog::Accepted;
        }
        return shown == 2 ? QDialog::Accepted : QDialog::Rejected;
    });
    const auto first = dialog.Ask();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->mode, TFrameSplit::FrameWidth);
    EXPECT_EQ(first->value, 45);
    // The next import offers the same choice and value.
    const auto second = frmFrameImport().Ask();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->mode, TFrameSplit::FrameWidth);
    EXPECT_EQ(second->value, 45);
    EXPECT_FALSE(frmFrameImport().Ask()); // Cancel
    plumora::ui::setDialogResponder({});
    dialog.btnFrameCount->setChecked(true); // leave the shared instance as it started
    dialog.spinFrameCount->setValue(1);
    dialog.spinFrameWidth->setValue(1);
    dialog.btnFrameCount->setChecked(true);
}
