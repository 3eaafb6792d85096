#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Inserts an Exif segment with the given orientation after a JFIF JPEG's
// first segment. `directory` is where the TIFF header says the first
// directory starts (8, right after it).
inline std::vector<std::uint8_t> with_exif_orientation(std::vector<std::uint8_t> jpeg,
                                                       std::uint8_t orientation,
                                                       std::uint8_t directory = 8) {
  // APP1 "Exif", a little-endian TIFF header, one entry (orientation, a
  // short), no next directory.
  const std::vector<std::uint8_t> segment{
      0xFF, 0xE1, 0,         34, 'E',         'x', 'i', 'f', 0,    0,    'I', 'I',
      42,   0,    directory, 0,  0,           0,   1,   0,   0x12, 0x01, 3,   0,
      1,    0,    0,         0,  orientation, 0,   0,   0,   0,    0,    0,   0};
  const std::size_t after_jfif = 4 + (std::size_t{jpeg[4]} << 8 | jpeg[5]);
  jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(after_jfif), segment.begin(),
              segment.end());
  return jpeg;
}
