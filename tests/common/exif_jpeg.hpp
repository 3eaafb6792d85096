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

// The same JPEG with a baseline frame header that declares `width` x `height`
// instead: what a decompression bomb looks like.
inline std::vector<std::uint8_t> with_declared_size(std::vector<std::uint8_t> jpeg, int width,
                                                    int height) {
  for (std::size_t i = 0; i + 8 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<std::uint8_t>(height);
      jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<std::uint8_t>(width);
    }
  return jpeg;
}
