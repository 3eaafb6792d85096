#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The element walk: a slice file taken from its first byte as a flat run of
// implicit-VR little-endian data elements, up to the pixel-data element.
namespace slicejpeg {

struct element_tag {
  std::uint16_t group = 0;
  std::uint16_t element = 0;
  friend bool operator==(const element_tag&, const element_tag&) = default;
};

constexpr element_tag rows_tag{0x0028, 0x0010};
constexpr element_tag columns_tag{0x0028, 0x0011};
constexpr element_tag bits_allocated_tag{0x0028, 0x0100};
constexpr element_tag pixel_data_tag{0x7FE0, 0x0010};

enum class walk_error {
  none,
  truncated_header,  // the bytes end inside an element header
  truncated_value,   // the bytes end inside a value, the pixel data included
  negative_length,   // a length of 0x80000000 or more, the undefined length too
  no_pixel_data,     // the bytes end cleanly without a pixel-data element
};

struct walk_result {
  walk_error error = walk_error::none;
  element_tag failed_at;                 // the element the walk stopped in, for messages
  std::span<const std::uint8_t> pixels;  // the whole pixel-data value
};

// The first two value bytes as an unsigned little-endian number; bytes a
// shorter value lacks count as zero.
int value_as_u16(std::span<const std::uint8_t> value);

// Walks to the pixel data, calling visit(tag, value) for every element before it.
template <class Visit>
walk_result walk_elements(std::span<const std::uint8_t> bytes, Visit&& visit);

struct tag_result {
  std::optional<int> value;  // from the last matching element before the pixel data
  walk_result walk;
};

tag_result find_tag(std::span<const std::uint8_t> bytes, element_tag tag);

// Copies the pixel data into `out`, never more than out.size() bytes; returns
// how many bytes were copied.
struct pixels_read {
  std::size_t copied = 0;
  walk_result walk;
};
pixels_read read_pixels(std::span<const std::uint8_t> bytes, std::span<std::uint8_t> out);

// Rows, Columns and Bits Allocated and the pixel data, in one pass.
struct element_scan {
  std::optional<int> rows, columns, bits_allocated;
  walk_result walk;
};

element_scan scan_elements(std::span<const std::uint8_t> bytes);

// "file ends inside element (0028,0010)"
std::string describe(const walk_result& walk);

// "(0028,0010)"
std::string tag_text(element_tag tag);

namespace detail {
inline std::uint32_t load_u32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
inline std::uint16_t load_u16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
}  // namespace detail

template <class Visit>
walk_result walk_elements(std::span<const std::uint8_t> bytes, Visit&& visit) {
  constexpr std::size_t header_size = 8;
  std::size_t pos = 0;
  walk_result result;
  while (true) {
    const std::size_t left = bytes.size() - pos;
    if (left == 0) {
      result.error = walk_error::no_pixel_data;
      return result;
    }
    if (left < header_size) {
      result.error = walk_error::truncated_header;
      return result;
    }
    const element_tag tag{detail::load_u16(&bytes[pos]), detail::load_u16(&bytes[pos + 2])};
    const std::uint32_t length = detail::load_u32(&bytes[pos + 4]);
    pos += header_size;
    result.failed_at = tag;
    if (length >= 0x80000000u) {
      result.error = walk_error::negative_length;
      return result;
    }
    if (length > bytes.size() - pos) {
      result.error = walk_error::truncated_value;
      return result;
    }
    const auto value = bytes.subspan(pos, length);
    if (tag == pixel_data_tag) {
      result.pixels = value;
      return result;
    }
    visit(tag, value);
    pos += length;
  }
}

}  // namespace slicejpeg
