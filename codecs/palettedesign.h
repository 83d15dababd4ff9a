#pragma once
// Choosing the colours of a reduced palette from a picture's counted colours.
#include <array>
#include <cstddef>
#include <vector>

// The counted colours of a picture: for each, the mean colour (red, green,
// blue in 0..255) of the pixels it stands for, and how many they are.
struct WeightedColours
{
    std::vector<std::array<float, 3>> colour;
    std::vector<float> weight;
    std::size_t size() const { return colour.size(); }
};

// At most `count` (1..256) palette colours for the counted colours, each
// channel rounded to 0..255, the most used first. The colours are first cut into `count` groups, each cut
// where it lowers the squared error most, so that a small group of colours far from the rest gets entries of
// its own however few pixels it has; then each palette colour moves to the mean of the colours nearest to it,
// until that settles (k-means). Fewer colours come back only when there are fewer counted colours to tell
// apart.
std::vector<std::array<int, 3>> DesignPalette(const WeightedColours &colours, int count);
