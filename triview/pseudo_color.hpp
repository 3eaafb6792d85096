#pragma once

#include <array>
#include <cstdint>

namespace triview {

// One intensity as a blue, green, red triple: a piecewise-linear path through
// black, red, magenta, blue, green, cyan, yellow and white over seven equal
// segments of `levels`, plus a short eighth one. 18 with 256 levels => (0, 0, 94).
// Levels below 7 leave no segment width; they give black.
void pseudo_color(std::uint8_t* out, int v, int levels);

// pseudo_color of every byte value with 256 levels, each entry packed as
// blue | green << 8 | red << 16 so a renderer can store it as one word.
using color_table = std::array<std::uint32_t, 256>;
const color_table& pseudo_color_table();

}  // namespace triview
