#include "triview/pseudo_color.hpp"

#include <cstdint>

namespace triview {

namespace {

// Segment 16777216 selects the table's last row for intensities above the range.
constexpr long long above_range_segment = 0x1000000;

void write_segment(std::uint8_t* out, long long segment, std::uint8_t f) {
  const auto rev = static_cast<std::uint8_t>(255 - f);
  std::uint8_t b = f, g = f, r = f;
  switch (segment) {
    case 0:
      b = 0, g = 0, r = f;
      break;
    case 1:
      b = f, g = 0, r = 255;
      break;
    case 2:
      b = 255, g = 0, r = rev;
      break;
    case 3:
      b = rev, g = f, r = 0;
      break;
    case 4:
      b = f, g = 255, r = 0;
      break;
    case 5:
      b = rev, g = 255, r = f;
      break;
    case 6:
      b = f, g = 255, r = 255;
      break;
    case 7:
      b = 255, g = rev, r = rev;
      break;
    default:
      break;
  }
  out[0] = b;
  out[1] = g;
  out[2] = r;
}

color_table build_table() {
  color_table table{};
  for (int v = 0; v < 256; ++v) {
    std::uint8_t bgr[3];
    pseudo_color(bgr, v, 256);
    table[static_cast<std::size_t>(v)] = static_cast<std::uint32_t>(bgr[0]) |
                                         static_cast<std::uint32_t>(bgr[1]) << 8 |
                                         static_cast<std::uint32_t>(bgr[2]) << 16;
  }
  return table;
}

}  // namespace

void pseudo_color(std::uint8_t* out, int v, int levels) {
  // The single-precision step and scale are what make 18 map to 94, not 95.
  const auto step = static_cast<float>(levels / 7);
  if (step <= 0.0f) {
    out[0] = out[1] = out[2] = 0;
    return;
  }
  const auto scale = static_cast<float>(static_cast<double>(step) * (1.0 / 190.0));
  long long segment = 0;
  if (v > levels) {
    segment = above_range_segment;
  } else if (v >= 0) {
    segment = static_cast<long long>(static_cast<float>(v) / step);
  }
  const double offset =
      static_cast<double>(v) - static_cast<double>(segment) * static_cast<double>(step);
  // Only the low 8 bits of the truncated quotient count; 64 bits hold every int input.
  const auto f =
      static_cast<std::uint8_t>(static_cast<long long>(offset / static_cast<double>(scale)));
  write_segment(out, segment, f);
}

const color_table& pseudo_color_table() {
  static const color_table table = build_table();
  return table;
}

}  // namespace triview
