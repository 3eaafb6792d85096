#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Encapsulated (compressed) pixel data, decoded by a DICOM library. The
// library is loaded on first need, so runs over uncompressed files never pay
// for it.
namespace slicejpeg {

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

// "1.2.840.10008.1.2.4.50" (JPEG baseline) => true; "1.2.840.10008.1.2.1" => false
bool is_encapsulated_syntax(std::string_view transfer_syntax_uid);

// Decodes the pixel data of a whole Part-10 file held in memory.
compressed_frames decode_compressed(std::span<const std::uint8_t> file_bytes);

}  // namespace slicejpeg
