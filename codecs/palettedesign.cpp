#include "palettedesign.h"

#include "nearestcolour.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <unordered_map>

namespace {

float distance2(const std::array<float, 3> &a, const std::array<float, 3> &b)
{
    const float d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
    return d0 * d0 + d1 * d1 + d2 * d2;
}

std::array<int, 3> rounded(const std::array<float, 3> &c)
{
    return { std::clamp(int(std::lround(c[0])), 0, 255), std::clamp(int(std::lround(c[1])), 0, 255),
        std::clamp(int(std::lround(c[2])), 0, 255) };
}

// ---------------------------------------------------------------------------
// Cutting the colours into groups. A group is a run of the colours in
// `order`; it is cut in two along one channel, between two values of it (in
// whole levels), where the two halves' squared errors (about their means)
// add up least. The group whose cut lowers the error most is cut next, so
// distant colours part early, however few pixels they have: their error
// grows with the square of the distance. Each colour weighs here as the
// square root of its pixels, so that a small object of its own colour (a
// ball on a meadow, a logo) gets entries before the large areas get ever
// finer shades; the k-means that follows weighs true pixel counts.

// Sums over a group: weight, and per channel the weighted colours. The
// squared error of a group is its weighted sum of squares less
// |sum|^2 / weight; the squares are the same however a group is cut, so a
// cut lowers the error by what it adds to |sum|^2 / weight.
struct Moments
{
    double weight = 0;
    std::array<double, 3> sum {};

    void add(const Moments &other)
    {
        weight += other.weight;
        for (std::size_t k = 0; k < 3; ++k)
            sum[k] += other.sum[k];
    }
    double spread() const { return (sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]) / weight; }
};

struct Group
{
    std::uint32_t begin = 0, end = 0; // its colours in `order`
    Moments moments;
    // The best cut: colours whose channel `axis` is below `cut` (in whole
    // levels) go first. An axis of -1: the group cannot be cut.
    int axis = -1;
    int cut = 0;
    double gain = -1; // how much the cut lowers the squared error
};

class Cutter
{
public:
    explicit Cutter(const WeightedColours &colours)
        : m_order(colours.size()), m_points(colours.size()), m_bins(3)
    {
        std::iota(m_order.begin(), m_order.end(), 0u);
        for (std::size_t i = 0; i < colours.size(); ++i) {
            Point &p = m_points[i];
            p.moments.weight = std::sqrt(double(colours.weight[i]));
            for (std::size_t k = 0; k < 3; ++k) {
                p.moments.sum[k] = p.moments.weight * colours.colour[i][k];
                p.level[k] = std::uint8_t(std::clamp(int(colours.colour[i][k]), 0, 255));
            }
        }
    }

    // The mean colours of at most `count` groups.
    std::vector<std::array<float, 3>> cut(int count)
    {
        std::vector<Group> groups;
        groups.push_back(make(0, std::uint32_t(m_order.size())));
        while (int(groups.size()) < count) {
            std::size_t best = 0;
            for (std::size_t g = 1; g < groups.size(); ++g)
                if (groups[g].gain > groups[best].gain)
                    best = g;
            const Group group = groups[best];
            if (group.axis < 0)
                break;
            const auto middle = std::partition(m_order.begin() + group.begin, m_order.begin() + group.end,
                [&](std::uint32_t i) { return m_points[i].level[std::size_t(group.axis)] < group.cut; });
            const auto split = std::uint32_t(middle - m_order.begin());
            groups[best] = make(group.begin, split);
            groups.push_back(make(split, group.end));
        }
        std::vector<std::array<float, 3>> means;
        for (const Group &group : groups) {
            const Moments &m = group.moments;
            if (m.weight > 0)
                means.push_back(
                    { float(m.sum[0] / m.weight), float(m.sum[1] / m.weight), float(m.sum[2] / m.weight) });
        }
        return means;
    }

private:
    struct Point
    {
        Moments moments; // weighed as the square root of its pixels
        std::array<std::uint8_t, 3> level; // its channels in whole levels
    };

    // A group of the colours order[begin..end), with its best cut.
    Group make(std::uint32_t begin, std::uint32_t end)
    {
        Group group;
        group.begin = begin;
        group.end = end;
        if (begin == end)
            return group;
        std::array<int, 3> low { 255, 255, 255 }, high { 0, 0, 0 };
        for (std::uint32_t k = begin; k < end; ++k) {
            const Point &p = m_points[m_order[k]];
            group.moments.add(p.moments);
            for (std::size_t a = 0; a < 3; ++a) {
                const int v = p.level[a];
                m_bins[a][std::size_t(v)].add(p.moments);
                low[a] = std::min(low[a], v);
                high[a] = std::max(high[a], v);
            }
        }
        const double whole = group.moments.spread();
        double most = whole;
        for (std::size_t a = 0; a < 3; ++a) {
            Moments first;
            for (int v = low[a]; v < high[a]; ++v) {
                const Moments &bin = m_bins[a][std::size_t(v)];
                if (bin.weight <= 0)
                    continue; // the same cut as after the last level taken
                first.add(bin);
                Moments rest = group.moments;
                rest.weight -= first.weight;
                for (std::size_t k = 0; k < 3; ++k)
                    rest.sum[k] -= first.sum[k];
                const double spread = first.spread() + rest.spread();
                if (spread > most) {
                    most = spread;
                    group.axis = int(a);
                    group.cut = v + 1;
                }
            }
            std::fill(m_bins[a].begin() + low[a], m_bins[a].begin() + high[a] + 1, Moments {});
        }
        if (group.axis >= 0)
            group.gain = most - whole;
        return group;
    }

    std::vector<std::uint32_t> m_order;
    std::vector<Point> m_points;
    // Per channel, the sums of each level; all zero between groups.
    std::vector<std::array<Moments, 256>> m_bins;
};

// ---------------------------------------------------------------------------
// Refining the palette: every counted colour, standing for its pixels by its
// mean colour and weight, goes to its nearest palette colour, and each
// palette colour moves to the mean of what went to it, until nothing changes
// (k-means). Palette colours move locally, so each counted colour only looks
// at the palette colours that could be nearest around it at the start.

// Refinement rounds at most; few pictures need them all.
constexpr int kRefineRounds = 12;
// The box size (16 units) whose candidate colours an entry looks at.
constexpr int kCandidateLevel = 2;

// Moves the centres as described above; returns the weight each ends with.
std::vector<double> refine(const WeightedColours &points, std::vector<std::array<float, 3>> &centres)
{
    const std::size_t pointCount = points.size();
    std::vector<std::array<int, 3>> start(centres.size());
    std::transform(centres.begin(), centres.end(), start.begin(), rounded);
    NearestColour nearest(start, kCandidateLevel + 1);
    // Entries in one box share its list of candidates.
    std::vector<std::uint8_t> candidates;
    std::vector<std::uint32_t> first; // each list's candidates start here
    std::vector<std::uint32_t> listOf(pointCount);
    std::unordered_map<std::uint32_t, std::uint32_t> known; // box to list
    for (std::size_t i = 0; i < pointCount; ++i) {
        const std::array<int, 3> at = rounded(points.colour[i]);
        const std::uint32_t box
            = nearest.box((std::uint32_t(at[0]) << 16) | (std::uint32_t(at[1]) << 8) | std::uint32_t(at[2]),
                kCandidateLevel);
        const auto [place, added] = known.emplace(box, std::uint32_t(first.size()));
        if (added) {
            first.push_back(std::uint32_t(candidates.size()));
            const std::vector<std::uint8_t> indexes = nearest.candidates(box);
            candidates.insert(candidates.end(), indexes.begin(), indexes.end());
        }
        listOf[i] = place->second;
    }
    const std::size_t lists = first.size();
    first.push_back(std::uint32_t(candidates.size()));

    // Each entry keeps an upper bound on the distance to its palette colour
    // and a lower bound on the distance to any other candidate; while the
    // one stays below the other as the colours move, it is not searched.
    std::vector<int> owner(pointCount, 0);
    std::vector<float> upper(pointCount), lower(pointCount);
    auto search = [&](std::size_t i) {
        float best = INFINITY, second = INFINITY;
        int index = 0;
        for (std::uint32_t k = first[listOf[i]]; k < first[listOf[i] + 1]; ++k) {
            // Without branches: which colour is nearest is anyone's guess.
            const float d = distance2(points.colour[i], centres[candidates[k]]);
            index = d < best ? candidates[k] : index;
            second = std::min(second, std::max(best, d));
            best = std::min(best, d);
        }
        upper[i] = std::sqrt(best);
        lower[i] = std::sqrt(second);
        return index;
    };
    // Weighted sums of the entries going to each colour, kept up to date as
    // entries change hands.
    std::vector<std::array<double, 4>> sums(centres.size(), { 0, 0, 0, 0 });
    auto move = [&](std::size_t i, int from, int to) {
        const float w = points.weight[i];
        for (int k = 0; k < 3; ++k) {
            const double part = double(points.colour[i][std::size_t(k)]) * w;
            if (from >= 0)
                sums[std::size_t(from)][std::size_t(k)] -= part;
            sums[std::size_t(to)][std::size_t(k)] += part;
        }
        if (from >= 0)
            sums[std::size_t(from)][3] -= w;
        sums[std::size_t(to)][3] += w;
    };
    for (std::size_t i = 0; i < pointCount; ++i) {
        owner[i] = search(i);
        move(i, -1, owner[i]);
    }
    // The lists each colour is in (from inFirst[j] to inFirst[j + 1] in
    // `in`): after the first rounds few colours move, and only their lists
    // need a new farthest move.
    std::vector<std::uint32_t> inFirst(centres.size() + 1, 0), in(candidates.size());
    for (const std::uint8_t c : candidates)
        ++inFirst[c + 1u];
    std::partial_sum(inFirst.begin(), inFirst.end(), inFirst.begin());
    std::vector<std::uint32_t> next(inFirst.begin(), inFirst.end() - 1);
    for (std::uint32_t l = 0; l < lists; ++l)
        for (std::uint32_t k = first[l]; k < first[l + 1]; ++k)
            in[next[candidates[k]]++] = l;
    std::vector<float> moved(centres.size());
    std::vector<float> farthest(lists); // the farthest move among a list's colours
    for (int round = 0; round < kRefineRounds; ++round) {
        std::fill(farthest.begin(), farthest.end(), 0.0f);
        for (std::size_t j = 0; j < centres.size(); ++j) {
            const auto &s = sums[j];
            const std::array<float, 3> before = centres[j];
            if (s[3] > 0.5)
                centres[j] = { float(s[0] / s[3]), float(s[1] / s[3]), float(s[2] / s[3]) };
            moved[j] = std::sqrt(distance2(before, centres[j]));
            if (moved[j] > 0)
                for (std::uint32_t k = inFirst[j]; k < inFirst[j + 1]; ++k)
                    farthest[in[k]] = std::max(farthest[in[k]], moved[j]);
        }
        bool changed = false;
        for (std::size_t i = 0; i < pointCount; ++i) {
            const int a = owner[i];
            upper[i] += moved[std::size_t(a)];
            lower[i] -= farthest[listOf[i]];
            if (upper[i] <= lower[i])
                continue;
            upper[i] = std::sqrt(distance2(points.colour[i], centres[std::size_t(a)]));
            if (upper[i] <= lower[i])
                continue;
            const int index = search(i);
            if (index != a) {
                move(i, a, index);
                owner[i] = index;
                changed = true;
            }
        }
        if (!changed)
            break;
    }
    std::vector<double> weights(centres.size());
    for (std::size_t j = 0; j < centres.size(); ++j) {
        const auto &s = sums[j];
        if (s[3] > 0.5)
            centres[j] = { float(s[0] / s[3]), float(s[1] / s[3]), float(s[2] / s[3]) };
        weights[j] = s[3];
    }
    return weights;
}

} // namespace

std::vector<std::array<int, 3>> DesignPalette(const WeightedColours &colours, int count)
{
    if (colours.size() == 0 || count < 1)
        return {};
    std::vector<std::array<float, 3>> centres = Cutter(colours).cut(std::min(count, 256));
    const std::vector<double> weights = refine(colours, centres);
    // The most used first; equals in the order the groups were made.
    std::vector<std::size_t> order(centres.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(
        order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return weights[a] > weights[b]; });
    std::vector<std::array<int, 3>> palette;
    for (const std::size_t j : order)
        palette.push_back(rounded(centres[j]));
    return palette;
}
