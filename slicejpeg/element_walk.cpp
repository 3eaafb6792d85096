#include "slicejpeg/element_walk.hpp"

#include <algorithm>
#include <cstdio>

namespace slicejpeg {

int value_as_u16(std::span<const std::uint8_t> value) {
  const int low = value.size() > 0 ? value[0] : 0;
  const int high = value.size() > 1 ? value[1] : 0;
  return low + 256 * high;
}

tag_result find_tag(std::span<const std::uint8_t> bytes, element_tag tag) {
  tag_result result;
  result.walk = walk_elements(bytes, [&](element_tag seen, std::span<const std::uint8_t> value) {
    if (seen == tag) result.value = value_as_u16(value);
  });
  return result;
}

pixels_read read_pixels(std::span<const std::uint8_t> bytes, std::span<std::uint8_t> out) {
  pixels_read result;
  result.walk = walk_elements(bytes, [](element_tag, std::span<const std::uint8_t>) {});
  result.copied = std::min(out.size(), result.walk.pixels.size());
  std::copy_n(result.walk.pixels.begin(), result.copied, out.begin());
  return result;
}

element_scan scan_elements(std::span<const std::uint8_t> bytes) {
  element_scan scan;
  scan.walk = walk_elements(bytes, [&](element_tag tag, std::span<const std::uint8_t> value) {
    if (tag == rows_tag) {
      scan.rows = value_as_u16(value);
    } else if (tag == columns_tag) {
      scan.columns = value_as_u16(value);
    } else if (tag == bits_allocated_tag) {
      scan.bits_allocated = value_as_u16(value);
    }
  });
  return scan;
}

std::string tag_text(element_tag tag) {
  char text[16];
  std::snprintf(text, sizeof text, "(%04X,%04X)", unsigned{tag.group}, unsigned{tag.element});
  return text;
}

std::string describe(const walk_result& walk) {
  switch (walk.error) {
    case walk_error::none:
      return "walked to the pixel data";
    case walk_error::truncated_header:
      return "file ends inside an element header";
    case walk_error::truncated_value:
      return walk.failed_at == pixel_data_tag
                 ? "file ends inside the pixel data"
                 : "file ends inside element " + tag_text(walk.failed_at);
    case walk_error::negative_length:
      return "element " + tag_text(walk.failed_at) + " has an undefined or negative length";
    case walk_error::no_pixel_data:
      return "no pixel data element";
  }
  return "unknown walk error";
}

}  // namespace slicejpeg
