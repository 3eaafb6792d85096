#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace phantom {

// Hounsfield range of the volume: air is the minimum, the metal insert the maximum.
constexpr std::int16_t air_hu = -1024;
constexpr std::int16_t metal_hu = 3071;

struct volume_size {
  int width = 256;
  int height = 256;
  int slices = 60;
};

// One slice (z from 0) of a torso-like phantom: body, fat layer, lungs, liver,
// kidneys, spine and a small metal insert, with mild noise that depends only
// on the seed and the voxel, so every run writes the same series.
std::vector<std::int16_t> make_slice(const volume_size& size, int z, std::uint32_t seed = 1);

// A slice file in the flat implicit-VR little-endian element form: a few
// descriptive elements, Rows, Columns, Bits Allocated = 16, then Pixel Data.
// With `z_mm`, the slice also carries Image Position and Orientation
// (Patient), Pixel Spacing and a Series Instance UID, as a scanner writes them.
std::vector<std::uint8_t> encode_slice_file(const std::vector<std::int16_t>& samples, int width,
                                            int height, int instance_number,
                                            std::optional<double> z_mm = std::nullopt);

// 8-bit display values for JPEG slices: a window from -1024 to 1023 HU.
std::vector<std::uint8_t> to_display(const std::vector<std::int16_t>& samples);

}  // namespace phantom
