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

    // Decodes `encoded` (code-size byte m, then length-prefixed sub-blocks)
    // straight into 8-bit pixel rows `stride` bytes apart, top row first,
    // filled in GIF's four-pass order when `interlaced`. Codes below the
    // clear code 2^m are literals; a pixel keeps the low `colorDepth` bits
    // (1..8) of its value, so it always indexes the colour table in force.
    // Every byte of the rows is written: pixels the data does not reach, and
    // the bytes between a row's last pixel and the next row, become 0.
    // Raises EInvalidGraphicOperation for a code size outside 2..9.
    // `progress` (may be empty) gets the percentage of the data consumed each
    // time it changes; it may throw to cancel.
    //
    // One decoder may decode any number of pictures, one after another; it
    // keeps its tables and buffers between them.
    Status decode(const QByteArray &encoded, int colorDepth, std::uint8_t *pixels, qsizetype stride,
        int width, int height, bool interlaced, const std::function<void(int)> &progress = {});

private:
    // Where output goes next: the row being written and the rows after it
    // in GIF's order. Only touched at the end of a row.
    struct Rows
    {
        std::uint8_t *pixels = nullptr;
        qsizetype stride = 0;
        int width = 0;
        int height = 0;
        bool interlaced = false;
        bool linear = false; // one run of width * height bytes, no row breaks
        int y = 0;
        int pass = 0;
    };
    // The output cursor while decoding: next byte, end of the current run of
    // pixels, and the limit below which a string may be copied in chunks
    // (the chunks may spill past its end but stay in rows written later).
    struct Cursor
    {
        std::uint8_t *d = nullptr;
        std::uint8_t *end = nullptr;
        std::uint8_t *fast = nullptr;
    };

    Cursor startRow();
    // Moves to the next row; false when every row has been written.
    bool nextRow(Cursor &cursor);
    // Writes a string that reaches the end of its run or lies too close to
    // it for chunked copies, across rows as needed. Returns false when the
    // last row was completed.
    bool putSlow(Cursor &cursor, const std::uint8_t *s, int n);
    // Zeroes what the data did not reach, and the bytes between rows.
    void finish(Cursor cursor, bool complete);
    const std::uint8_t *reportProgress(const std::uint8_t *in);

    // Per table entry: prefix code, and packed (start of the string in the
    // output, its length, last pixel, flags).
    std::array<std::uint16_t, 4096> m_prefix {};
    std::array<std::uint64_t, 4096> m_entry {};
    std::array<std::uint8_t, 4097 + 16> m_stack {}; // a string, and room for chunked reads past it
    int m_dirty = 4096; // entries below this may hold values of an earlier picture
    std::vector<std::uint8_t> m_data; // the sub-blocks' bytes, joined, plus zero padding
    Rows m_rows;
    // Progress of the current picture.
    const std::function<void(int)> *m_progress = nullptr;
    const std::uint8_t *m_joined = nullptr;
    qsizetype m_joinedSize = 0;
    int m_lastPercent = -1;
};
