#pragma once
// Frames on the clipboard and pictures brought in from elsewhere. Several
// frames travel as a list of pictures in a clipboard type of our own, the
// first also as a plain picture for other programs; a plain picture (or the
// encoded bytes of one) pastes as one frame. Whatever comes in is fitted to
// the frame size before it becomes a frame.
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QVector>

class QMimeData;

// True when the clipboard holds a picture of any kind: a bitmap Qt can hand
// over directly, or data under an image MIME type (GIF, icon, metafile, SVG
// and the like). Paste is offered for all of them; one that cannot be read
// as a bitmap fails when pasted.
bool ClipboardOffersPicture();
// The clipboard data for frames (new; the clipboard takes it).
QMimeData *FramesMimeData(const QVector<QImage> &pictures);
// The frames of our own type on the clipboard; empty when it holds none or
// they do not read. No more are read than a gesture can hold, and each
// picture is read with Qt's allocation limit.
QList<QImage> ClipboardFrames();
// The clipboard's picture as a bitmap. Some platforms hand over only the
// encoded bytes of an image type; those that Qt's image readers know are
// decoded here. Anything else is refused with the bitmap reader's message.
QImage ClipboardBitmap();
// A pasted picture made ready for a frame list of the given frame size. A
// picture of exactly that size goes in as it is; any other is scaled to fit
// inside the frame, keeping its proportions, and centred on white. Scaling
// picks nearest pixels so that no new colours appear: a blended edge would no
// longer match the transparent colour. Translucent pictures are laid on white
// first, since frames have no alpha channel.
QImage FitToFrame(const QImage &picture, QSize frame);
// A picture file dropped on the frames: GIF (its first frame), JPEG and BMP
// through the program's own readers, anything else through Qt's. Throws
// PlumoraError when it does not read.
QImage ReadDroppedPicture(const QString &path);
