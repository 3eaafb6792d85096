#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "dicom/pixel_decoder.hpp"

namespace dicom::helper {

// Decoded sizes beyond the floor must be backed by the file: no codec of the
// field gains more than the ratio on medical images, while a damaged or
// hostile header that declares 65535 x 65535 x 1000 frames would otherwise
// make us allocate terabytes.
constexpr std::size_t decoded_floor = std::size_t{64} << 20;
constexpr std::size_t max_compression_ratio = 256;

constexpr std::size_t decoded_size_limit(std::size_t file_size) {
  return decoded_floor + max_compression_ratio * file_size;
}

// Memory a decode may take beyond what the helper holds: the library's copy
// of the file, the decoded samples and the codec's own buffers (OpenJPEG
// keeps 32 bits a sample).
constexpr std::size_t decode_memory_budget(std::size_t file_size) {
  return (std::size_t{128} << 20) + 4 * file_size + 3 * decoded_size_limit(file_size);
}

// Every failure ends up in `problem`; nothing is thrown.
compressed_frames decode_with_gdcm(std::span<const std::uint8_t> file_bytes) noexcept;

}  // namespace dicom::helper
