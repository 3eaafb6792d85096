#include "slicejpeg/conversion.hpp"

#include <algorithm>
#include <cassert>

namespace slicejpeg {
namespace {

std::int16_t sample_at(const std::uint8_t* bytes, std::size_t index) {
  const unsigned value = bytes[2 * index] | unsigned{bytes[2 * index + 1]} << 8;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
}

}  // namespace

image_range convert_samples(std::span<const std::uint8_t> pixel_bytes,
                            std::span<std::uint8_t> out) {
  assert(!out.empty() && pixel_bytes.size() >= 2 * out.size());
  const std::uint8_t* bytes = pixel_bytes.data();
  const std::size_t count = out.size();
  std::int16_t max = sample_at(bytes, 0);
  std::int16_t min = max;
  // Plain loops without early exits so the compiler can vectorise them.
  for (std::size_t i = 1; i < count; ++i) {
    const std::int16_t sample = sample_at(bytes, i);
    max = std::max(max, sample);
    min = std::min(min, sample);
  }
  for (std::size_t i = 0; i < count; ++i) out[i] = wrap_to_u8(sample_at(bytes, i), min);
  return {static_cast<double>(max), static_cast<double>(min)};
}

}  // namespace slicejpeg
