#pragma once
// Decoder for GIF's variable-length-code LZW image data.
#include <QByteArray>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class GifLzwDecoder
{
public:
    enum class Status {
        Complete, // ended on the end code, or every row was written
        Corrupt, // a string longer than the table allows; rows so far are kept
        EndOfData, // the data ran out before the end code
    };

    // Decodes `encoded` (code-size byte, then length-prefixed sub-blocks) into
    // one byte per pixel. `colorDepth` (1..8) sets the literal limit: a code is
    // a literal when it is at most 2^colorDepth - 1. Rows are `stride` bytes
    // apart, top row first; with `interlaced` they are filled in GIF's
    // four-pass order. Raises EInvalidGraphicOperation for a code size outside
    // 2..9. `progress` (may be empty) gets the percentage of data consumed.
    Status decode(const QByteArray &encoded, int colorDepth, std::uint8_t *pixels, qsizetype stride,
        int width, int height, bool interlaced, const std::function<void(int)> &progress = {});

private:
    std::array<std::uint16_t, 4096> m_prefix {};
    std::array<std::uint8_t, 4096> m_suffix {};
    std::array<std::uint8_t, 4097> m_stack {};
    // Per entry: whether its string is in the output, where and how long.
    std::array<std::uint8_t, 4096> m_valid {};
    std::array<std::uint8_t, 4096> m_stable {};
    std::array<std::uint32_t, 4096> m_start {};
    std::array<std::uint16_t, 4096> m_length {};
    QByteArray m_data; // the sub-blocks' bytes, joined
    std::vector<std::uint8_t> m_out; // pixels in the order they are decoded
};
