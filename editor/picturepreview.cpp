#include "picturepreview.h"

#include "codecs/gifanimator.h"
#include "codecs/pictureio.h"
#include "codecs/picturekind.h"
#include "filedialogs.h"
#include "media/clipreader.h"
#include "platform/ui/application.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <QtEndian>

#include <algorithm>

namespace {

// A still picture is kept at most this large, so a large photo does not stay
// in memory at full size while the dialog is open.
constexpr QSize kStillKeptSize(512, 512);

// Frame delays shorter than this are shown this long, as GIF viewers do, so
// a file asking for no delay does not keep the dialog busy.
constexpr int kShortestFrameMs = 20;

// The first bytes of a file, at most size.
QByteArray fileHead(const QString &path, int size)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(size) : QByteArray();
}

// The logical screen size a GIF file declares, from its first ten bytes;
// invalid when the file does not start like a GIF.
QSize gifScreenSize(const QString &path)
{
    const QByteArray head = fileHead(path, 10);
    if (head.size() < 10 || !head.startsWith("GIF"))
        return {};
    const auto *p = reinterpret_cast<const uchar *>(head.constData());
    return QSize(qFromLittleEndian<quint16>(p + 6), qFromLittleEndian<quint16>(p + 8));
}

bool withinBudget(QSize size)
{
    return size.isValid() && qint64(size.width()) * size.height() <= kPicturePreviewMaxPixels;
}

// Where a picture of the given size is drawn in box: scaled down to fit when
// larger, keeping its proportions, and centred.
QRect fittedRect(const QRect &box, QSize picture)
{
    if (picture.isEmpty() || box.isEmpty())
        return {};
    QSize size = picture;
    if (size.width() > box.width() || size.height() > box.height())
        size = size.scaled(box.size(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return QRect(box.left() + (box.width() - size.width()) / 2,
        box.top() + (box.height() - size.height()) / 2, size.width(), size.height());
}

} // namespace

// The pane's drawing surface.
class TPicturePreviewPane::PaintBox : public QWidget
{
public:
    explicit PaintBox(TPicturePreviewPane *pane) : m_pane(pane) { }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(backgroundRole()));
        m_pane->paintPicture(painter, rect());
    }
    // The animation's frame is composed at the new size here, not in paint.
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        m_pane->composeFrame();
    }

private:
    TPicturePreviewPane *m_pane;
};

TPicturePreviewPane::TPicturePreviewPane(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("picturePreviewPane"));
    setAccessibleName(QStringLiteral("Picture"));
    QVBoxLayout *column = SetUpSidePane(*this);

    pictureLabel = new QLabel(this);
    pictureLabel->setObjectName(QStringLiteral("pictureLabel"));
    pictureLabel->setAccessibleName(QStringLiteral("Picture"));
    pictureLabel->setFixedHeight(23);
    pictureLabel->setTextFormat(Qt::PlainText);
    column->addWidget(pictureLabel);

    paintSurface = new PaintBox(this);
    paintSurface->setObjectName(QStringLiteral("paintSurface"));
    paintSurface->setAccessibleName(QStringLiteral("Preview picture"));
    AddPaintPanel(*column, paintSurface);

    frameTimer = new QTimer(this);
    frameTimer->setObjectName(QStringLiteral("frameTimer"));
    frameTimer->setSingleShot(true);
    connect(frameTimer, &QTimer::timeout, this, plumora::ui::guardedCallback([this] { nextFrame(); }));
    Clear();
}

TPicturePreviewPane::~TPicturePreviewPane() = default;

void TPicturePreviewPane::Clear()
{
    frameTimer->stop();
    m_path.clear();
    m_still = QImage();
    m_animation.reset();
    m_size = QSize();
    m_note.clear();
    m_frame = QImage();
    m_frameIndex = -1;
    pictureLabel->clear();
    paintSurface->update();
}

void TPicturePreviewPane::ShowFile(const QString &path)
{
    if (!path.isEmpty() && path == m_path)
        return;
    Clear();
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        try {
            read(path);
        } catch (const std::exception &) {
            // Not shown to the user: the pane just has nothing to show.
            m_still = QImage();
            m_animation.reset();
            m_size = QSize();
        }
    }
    m_path = path;
    if (!m_size.isValid()) {
        pictureLabel->setText(QStringLiteral("Picture:"));
    } else {
        QString caption = QStringLiteral("(%1 x %2)").arg(m_size.width()).arg(m_size.height());
        if (m_animation) {
            const int frames = m_animation->Image().FrameCount();
            caption += frames == 1 ? QStringLiteral(", 1 frame") : QStringLiteral(", %1 frames").arg(frames);
        }
        caption += m_note;
        pictureLabel->setText(caption);
    }
    composeFrame();
    scheduleFrame();
    paintSurface->update();
}

void TPicturePreviewPane::read(const QString &path)
{
    // The reader follows the name where it names one, else the content.
    const TPictureKind kind = PictureKindOf(path);
    const bool gif = kind == TPictureKind::Gif;
    if (gif || kind == TPictureKind::Bmp) {
        // Sized from the header first: a picture beyond the budget shows its
        // size without being decoded.
        m_size = gif ? gifScreenSize(path) : BmpStatedSize(fileHead(path, 26));
        if (!withinBudget(m_size))
            return;
    }
    QImage picture;
    if (kind == TPictureKind::Jpeg || kind == TPictureKind::Qt) {
        // Decoded at a reduced scale when it is large; the size is its own.
        QSize full;
        picture = kind == TPictureKind::Jpeg ? LoadJpeg(path, false, kStillKeptSize, &full).image()
                                             : LoadQtPicture(path, kStillKeptSize, &full).image();
        m_size = full;
    } else if (kind == TPictureKind::Bmp) {
        picture = LoadBmp(path).image();
    } else if (gif) {
        auto animation = std::make_unique<TRxGIFAnimator>();
        animation->Image().ReadFromFile(path);
        if (animation->Image().FrameCount() == 0) {
            m_size = QSize();
            return;
        }
        m_size = QSize(animation->Image().ScreenWidth(), animation->Image().ScreenHeight());
        animation->setAutoSize(false);
        animation->setStretch(true);
        animation->setColor(fromQColor(paintSurface->palette().color(paintSurface->backgroundRole())));
        animation->setLoop(true);
        animation->setFrameIndex(0);
        // Each step decodes a frame, so only pictures small enough to keep
        // the dialog responsive play; a larger one shows its first frame.
        animation->setAnimate(animation->Image().FrameCount() > 1
            && qint64(m_size.width()) * m_size.height() <= kPicturePreviewMaxAnimatedPixels);
        m_animation = std::move(animation);
        return;
    } else if (AnimationSourceOf(path) == TAnimationSource::Clip) {
        // A video clip shows its first picture and its length.
        TClipReader clip(path);
        m_size = clip.FrameSize();
        picture = clip.FrameAt(0, kStillKeptSize);
        if (clip.DurationMs() >= 0)
            m_note
                = QStringLiteral(", %1 s").arg(QString::number(double(clip.DurationMs()) / 1000.0, 'f', 1));
    } else {
        return;
    }
    if (picture.isNull()) {
        m_size = QSize();
        return;
    }
    if (picture.width() > kStillKeptSize.width() || picture.height() > kStillKeptSize.height())
        picture = picture.scaled(kStillKeptSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_still = picture;
}

QString TPicturePreviewPane::Caption() const
{
    return pictureLabel->text();
}

bool TPicturePreviewPane::Animating() const
{
    return m_animation && m_animation->Animate();
}

int TPicturePreviewPane::ShownFrame() const
{
    return m_animation ? std::max(0, m_animation->FrameIndex()) : 0;
}

QImage TPicturePreviewPane::ShownPicture()
{
    const QRect target = fittedRect(paintSurface->rect(), m_size);
    if (m_animation) {
        composeFrame();
        return target.isEmpty() ? QImage() : m_frame;
    }
    if (m_still.isNull() || target.isEmpty())
        return {};
    return m_still.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void TPicturePreviewPane::composeFrame()
{
    const QRect target = fittedRect(paintSurface->rect(), m_size);
    if (!m_animation || target.isEmpty())
        return;
    const int index = ShownFrame();
    if (index == m_frameIndex && m_frame.size() == target.size())
        return;
    try {
        m_animation->setBounds(0, 0, target.width(), target.height());
        m_frame = m_animation->GetFrameBitmap(index).image();
        m_frameIndex = index;
    } catch (const std::exception &) {
        // Not shown to the user, as for a file that does not read: the pane
        // stops at the frame it showed last ("(None)" without one).
        m_animation->setAnimate(false);
        m_animation->Invalidate(); // the composition may have stopped half-way
        frameTimer->stop();
        if (m_frameIndex >= 0 && !m_frame.isNull())
            m_animation->setFrameIndex(m_frameIndex);
        else
            m_frameIndex = index;
    }
}

void TPicturePreviewPane::paintPicture(QPainter &canvas, const QRect &box)
{
    const QRect target = fittedRect(box, m_size);
    const QImage &picture = m_animation ? m_frame : m_still;
    if (target.isEmpty() || picture.isNull()) {
        canvas.drawText(box, Qt::AlignCenter, QStringLiteral("(None)"));
        return;
    }
    // Only what was decoded and composed beforehand is drawn; a frame of
    // another size (the pane was just resized) is drawn scaled.
    if (picture.size() != target.size())
        canvas.setRenderHint(QPainter::SmoothPixmapTransform);
    canvas.drawImage(target, picture);
}

void TPicturePreviewPane::scheduleFrame()
{
    if (Animating())
        frameTimer->start(std::max(m_animation->FrameInterval(), kShortestFrameMs));
}

void TPicturePreviewPane::nextFrame()
{
    if (!Animating())
        return;
    m_animation->Tick();
    composeFrame();
    paintSurface->update();
    scheduleFrame();
}

void TPicturePreviewPane::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    if (!frameTimer->isActive())
        scheduleFrame();
}

void TPicturePreviewPane::hideEvent(QHideEvent *event)
{
    QFrame::hideEvent(event);
    frameTimer->stop();
}

TPicturePreviewPane *AddPicturePreview(QFileDialog &dialog)
{
    auto *pane = new TPicturePreviewPane;
    AddSidePane(dialog, pane);
    FollowCurrentFile(dialog, [pane](const QString &path) { pane->ShowFile(path); });
    return pane;
}
