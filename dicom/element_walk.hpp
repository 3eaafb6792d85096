#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

// The element walk: a data set taken as a run of top-level data elements, up
// to the pixel-data element. A flat slice file is walked from its first byte
// in implicit-VR little-endian form; the other encodings serve Part-10 files.
namespace dicom {

struct element_tag {
  std::uint16_t group = 0;
  std::uint16_t element = 0;
  friend bool operator==(const element_tag&, const element_tag&) = default;
};

constexpr element_tag rows_tag{0x0028, 0x0010};
constexpr element_tag columns_tag{0x0028, 0x0011};
constexpr element_tag bits_allocated_tag{0x0028, 0x0100};
constexpr element_tag pixel_data_tag{0x7FE0, 0x0010};

// How the elements of a data set are written.
struct element_encoding {
  bool explicit_vr = false;
  bool big_endian = false;
  friend bool operator==(const element_encoding&, const element_encoding&) = default;
};

constexpr element_encoding implicit_little{false, false};
constexpr element_encoding explicit_little{true, false};
constexpr element_encoding explicit_big{true, true};

enum class walk_error {
  none,
  truncated_header,    // the bytes end inside an element header
  truncated_value,     // the bytes end inside a value, the pixel data included
  negative_length,     // a length of 0x80000000 or more that is not the undefined length
  no_pixel_data,       // the bytes end cleanly without a pixel-data element
  truncated_sequence,  // the bytes end inside a sequence of undefined length
  bad_sequence,        // a sequence holds something other than items
};

struct walk_result {
  walk_error error = walk_error::none;
  element_tag failed_at;                 // the element the walk stopped in, for messages
  std::span<const std::uint8_t> pixels;  // the whole pixel-data value (empty when encapsulated)
  bool encapsulated = false;             // the pixel data has the undefined length
};

// The first two value bytes as an unsigned little-endian number; bytes a
// shorter value lacks count as zero.
int value_as_u16(std::span<const std::uint8_t> value);

// Walks to the pixel data, calling visit(tag, value) for every top-level
// element before it. Sequences, of defined or undefined length, are skipped
// whole; their value (the items, and the delimiter of an undefined length)
// is visited like any other, for for_each_item.
template <class Visit>
walk_result walk_elements(std::span<const std::uint8_t> bytes, element_encoding encoding,
                          Visit&& visit);

// The flat slice file: implicit VR little endian from the first byte.
template <class Visit>
walk_result walk_elements(std::span<const std::uint8_t> bytes, Visit&& visit) {
  return walk_elements(bytes, implicit_little, std::forward<Visit>(visit));
}

// Calls visit(item) with the bytes of every item in a sequence's value, as
// walk_elements hands it over; stops at the first thing that is not an item.
void for_each_item(std::span<const std::uint8_t> sequence, element_encoding encoding,
                   const std::function<void(std::span<const std::uint8_t>)>& visit);

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

// "(0028,0010)"
std::string tag_text(element_tag tag);

// Whether two bytes are one of the value representations DICOM defines ("US", "SQ" ...).
bool is_known_vr(std::uint8_t first, std::uint8_t second);

namespace detail {

inline std::uint32_t load_u32(const std::uint8_t* p, bool big_endian) {
  if (big_endian)
    return std::uint32_t{p[3]} | std::uint32_t{p[2]} << 8 | std::uint32_t{p[1]} << 16 |
           std::uint32_t{p[0]} << 24;
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
inline std::uint16_t load_u16(const std::uint8_t* p, bool big_endian) {
  return big_endian ? static_cast<std::uint16_t>(p[1] | p[0] << 8)
                    : static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

constexpr std::uint32_t undefined_length = 0xFFFFFFFFu;
constexpr std::uint16_t item_group = 0xFFFE;

struct element_header {
  element_tag tag;
  std::uint32_t length = 0;
  bool unknown_vr = false;  // "UN": a sequence of undefined length inside is implicit VR
  std::size_t size = 0;     // bytes of the header itself
};

// The header at `pos`, or nothing when the bytes end inside it.
std::optional<element_header> read_header(std::span<const std::uint8_t> bytes, std::size_t pos,
                                          element_encoding encoding);

// Skips the items of a sequence of undefined length whose header ended at
// `pos`; returns the position after its delimiter, or the error.
struct skip_result {
  std::size_t pos = 0;
  walk_error error = walk_error::none;
};
skip_result skip_sequence(std::span<const std::uint8_t> bytes, std::size_t pos,
                          element_encoding encoding);
// The same for an item of undefined length whose header ended at `pos`.
skip_result skip_item(std::span<const std::uint8_t> bytes, std::size_t pos,
                      element_encoding encoding);

}  // namespace detail

template <class Visit>
walk_result walk_elements(std::span<const std::uint8_t> bytes, element_encoding encoding,
                          Visit&& visit) {
  std::size_t pos = 0;
  walk_result result;
  while (true) {
    if (pos == bytes.size()) {
      result.error = walk_error::no_pixel_data;
      return result;
    }
    const auto header = detail::read_header(bytes, pos, encoding);
    if (!header) {
      result.error = walk_error::truncated_header;
      return result;
    }
    pos += header->size;
    result.failed_at = header->tag;
    const std::uint32_t length = header->length;
    if (length == detail::undefined_length) {
      if (header->tag == pixel_data_tag) {
        result.encapsulated = true;
        return result;
      }
      const auto skipped =
          detail::skip_sequence(bytes, pos, header->unknown_vr ? implicit_little : encoding);
      if (skipped.error != walk_error::none) {
        result.error = skipped.error;
        return result;
      }
      visit(header->tag, bytes.subspan(pos, skipped.pos - pos));
      pos = skipped.pos;
      continue;
    }
    if (length >= 0x80000000u) {
      result.error = walk_error::negative_length;
      return result;
    }
    if (length > bytes.size() - pos) {
      result.error = walk_error::truncated_value;
      return result;
    }
    const auto value = bytes.subspan(pos, length);
    if (header->tag == pixel_data_tag) {
      result.pixels = value;
      return result;
    }
    visit(header->tag, value);
    pos += length;
  }
}

}  // namespace dicom
