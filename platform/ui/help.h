#pragma once
// The help viewer: one window with an HTML browser over the program's help
// file, reused by every help command. The file holds a topic for each help
// context number (anchor "context-<n>") and the sections "contents", "index"
// and "howto".
//
// Controls carry their help context as a number (setHelpContext); F1 shows
// the topic of the focused control or of the nearest parent that has one.
#include <QString>

class QTextBrowser;
class QWidget;

namespace plumora::ui {

// The help file: the one set with setHelpFile, else the first that exists of
// <program folder>/help/plumora.html, <program folder>/../share/plumora/help/plumora.html
// and plumora/help/plumora.html in the XDG data folders. Empty when none exists.
QString helpFile();
// Sets the help file explicitly; an empty path returns to the search above.
void setHelpFile(const QString &path);

// The anchor of a help context's topic.
QString helpAnchor(int context);

// Each opens the viewer (creating it on first use) at its topic, brings it to
// the front and returns. They raise PlumoraError when there is no help file.
void showHelpContents();
void showHelpIndex();
void showHowToUseHelp();
// Returns false, showing the contents instead, when the file has no topic
// for the context.
bool showHelpContext(int context);
// The topic of the widget's help context (see helpContext), else the contents.
void showHelpFor(const QWidget *widget);

// Help contexts of controls, kept in the dynamic property "helpContext":
// 0 means none.
void setHelpContext(QWidget *widget, int context);
// The widget's own help context, or the nearest parent's; 0 when none has one.
int helpContext(const QWidget *widget);

// The viewer window and its browser while they exist (null before the first
// help command); for tests.
QWidget *helpWindow();
QTextBrowser *helpBrowser();

} // namespace plumora::ui
