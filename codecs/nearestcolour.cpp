#include "nearestcolour.h"

#include <algorithm>
#include <climits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Each box, when first asked, lists the palette colours that can be nearest
// somewhere in it, taken from its parent's list: a colour is left out when
// even its nearest point of the box is farther than the farthest point is
// from some other colour. Short lists are searched; a longer one is split
// among the box's children, which hold fewer. Boxes are numbered in Morton
// order (the bits of red, green and blue interleaved), so a box's parent is
// its number shifted by three bits.

namespace {

// A box is split when its list fills more blocks than this. Below the top,
// splitting pays only for longer lists: a box has eight children to list.
constexpr std::uint32_t kMaxBlocks[NearestColour::kLevels] = { 1, 1, 2, 2, 64 };
// Every list fills at least this many blocks (padded with its first colour),
// so that most searches take the same path.
constexpr std::uint32_t kLeafBlocks = 2;

using Block = NearestColour::Block;

void setLane(Block &block, int lane, int r, int g, int b, int index)
{
    block.redGreen[2 * lane] = std::int16_t(r);
    block.redGreen[2 * lane + 1] = std::int16_t(g);
    block.blue[2 * lane] = std::int16_t(b);
    block.blue[2 * lane + 1] = 0;
    block.index[lane] = index;
}

void copyLane(Block &to, int toLane, const Block &from, int fromLane)
{
    setLane(to, toLane, from.redGreen[2 * fromLane], from.redGreen[2 * fromLane + 1], from.blue[2 * fromLane],
        from.index[fromLane]);
}

#if defined(__SSE2__)
#if defined(__GNUC__)
// Written with vector extensions so that the compiler picks the one
// instruction SSE4.1 has for it where it may.
typedef int Lanes __attribute__((vector_size(16)));
__m128i minimum(__m128i a, __m128i b)
{
    const Lanes x = Lanes(a), y = Lanes(b);
    return __m128i(x < y ? x : y);
}
#else
__m128i minimum(__m128i a, __m128i b)
{
    const __m128i less = _mm_cmplt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(less, a), _mm_andnot_si128(less, b));
}
#endif

int horizontalMinimum(__m128i v)
{
    v = minimum(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = minimum(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(v);
}

__m128i load(const std::int16_t *lanes)
{
    return _mm_load_si128(reinterpret_cast<const __m128i *>(lanes));
}

// Squared distances of a block's four colours, from per-channel differences
// in (red, green) and (blue, 0) pairs.
__m128i distances(__m128i redGreen, __m128i blue)
{
    return _mm_add_epi32(_mm_madd_epi16(redGreen, redGreen), _mm_madd_epi16(blue, blue));
}
#endif

} // namespace

NearestColour::NearestColour(const std::vector<std::array<int, 3>> &palette, int depth)
{
    for (int v = 0; v < 256; ++v) {
        std::uint32_t spread = 0;
        for (int bit = 0; bit < 8; ++bit)
            spread |= std::uint32_t((v >> bit) & 1) << (3 * bit);
        m_spread[std::size_t(v)] = spread;
    }
    for (int level = 0; level < std::min(depth, kTables); ++level)
        m_tables[std::size_t(level)].assign(std::size_t(1) << (6 + 3 * level), kUnbuilt);
    m_eight = m_tables[kTables - 1].data();

    // Room for the lists a photograph needs, so they are seldom moved.
    m_blocks.reserve(std::size_t(1) << 14);
    m_lists.reserve(std::size_t(1) << 12);
    const auto length = std::uint32_t(palette.size());
    m_blocks.resize((length + 3) / 4);
    for (std::uint32_t k = 0; k < m_blocks.size() * 4; ++k) {
        const auto &c = palette[k < length ? k : 0];
        setLane(m_blocks[k / 4], int(k % 4), c[0], c[1], c[2], int(k < length ? k : 0));
    }
    m_lists.push_back({ 0, length });
}

std::vector<std::uint8_t> NearestColour::candidates(std::uint32_t box) const
{
    std::uint32_t first = box >> kBlockShift;
    std::uint32_t length = (box & ((1u << kBlockShift) - 1)) * 4;
    if (box & kSplit) {
        first = m_lists[box & ~kSplit].block;
        length = m_lists[box & ~kSplit].length;
    }
    std::vector<std::uint8_t> indexes(length);
    for (std::uint32_t k = 0; k < length; ++k)
        indexes[k] = std::uint8_t(m_blocks[first + k / 4].index[k % 4]);
    // A colour is listed once; what follows is padding.
    while (indexes.size() > 1 && indexes.back() == indexes.front())
        indexes.pop_back();
    return indexes;
}

// Mapping a picture is where the time goes: it is compiled a second time
// for processors with SSE4.1 (a minimum in one instruction instead of four),
// picked when the program loads (GCC only: clang leaves the clones of a
// member function unresolved at link time).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("default", "sse4.1")))
#endif
void NearestColour::map(const std::uint32_t *colours, std::uint8_t *indexes, int count)
{
    // In two steps over a few colours at a time: first the boxes, then the
    // searches, so that the lookups of many colours are under way at once.
    constexpr int kChunk = 64;
    std::array<std::uint32_t, kChunk> leaves;
    std::uint32_t last = 0xFFFFFFFF;
    std::uint8_t index = 0;
    for (int start = 0; start < count; start += kChunk) {
        const int n = std::min(kChunk, count - start);
        const std::uint32_t *chunk = colours + start;
        for (int i = 0; i < n; ++i)
            leaves[std::size_t(i)] = leaf(chunk[i] & 0xFFFFFF);
        for (int i = 0; i < n; ++i) {
            const std::uint32_t rgb = chunk[i] & 0xFFFFFF;
            if (rgb != last) {
                last = rgb;
                index = search(leaves[std::size_t(i)], rgb);
            }
            indexes[start + i] = index;
        }
    }
}

// The listed box around a colour, to search.
[[gnu::always_inline]] inline std::uint32_t NearestColour::leaf(std::uint32_t rgb)
{
    const std::uint32_t code = morton(rgb);
    // Most colours fall in a box already listed: of 8 units, or of 4 where
    // the palette is crowded. (An unlisted box reads as split.)
    std::uint32_t box = m_eight[code >> 9];
    if ((box & kSplit) && box != kUnbuilt)
        box = m_children[(box & ~kSplit) + ((code >> 6) & 7)];
    if (box == kUnbuilt)
        box = resolve(rgb, code, kLevels - 1);
    return box;
}

// Distance and palette index in one key: the smallest key is the nearest
// colour, the first of equals, found without a branch.
[[gnu::always_inline]] inline std::uint8_t NearestColour::search(std::uint32_t leaf, std::uint32_t rgb) const
{
    const Block *block = m_blocks.data() + (leaf >> kBlockShift);
    const Block *const end = block + (leaf & ((1u << kBlockShift) - 1));
    const int r = int(rgb >> 16) & 0xFF, g = int(rgb >> 8) & 0xFF, b = int(rgb) & 0xFF;
#if defined(__SSE2__)
    const __m128i redGreen = _mm_set1_epi32(r | (g << 16));
    const __m128i blue = _mm_set1_epi32(b);
    auto key = [&](const Block &at) {
        const __m128i distance
            = distances(_mm_sub_epi16(load(at.redGreen), redGreen), _mm_sub_epi16(load(at.blue), blue));
        return _mm_or_si128(
            _mm_slli_epi32(distance, 8), _mm_load_si128(reinterpret_cast<const __m128i *>(at.index)));
    };
    // Every leaf fills at least kLeafBlocks blocks: searched without a loop
    // whose length is hard to foresee.
    __m128i best = minimum(key(block[0]), key(block[1]));
    for (block += kLeafBlocks; block < end; ++block)
        best = minimum(best, key(*block));
    return std::uint8_t(horizontalMinimum(best));
#else
    std::int32_t best = INT_MAX;
    for (; block < end; ++block) {
        for (int k = 0; k < 4; ++k) {
            const int dr = block->redGreen[2 * k] - r, dg = block->redGreen[2 * k + 1] - g;
            const int db = block->blue[2 * k] - b;
            best = std::min(best, ((dr * dr + dg * dg + db * db) << 8) | block->index[k]);
        }
    }
    return std::uint8_t(best);
#endif
}

// The box of level `last` around the colour, listing the boxes above it
// first where needed. A box below a leaf takes over the leaf.
std::uint32_t NearestColour::resolve(std::uint32_t rgb, std::uint32_t code, int last)
{
    std::uint32_t list = 0; // the list the next box is built from
    std::uint32_t box = kUnbuilt;
    for (int depth = 0; depth <= last; ++depth) {
        if (depth == kTables && !(box & kSplit))
            break; // the boxes of 4 units below a leaf are not kept
        std::uint32_t &entry = depth < kTables
            ? m_tables[std::size_t(depth)][code >> (3 * (kLevels + 1 - depth))]
            : m_children[(box & ~kSplit) + ((code >> 6) & 7)];
        if (depth == kTables)
            list = m_childList[(box & ~kSplit) / 8];
        if (entry == kUnbuilt) {
            if (depth > 0 && !(box & kSplit)) {
                entry = box;
            } else {
                const std::uint32_t number = build(m_lists[list], rgb, depth);
                const List &made = m_lists[number];
                const std::uint32_t blocks = (made.length + 3) / 4;
                if (blocks <= kMaxBlocks[depth]) {
                    entry = (made.block << kBlockShift) | std::max(blocks, kLeafBlocks);
                    // The boxes of 8 units inside a larger leaf take it
                    // over now (they are numbered together), so that
                    // colours there find it at once.
                    if (depth < kTables - 1 && !m_tables[kTables - 1].empty()) {
                        const int shift = 3 * (kTables - 1 - depth);
                        const std::size_t start = std::size_t(code >> (3 * (kLevels + 1 - depth))) << shift;
                        std::fill_n(m_eight + start, std::size_t(1) << shift, entry);
                    }
                } else if (depth + 1 < kTables) {
                    entry = number | kSplit;
                } else {
                    // The children of a box of 8 units sit together.
                    entry = std::uint32_t(m_children.size()) | kSplit;
                    m_children.resize(m_children.size() + 8, kUnbuilt);
                    m_childList.push_back(number);
                }
            }
        }
        box = entry;
        if (box & kSplit)
            list = box & ~kSplit;
    }
    return box;
}

// Drops from a list (in its place) every colour that another colour of the
// list beats everywhere in the box. For colours c and o, |x - o|^2 - |x - c|^2
// = sum over the channels of d (2 x - o - c) with d = c - o: linear in the
// point x, so largest at the corner where each x is high for d > 0 and low
// otherwise; when even that is below zero, c is never nearest in the box. In
// a crowded part of the palette this halves the lists of small boxes. Only
// done where it can save a block: a search reads at least kLeafBlocks.
std::uint32_t NearestColour::dropDominated(
    std::uint32_t first, std::uint32_t length, const std::array<int, 3> &low, int side)
{
    Block *blocks = m_blocks.data() + first;
    const std::uint32_t count = (length + 3) / 4;
    const std::array<int, 3> high { low[0] + side - 1, low[1] + side - 1, low[2] + side - 1 };
    std::array<bool, 256> beaten {};
    for (std::uint32_t k = 0; k < length; ++k) {
        const Block &own = blocks[k / 4];
        const int lane = int(k % 4);
        const int c[3] = { own.redGreen[2 * lane], own.redGreen[2 * lane + 1], own.blue[2 * lane] };
#if defined(__SSE2__)
        const __m128i cRG = _mm_set1_epi32(c[0] | (c[1] << 16)), cB = _mm_set1_epi32(c[2]);
        const __m128i lowRG = _mm_set1_epi32(low[0] | (low[1] << 16)), lowB = _mm_set1_epi32(low[2]);
        const __m128i highRG = _mm_set1_epi32(high[0] | (high[1] << 16)), highB = _mm_set1_epi32(high[2]);
        const __m128i zero = _mm_setzero_si128();
        auto part = [&](__m128i o, __m128i cc, __m128i lo, __m128i hi) {
            const __m128i d = _mm_sub_epi16(cc, o);
            const __m128i up = _mm_cmpgt_epi16(d, zero);
            const __m128i x = _mm_or_si128(_mm_and_si128(up, hi), _mm_andnot_si128(up, lo));
            return _mm_madd_epi16(d, _mm_sub_epi16(_mm_sub_epi16(_mm_add_epi16(x, x), o), cc));
        };
        for (std::uint32_t b = 0; b < count && !beaten[k]; ++b) {
            const __m128i most = _mm_add_epi32(part(load(blocks[b].redGreen), cRG, lowRG, highRG),
                part(load(blocks[b].blue), cB, lowB, highB));
            int below = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmplt_epi32(most, zero)));
            if (b == k / 4)
                below &= ~(1 << lane); // not against itself
            if (b + 1 == count && length % 4)
                below &= (1 << (length % 4)) - 1; // nor against padding
            beaten[k] = below != 0;
        }
#else
        for (std::uint32_t j = 0; j < length && !beaten[k]; ++j) {
            if (j == k)
                continue;
            const Block &other = blocks[j / 4];
            const int o[3]
                = { other.redGreen[2 * (j % 4)], other.redGreen[2 * (j % 4) + 1], other.blue[2 * (j % 4)] };
            int most = 0;
            for (int i = 0; i < 3; ++i) {
                const int d = c[i] - o[i];
                const int x = d > 0 ? high[std::size_t(i)] : low[std::size_t(i)];
                most += d * (2 * x - o[i] - c[i]);
            }
            beaten[k] = most < 0;
        }
#endif
    }
    std::uint32_t kept = 0;
    for (std::uint32_t k = 0; k < length; ++k) {
        if (!beaten[k]) {
            copyLane(blocks[kept / 4], int(kept % 4), blocks[k / 4], int(k % 4));
            ++kept;
        }
    }
    return kept;
}

// The colours of the parent list that can be nearest somewhere in the box
// of the given level around the colour, in palette order.
std::uint32_t NearestColour::build(const List &parent, std::uint32_t rgb, int depth)
{
    const int side = 64 >> depth;
    const int lowR = int(rgb >> 16) & 0xFF & -side, lowG = int(rgb >> 8) & 0xFF & -side,
              lowB = int(rgb) & 0xFF & -side;
    const int highR = lowR + side - 1, highG = lowG + side - 1, highB = lowB + side - 1;
    const std::uint32_t blocks = (parent.length + 3) / 4;
    // The new list is never longer than its parent: room for it now keeps
    // the parent's blocks in place while it is written.
    const auto first = std::uint32_t(m_blocks.size());
    if (m_blocks.capacity() < first + blocks)
        m_blocks.reserve(std::max(2 * m_blocks.capacity(), std::size_t(first + blocks)));
    m_blocks.resize(first + blocks);
    const Block *from = m_blocks.data() + parent.block;
    Block *to = m_blocks.data() + first;
    std::uint32_t length = 0;
    // Every lane is copied; only a kept one moves the end on.
    auto keep = [&](const Block &block, int lane, bool kept) {
        copyLane(to[length / 4], int(length % 4), block, lane);
        length += kept;
    };

#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi32(lowR | (lowG << 16)), high = _mm_set1_epi32(highR | (highG << 16));
    const __m128i lowBlue = _mm_set1_epi32(lowB), highBlue = _mm_set1_epi32(highB);
    const __m128i zero = _mm_setzero_si128();
    // The smallest farthest-point distance. (Padding repeats a colour.)
    __m128i reach = _mm_set1_epi32(INT_MAX);
    for (std::uint32_t k = 0; k < blocks; ++k) {
        const __m128i rg = load(from[k].redGreen), b = load(from[k].blue);
        reach = minimum(reach,
            distances(_mm_max_epi16(_mm_sub_epi16(rg, low), _mm_sub_epi16(high, rg)),
                _mm_max_epi16(_mm_sub_epi16(b, lowBlue), _mm_sub_epi16(highBlue, b))));
    }
    const __m128i limit = _mm_set1_epi32(horizontalMinimum(reach));
    for (std::uint32_t k = 0; k < blocks; ++k) {
        const __m128i rg = load(from[k].redGreen), b = load(from[k].blue);
        const __m128i gapRG = _mm_add_epi16(
            _mm_max_epi16(_mm_sub_epi16(low, rg), zero), _mm_max_epi16(_mm_sub_epi16(rg, high), zero));
        const __m128i gapB = _mm_add_epi16(
            _mm_max_epi16(_mm_sub_epi16(lowBlue, b), zero), _mm_max_epi16(_mm_sub_epi16(b, highBlue), zero));
        const int far = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(distances(gapRG, gapB), limit)));
        const std::uint32_t lanes = std::min<std::uint32_t>(4, parent.length - 4 * k);
        for (std::uint32_t lane = 0; lane < lanes; ++lane)
            keep(from[k], int(lane), !(far & (1 << lane)));
    }
#else
    auto square = [](int v) { return v * v; };
    auto farthest = [](int c, int low, int high) { return std::max(c - low, high - c); };
    auto gap = [](int c, int low, int high) { return std::max(low - c, 0) + std::max(c - high, 0); };
    int reach = INT_MAX;
    for (std::uint32_t k = 0; k < parent.length; ++k) {
        const Block &block = from[k / 4];
        const int lane = int(k % 4);
        const int r = block.redGreen[2 * lane], g = block.redGreen[2 * lane + 1], b = block.blue[2 * lane];
        reach = std::min(reach,
            square(farthest(r, lowR, highR)) + square(farthest(g, lowG, highG))
                + square(farthest(b, lowB, highB)));
    }
    for (std::uint32_t k = 0; k < parent.length; ++k) {
        const Block &block = from[k / 4];
        const int lane = int(k % 4);
        const int r = block.redGreen[2 * lane], g = block.redGreen[2 * lane + 1], b = block.blue[2 * lane];
        keep(block, lane,
            square(gap(r, lowR, highR)) + square(gap(g, lowG, highG)) + square(gap(b, lowB, highB)) <= reach);
    }
#endif
    if (depth >= 3 && length > 4 * kLeafBlocks)
        length = dropDominated(first, length, { lowR, lowG, lowB }, side);
    const std::uint32_t stored = std::max((length + 3) / 4, kLeafBlocks);
    m_blocks.resize(first + stored);
    for (std::uint32_t k = length; k < 4 * stored; ++k)
        copyLane(m_blocks[first + k / 4], int(k % 4), m_blocks[first], 0);
    m_lists.push_back({ first, length });
    return std::uint32_t(m_lists.size() - 1);
}
