#pragma once
// Where the parts of a gesture file lie: the magic "ZQAG0100", a tagline of
// at most 255 bytes after its length byte, a 42-byte header, and the button
// GIF, the animation strip GIF and, with the audio flag, the WAV, each a
// block after a 16-bit length (most significant byte first) and followed by
// a two-byte end marker. The gesture reader and the command-line tool both
// find the parts here, so the file's layout is written down once.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

class QIODevice;

inline constexpr char kGestureMagic[] = "ZQAG0100";
inline constexpr int kGestureHeaderSize = 42;

// The flags, header byte 3.
inline constexpr std::uint8_t gfLoop = 0x01;
inline constexpr std::uint8_t gfReverse = 0x02;
inline constexpr std::uint8_t gfTransparent = 0x04;
inline constexpr std::uint8_t gfAudio = 0x08;
inline constexpr std::uint8_t gfAudioOnce = 0x10;

struct GestureBlock
{
    qint64 offset = 0; // of the block's first byte, after its length field
    int length = 0;
};

// Each part is set once the walk found it whole inside the file; the walk
// stops at the first part that is not, and says why in problem.
struct GestureLayout
{
    bool hasStart = false; // the magic's place and the tagline length byte
    bool magicMatches = false;
    std::optional<QByteArray> tagline;
    std::optional<QByteArray> header; // kGestureHeaderSize bytes
    std::optional<GestureBlock> button;
    std::optional<GestureBlock> animation;
    std::optional<GestureBlock> sound; // only with gfAudio
    // Where the file ends or what is wrong, for messages; empty when every
    // part lies inside the file.
    QString problem;

    std::uint8_t flags() const { return header ? std::uint8_t((*header)[3]) : 0; }
};

// Locates the parts of the gesture file on a random-access device. Reads
// only the magic, the tagline, the header and the length fields; never
// throws.
GestureLayout WalkGestureLayout(QIODevice &file);

// The bytes of a block the walk located; EStreamError when they cannot be
// read.
QByteArray ReadGestureBlock(QIODevice &file, const GestureBlock &block);
