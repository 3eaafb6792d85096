#include "triview/pseudo_color.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

using bgr = std::array<int, 3>;

bgr map(int v, int levels = 256) {
  std::uint8_t out[3] = {7, 7, 7};
  triview::pseudo_color(out, v, levels);
  return {out[0], out[1], out[2]};
}

TEST(pseudo_color, telling_values_with_256_levels) {
  const struct {
    int v;
    bgr out;
  } cases[] = {
      {0, {0, 0, 0}},         {18, {0, 0, 94}},       {35, {0, 0, 184}},      {36, {0, 0, 255}},
      {71, {184, 0, 255}},    {72, {255, 0, 255}},    {107, {255, 0, 71}},    {108, {255, 0, 0}},
      {143, {71, 184, 0}},    {144, {0, 255, 0}},     {180, {255, 255, 0}},   {216, {0, 255, 255}},
      {251, {184, 255, 255}}, {252, {255, 255, 255}}, {255, {255, 240, 240}},
  };
  for (const auto& c : cases) EXPECT_EQ(map(c.v), c.out) << "v = " << c.v;
}

// The single-precision scale puts 94.999998 below 95 in every segment.
TEST(pseudo_color, offset_18_in_every_segment_gives_94_not_95) {
  const bgr expected[] = {{0, 0, 94},   {94, 0, 255},   {255, 0, 161}, {161, 94, 0},
                          {94, 255, 0}, {161, 255, 94}, {94, 255, 255}};
  for (int s = 0; s < 7; ++s) EXPECT_EQ(map(36 * s + 18), expected[s]) << "segment " << s;
}

TEST(pseudo_color, top_of_range_and_beyond) {
  EXPECT_EQ(map(256), (bgr{255, 234, 234}));  // v = L still falls in segment 7
  const bgr above = map(257);                 // past L: the grey row
  EXPECT_EQ(above[0], above[1]);
  EXPECT_EQ(above[1], above[2]);
  EXPECT_EQ(map(-1), (bgr{0, 0, 251}));    // segment 0, fraction -5 on 8 bits
  EXPECT_EQ(map(100, 6), (bgr{0, 0, 0}));  // no segment width: black, not a crash
}

TEST(pseudo_color, table_holds_the_map_of_every_byte) {
  const auto& table = triview::pseudo_color_table();
  for (int v = 0; v < 256; ++v) {
    const bgr expected = map(v);
    const std::uint32_t packed = table[static_cast<std::size_t>(v)];
    EXPECT_EQ((bgr{static_cast<int>(packed & 0xFF), static_cast<int>(packed >> 8 & 0xFF),
                   static_cast<int>(packed >> 16 & 0xFF)}),
              expected)
        << "v = " << v;
    EXPECT_EQ(packed >> 24, 0u);
  }
}

}  // namespace
