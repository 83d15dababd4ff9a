#pragma once
// The nearest palette colour of a colour, exactly and quickly when asked for
// many colours, as when a picture is mapped to its reduced palette.
#include <array>
#include <cstdint>
#include <vector>

class NearestColour
{
public:
    // Colour space is cut into boxes of 64, 32, 16, 8 and 4 units a side,
    // levels 0 to 4.
    static constexpr int kLevels = 5;

    // At most 256 colours, each (red, green, blue) in 0..255. Boxes will be
    // asked for down to `depth` levels.
    explicit NearestColour(const std::vector<std::array<int, 3>> &palette, int depth = kLevels);

    // The index of the palette colour nearest to each colour 0x??RRGGBB (the
    // top byte is ignored) by squared distance, the first of equals.
    void map(const std::uint32_t *colours, std::uint8_t *indexes, int count);

    // The box of the given level around a colour: a number that is the same
    // for every colour of the box, and the indexes of the palette colours
    // that can be nearest somewhere in it, in palette order.
    std::uint32_t box(std::uint32_t rgb, int depth) { return resolve(rgb, morton(rgb), depth); }
    std::vector<std::uint8_t> candidates(std::uint32_t box) const;

    // Four colours laid out for comparing them at once: (red, green) and
    // (blue, 0) pairs of 16 bits, and their palette indexes. A list of
    // colours fills whole blocks, at least two, padded with copies of its
    // first colour.
    struct alignas(16) Block
    {
        std::int16_t redGreen[8];
        std::int16_t blue[8];
        std::int32_t index[4];
    };

private:
    // A box holds kUnbuilt; or kSplit and the number of its list when its
    // children hold the lists (for a box of 8 units, where its children
    // start in m_children); or (a leaf) its list's first block and how many
    // blocks it fills.
    static constexpr int kTables = 4; // levels with a table each; the boxes of 4 units sit below
    static constexpr std::uint32_t kUnbuilt = 0xFFFFFFFF;
    static constexpr std::uint32_t kSplit = 0x80000000;
    static constexpr int kBlockShift = 8;

    struct List
    {
        std::uint32_t block, length; // first block, colours
    };

    std::uint32_t morton(std::uint32_t rgb) const
    {
        return (m_spread[(rgb >> 16) & 0xFF] << 2) | (m_spread[(rgb >> 8) & 0xFF] << 1)
            | m_spread[rgb & 0xFF];
    }

    std::uint32_t leaf(std::uint32_t rgb);
    std::uint8_t search(std::uint32_t leaf, std::uint32_t rgb) const;
    std::uint32_t resolve(std::uint32_t rgb, std::uint32_t code, int last);
    std::uint32_t build(const List &parent, std::uint32_t rgb, int depth);
    std::uint32_t dropDominated(
        std::uint32_t first, std::uint32_t length, const std::array<int, 3> &low, int side);

    std::array<std::uint32_t, 256> m_spread {}; // a channel's bits, three apart (Morton order)
    std::array<std::vector<std::uint32_t>, kTables> m_tables; // the boxes of each level
    std::uint32_t *m_eight = nullptr; // the boxes of 8 units
    // The boxes of 4 units, eight for each split box of 8 units, and the
    // list they are built from.
    std::vector<std::uint32_t> m_children;
    std::vector<std::uint32_t> m_childList;
    std::vector<List> m_lists; // list 0 is the whole palette
    std::vector<Block> m_blocks;
};
