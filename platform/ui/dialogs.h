#pragma once
// The seam through which every modal dialog of the program runs: message
// boxes, file dialogs, the colour dialog and the program's own dialogs.
// Normally a dialog is simply exec'd; tests install a responder that answers
// each dialog without showing it, so no test ever blocks on a modal window.
#include <QMessageBox>
#include <QString>

#include <functional>

class QDialog;
class QWidget;

namespace plumora::ui {

// Runs a dialog modally and returns its result (QDialog::Accepted or
// Rejected; for a QMessageBox the StandardButton pressed).
int execDialog(QDialog &dialog);

// A message box with the given caption, icon and buttons; returns the
// button pressed.
QMessageBox::StandardButton messageBox(QWidget *parent, const QString &caption, const QString &text,
    QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// The application's error display: a box captioned "Plumora" with the error
// icon and OK, showing the message with a full stop appended when its last
// character sorts after '.' (so letters and digits get one, "." and "!" not).
void showError(const QString &message);
// The text showError shows for a message.
QString errorText(const QString &message);

// Test support. The responder receives each dialog instead of it being
// shown (a QMessageBox with its text and buttons set up; a file dialog that
// the responder may point at a file with selectFile) and returns the result.
using DialogResponder = std::function<int(QDialog &dialog)>;
void setDialogResponder(DialogResponder responder);
bool hasDialogResponder();

} // namespace plumora::ui
