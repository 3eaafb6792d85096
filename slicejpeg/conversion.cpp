#include "slicejpeg/conversion.hpp"

#include <algorithm>
#include <cassert>

namespace slicejpeg {
namespace {

template <class Sample>
Sample sample_at(const std::uint8_t* bytes, std::size_t index) {
  const unsigned value = bytes[2 * index] | unsigned{bytes[2 * index + 1]} << 8;
  return static_cast<Sample>(static_cast<std::uint16_t>(value));
}

template <class Sample>
image_range convert(const std::uint8_t* bytes, std::span<std::uint8_t> out) {
  const std::size_t count = out.size();
  Sample max = sample_at<Sample>(bytes, 0);
  Sample min = max;
  // Plain loops without early exits so the compiler can vectorise them.
  for (std::size_t i = 1; i < count; ++i) {
    const Sample sample = sample_at<Sample>(bytes, i);
    max = std::max(max, sample);
    min = std::min(min, sample);
  }
  for (std::size_t i = 0; i < count; ++i) out[i] = wrap_to_u8(sample_at<Sample>(bytes, i), min);
  return {static_cast<double>(max), static_cast<double>(min)};
}

}  // namespace

image_range convert_samples(std::span<const std::uint8_t> samples, bool samples_signed,
                            std::span<std::uint8_t> out) {
  assert(!out.empty() && samples.size() >= 2 * out.size());
  return samples_signed ? convert<std::int16_t>(samples.data(), out)
                        : convert<std::uint16_t>(samples.data(), out);
}

}  // namespace slicejpeg
