#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "slicejpeg/compressed_pixels.hpp"

// GDCM and the codecs it brings (JPEG, CharLS, OpenJPEG) cost more start-up
// time than a run over uncompressed slices takes, so they live in a module
// that compressed_pixels.cpp loads on first need.
extern "C" {
// The module's one entry: decode_compressed's work. Never throws; every
// failure ends up in `result->problem`.
void slicejpeg_decode_compressed(const std::uint8_t* file_bytes, std::size_t size,
                                 slicejpeg::compressed_frames* result) noexcept;
}

namespace slicejpeg::detail {

// Decoded sizes beyond the floor must be backed by the file: no codec of the
// field gains more than the ratio on medical images, while a damaged or
// hostile header that declares 65535 x 65535 x 1000 frames would otherwise
// make us allocate terabytes.
constexpr std::size_t decoded_floor = std::size_t{64} << 20;
constexpr std::size_t max_compression_ratio = 256;

constexpr std::size_t decoded_size_limit(std::size_t file_size) {
  return decoded_floor + max_compression_ratio * file_size;
}

// Memory a decode may take beyond what the process holds: the library's copy
// of the file, the decoded samples and the codec's own buffers (OpenJPEG
// keeps 32 bits a sample).
constexpr std::size_t decode_memory_budget(std::size_t file_size) {
  return (std::size_t{128} << 20) + 4 * file_size + 3 * decoded_size_limit(file_size);
}

using decode_function = decltype(&slicejpeg_decode_compressed);

struct codec_module {
  decode_function decode = nullptr;
  std::string problem;  // why `decode` is missing: "not found in /a nor in /b", dlerror's text
};

// The module `file_name` from the first of `dirs` that holds it; the handle
// stays open for the rest of the run.
codec_module load_codec_module(std::span<const std::filesystem::path> dirs,
                               const std::string& file_name);

}  // namespace slicejpeg::detail
