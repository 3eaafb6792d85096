#pragma once

#include <cstdint>
#include <span>

// The 16-bit to 8-bit conversion of one slice, and the series' running range.
namespace slicejpeg {

struct image_range {
  double max = 0.0;
  double min = 0.0;
};

// The running extremes of a series, kept across runs in the max file.
struct series_range {
  double run_max = -1000000000.0;
  double run_min = 1000000000.0;

  void include(const image_range& image) {
    if (run_max < image.max) run_max = image.max;
    if (run_min > image.min) run_min = image.min;
  }
};

// (sample - image_min) mod 256: no scaling, intensities wrap every 256 units.
// -1024 with min -1024 => 0; 255 with min -1024 => 255; 3071 with min -1024 => 255.
inline std::uint8_t wrap_to_u8(std::int32_t sample, std::int32_t image_min) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(sample - image_min) & 0xFFu);
}

// The one step from stored samples to 8-bit pixels: out.size() little-endian
// 16-bit samples from `samples` (at least 2 * out.size() bytes, never empty),
// signed or unsigned, each mapped by wrap_to_u8 against the image's minimum.
// Returns the image's extremes as stored.
image_range convert_samples(std::span<const std::uint8_t> samples, bool samples_signed,
                            std::span<std::uint8_t> out);

}  // namespace slicejpeg
