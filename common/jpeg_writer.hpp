#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// Writing JPEG on the JPEG library alone, from plain pixels, so a program
// that only writes its slices links neither OpenCV nor its codecs.
namespace common {

// 8-bit grey (one channel) or BGR (three) pixels, `stride` bytes a row.
struct pixel_view {
  std::span<const std::uint8_t> pixels;
  int width = 0;
  int height = 0;
  int channels = 1;
  std::size_t stride = 0;
};

// At quality 95 with 4:2:0 chroma: the bytes OpenCV's default JPEG writing
// gives. Into `out`, reusing its storage; false when the view is malformed
// or the image too large for a JPEG. A `comment` goes into a comment
// segment (at most one segment's 65,533 bytes of it).
bool encode_jpeg(const pixel_view& image, std::vector<std::uint8_t>& out,
                 std::string_view comment = {});

}  // namespace common
