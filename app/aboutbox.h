#pragma once
// The about box (aboutbox.ui): the program's logo, version, copyright line
// and a link to the maker's web address. Each About command makes a new one
// and shows it modally; it closes with OK.
#include "codecs/gifimage.h"

#include <QDialog>
#include <QFrame>

#include <memory>

namespace Ui {
class TAboutBox;
}

// A panel with a lowered outer and a raised inner bevel, one pixel each.
class TBevelPanel : public QFrame
{
    Q_OBJECT

public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent *event) override;
};

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
    ~TAboutBox() override;

    // The logo GIF as shipped with the program: from the program's
    // resources, else logo.gif beside the program; empty when neither is there.
    static QByteArray logoGif();

private:
    std::unique_ptr<Ui::TAboutBox> ui;
};
