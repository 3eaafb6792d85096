#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Encapsulated (compressed) pixel data is decoded by a DICOM library outside
// the reader: the reader hands the whole file to a pixel_decoder and checks
// what comes back. Tests pass their own decoder.
namespace dicom {

struct compressed_frames {
  // Every frame after the other, each rows x columns x samples_per_pixel
  // samples of bits_allocated / 8 bytes, little-endian.
  std::vector<std::uint8_t> samples;
  int rows = 0;
  int columns = 0;
  int bits_allocated = 0;
  int samples_per_pixel = 0;
  int pixel_representation = 0;  // 0 unsigned, 1 signed, as decoded
  std::size_t frames = 0;
  std::string problem;  // empty on success, else what is wrong ("cannot decode ...")
};

class pixel_decoder {
 public:
  virtual ~pixel_decoder() = default;
  // Decodes the pixel data of a whole Part-10 file held in memory. Never
  // throws; every failure ends up in `problem`.
  virtual compressed_frames decode(std::span<const std::uint8_t> file_bytes) = 0;
};

}  // namespace dicom
