#pragma once
// Decoder for GIF's variable-length-code LZW image data.
#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class GifLzwDecoder
{
public:
    GifLzwDecoder();

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
    // `progress` (may be empty) gets the percentage of the data consumed when
    // it changes, at most once per 4 KB of data; it may throw to cancel.
    //
    // One decoder may decode any number of pictures, one after another; it
    // keeps its tables and buffers between them.
    Status decode(QByteArrayView encoded, int colorDepth, std::uint8_t *pixels, qsizetype stride, int width,
        int height, bool interlaced, const std::function<void(int)> &progress = {});

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
        qsizetype slack = 0; // bytes after the run that may be written over
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

    // The bit stream, least significant bit first. Eight bytes are loaded at
    // a time; the bits above `count` then already hold the following bytes,
    // so loading them again is harmless. The joined data is followed by zero
    // bytes, so a load near its end stays inside the buffer.
    struct BitReader
    {
        std::uint64_t buffer = 0;
        int count = 0;
        const std::uint8_t *in = nullptr;
        const std::uint8_t *end = nullptr;
        const std::uint8_t *progressAt = nullptr; // where the percentage next changes
    };
    // Takes the next code; false when the data runs out first. Reports
    // progress when the percentage of data consumed changes.
    [[gnu::always_inline]] inline bool takeCode(BitReader &bits, int width, std::uint32_t mask, int &code);

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

    // Per table entry: its prefix code, where its string lies (in the output,
    // or for literals in m_literals), and packed metadata: length, first and
    // last pixel, and whether the string may be copied from there.
    // (Not cleared on construction: a decode clears what it reads first.)
    std::array<std::uint16_t, 4096> m_prefix;
    std::array<const std::uint8_t *, 4096> m_string;
    std::array<std::uint32_t, 4096> m_meta;
    std::array<std::uint8_t, 4097 + 16> m_stack; // a string, and room for chunked reads past it
    std::array<std::uint8_t, 256 + 16> m_literals {}; // byte i holds i
    int m_dirty = 4096; // entries below this may hold values of an earlier picture
    // The literal entries set up: codes below m_literalCount, pixel bits m_literalMask.
    int m_literalCount = 0;
    int m_literalMask = 0;
    // A buffer that grows as needed without clearing what it holds.
    struct Buffer
    {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t size = 0;
        std::uint8_t *reserve(std::size_t needed);
    };
    Buffer m_data; // the sub-blocks' bytes, joined, plus zero padding
    Rows m_rows;
    // A small picture whose rows are not one run (padded or interlaced) is
    // decoded as one run into m_scratch and then copied into m_target's rows.
    Buffer m_scratch;
    Rows m_target;
    // Progress of the current picture.
    const std::function<void(int)> *m_progress = nullptr;
    const std::uint8_t *m_joined = nullptr;
    qsizetype m_joinedSize = 0;
    int m_lastPercent = -1;
};
