#include "zqlayout.h"

#include "platform/errors.h"

#include <QIODevice>

GestureLayout WalkGestureLayout(QIODevice &file)
{
    GestureLayout layout;
    const qint64 size = file.size();
    // Reads `count` bytes at `at`, or records which part the file ends in.
    auto readAt = [&](qint64 at, qint64 count, const char *part) -> std::optional<QByteArray> {
        if (at + count > size) {
            layout.problem = QStringLiteral("the file ends inside the %1 (it has %2 bytes; the %1 needs "
                                            "bytes %3 to %4)")
                                 .arg(QLatin1String(part))
                                 .arg(size)
                                 .arg(at)
                                 .arg(at + count - 1);
            return std::nullopt;
        }
        if (!file.seek(at)) {
            layout.problem = QStringLiteral("cannot seek to byte %1").arg(at);
            return std::nullopt;
        }
        QByteArray bytes = file.read(count);
        if (bytes.size() != count) {
            layout.problem = QStringLiteral("cannot read the %1").arg(QLatin1String(part));
            return std::nullopt;
        }
        return bytes;
    };
    // A 16-bit length and the block after it.
    auto blockAt = [&](qint64 at, const char *lengthPart, const char *part) -> std::optional<GestureBlock> {
        const auto length = readAt(at, 2, lengthPart);
        if (!length)
            return std::nullopt;
        const GestureBlock block { at + 2, (std::uint8_t((*length)[0]) << 8) | std::uint8_t((*length)[1]) };
        if (block.offset + block.length > size) {
            readAt(block.offset, block.length, part);
            return std::nullopt;
        }
        return block;
    };

    const auto start = readAt(0, 9, "magic and tagline length");
    if (!start)
        return layout;
    layout.hasStart = true;
    if (!start->startsWith(QByteArray(kGestureMagic, 8))) {
        layout.problem
            = QStringLiteral("the file does not start with \"%1\"").arg(QLatin1String(kGestureMagic));
        return layout;
    }
    layout.magicMatches = true;
    const int taglineLength = std::uint8_t((*start)[8]);
    layout.tagline = taglineLength > 0 ? readAt(9, taglineLength, "tagline") : QByteArray();
    if (!layout.tagline)
        return layout;
    layout.header = readAt(9 + taglineLength, kGestureHeaderSize, "header");
    if (!layout.header)
        return layout;
    layout.button = blockAt(9 + taglineLength + kGestureHeaderSize, "button block length", "button picture");
    if (!layout.button)
        return layout;
    layout.animation
        = blockAt(layout.button->offset + layout.button->length + 2, "animation block length", "animation");
    if (!layout.animation || !(layout.flags() & gfAudio))
        return layout;
    layout.sound
        = blockAt(layout.animation->offset + layout.animation->length + 2, "sound block length", "sound");
    return layout;
}

QByteArray ReadGestureBlock(QIODevice &file, const GestureBlock &block)
{
    if (!file.seek(block.offset))
        throw EStreamError(plumora::streamReadError());
    QByteArray bytes = file.read(block.length);
    if (bytes.size() != block.length)
        throw EStreamError(plumora::streamReadError());
    return bytes;
}
