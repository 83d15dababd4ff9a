#pragma once
// The about box: the program's logo, version, copyright line and a link to
// the maker's web address. Each About command makes a new one and shows it
// modally; it closes with OK. Each control's object name is its member name.
#include "codecs/gifimage.h"

#include <QDialog>
#include <QFrame>

class QLabel;
class QPushButton;
class TURLLabel;

// A picture control showing the current frame of a GIF, drawn with its
// transparent colour left out.
class TGIFPictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit TGIFPictureBox(QWidget *parent = nullptr);
    TGIFImage &Picture() { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TGIFImage m_picture;
};

class TAboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutBox(QWidget *owner = nullptr);

    // The logo GIF as shipped with the program: from the program's
    // resources, else logo.gif beside the program; empty when neither is there.
    static QByteArray logoGif();

private:
    QFrame *bevelPanel = nullptr;
    TGIFPictureBox *programIcon = nullptr;
    QLabel *versionLabel = nullptr;
    QLabel *copyrightLabel = nullptr;
    TURLLabel *webAddressLabel = nullptr;
    QPushButton *okButton = nullptr;
};
