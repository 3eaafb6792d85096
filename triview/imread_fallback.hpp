#pragma once

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>
#include <span>
#include <string>

// Files the JPEG fast path refuses (other formats, CMYK or Exif-turned JPEGs,
// damaged data) are read with OpenCV's imread. Its codec library pulls in a
// long chain of shared libraries whose loading costs more than a typical
// load of slices, so it lives in a module loaded on first need.
extern "C" {
// The module's one entry: cv::imdecode(bytes, cv::IMREAD_COLOR) into `image`,
// the pixels imread gives for the same file. 1 when an image was decoded, 0
// when imdecode gave nothing or failed.
int triview_imdecode_color(const std::uint8_t* bytes, std::size_t size, cv::Mat* image);
}

namespace triview {

// imread's colour image of a file's bytes, through the module; empty when
// imread cannot read it or the module cannot be loaded. Safe to call from
// several threads.
cv::Mat read_with_fallback(std::span<const std::uint8_t> bytes);

// Why the module could not be loaded, once a read needed it and failed to
// load it; nothing otherwise.
std::optional<std::string> fallback_problem();

// The module's file name, for messages.
// The module could not be loaded for want of memory or address space.
bool fallback_short_of_memory();

const char* fallback_module_name();

}  // namespace triview
