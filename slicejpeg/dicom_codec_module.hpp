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
