#include "slicejpeg/window.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace slicejpeg {
namespace {

template <typename Sample>
image_range extremes_of(const std::uint8_t* bytes, std::size_t count) {
  const auto sample_at = [bytes](std::size_t i) {
    return static_cast<Sample>(static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));
  };
  Sample max = sample_at(0), min = max;
  for (std::size_t i = 1; i < count; ++i) {
    max = std::max(max, sample_at(i));
    min = std::min(min, sample_at(i));
  }
  return {static_cast<double>(max), static_cast<double>(min)};
}

}  // namespace

void apply_window_lut(std::span<const std::uint8_t> sample_bytes, const window_lut& lut,
                      std::span<std::uint8_t> out) {
  assert(sample_bytes.size() >= 2 * out.size());
  const std::uint8_t* bytes = sample_bytes.data();
  const std::size_t count = out.size();
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // One 16-bit load per sample and one store per eight: the loop is bound
    // by loads, and this halves them against byte-wise access.
    for (; i + 8 <= count; i += 8) {
      std::uint64_t greys = 0;
      for (std::size_t k = 0; k < 8; ++k) {
        std::uint16_t sample;
        std::memcpy(&sample, bytes + 2 * (i + k), 2);
        greys |= std::uint64_t{lut[sample]} << (8 * k);
      }
      std::memcpy(out.data() + i, &greys, 8);
    }
  }
  for (; i < count; ++i) out[i] = lut[bytes[2 * i] | std::size_t{bytes[2 * i + 1]} << 8];
}

image_range stored_extremes(std::span<const std::uint8_t> sample_bytes, std::size_t count,
                            bool signed_samples) {
  assert(count > 0 && sample_bytes.size() >= 2 * count);
  return signed_samples ? extremes_of<std::int16_t>(sample_bytes.data(), count)
                        : extremes_of<std::uint16_t>(sample_bytes.data(), count);
}

std::optional<image_range> windowed_extremes(
    std::span<const std::uint8_t> sample_bytes, std::size_t count, bool signed_samples,
    int bits_stored, const std::optional<std::array<std::int32_t, 2>>& padding) {
  const int bits = std::clamp(bits_stored, 1, 16);
  const std::uint32_t mask = (1u << bits) - 1, sign = 1u << (bits - 1);
  std::optional<image_range> range;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t pattern = (sample_bytes[2 * i] | sample_bytes[2 * i + 1] << 8) & mask;
    const auto value =
        static_cast<std::int32_t>(pattern) -
        (signed_samples && (pattern & sign) != 0 ? static_cast<std::int32_t>(mask) + 1 : 0);
    if (padding && value >= (*padding)[0] && value <= (*padding)[1]) continue;
    const auto v = static_cast<double>(value);
    if (!range) range = image_range{v, v};
    range->max = std::max(range->max, v);
    range->min = std::min(range->min, v);
  }
  return range;
}

image_range window_samples(std::span<const std::uint8_t> sample_bytes, bool signed_samples,
                           const window_lut& lut, std::span<std::uint8_t> out) {
  const image_range range = stored_extremes(sample_bytes, out.size(), signed_samples);
  apply_window_lut(sample_bytes, lut, out);
  return range;
}

const window_lut& window_lut_cache::lut_for(const window_mapping& mapping) {
  if (!lut_ || !(mapping == mapping_)) {
    if (!lut_) lut_ = std::make_unique<window_lut>();
    build_window_lut(mapping, *lut_);
    mapping_ = mapping;
  }
  return *lut_;
}

}  // namespace slicejpeg
