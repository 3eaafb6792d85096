#include "dicom/element_walk.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace dicom {
namespace detail {
namespace {

constexpr element_tag item_tag{item_group, 0xE000};
constexpr element_tag item_end_tag{item_group, 0xE00D};
constexpr element_tag sequence_end_tag{item_group, 0xE0DD};

// Value representations whose explicit header has two reserved bytes and a
// 32-bit length.
bool has_long_length(std::uint8_t first, std::uint8_t second) {
  switch (first) {
    case 'O':
      return second == 'B' || second == 'D' || second == 'F' || second == 'L' || second == 'V' ||
             second == 'W';
    case 'S':
      return second == 'Q' || second == 'V';
    case 'U':
      return second == 'C' || second == 'N' || second == 'R' || second == 'T' || second == 'V';
    default:
      return false;
  }
}

// Where a sequence walk stands: between the items of a sequence, or inside
// an item of undefined length.
struct nesting {
  bool in_item = false;
  element_encoding encoding;
};

}  // namespace

std::optional<element_header> read_header(std::span<const std::uint8_t> bytes, std::size_t pos,
                                          element_encoding encoding) {
  const std::size_t left = bytes.size() - pos;
  if (left < 8) return std::nullopt;
  const std::uint8_t* p = bytes.data() + pos;
  const bool big = encoding.big_endian;
  element_header header;
  header.tag = {load_u16(p, big), load_u16(p + 2, big)};
  if (!encoding.explicit_vr || header.tag.group == item_group) {
    header.length = load_u32(p + 4, big);
    header.size = 8;
    return header;
  }
  if (has_long_length(p[4], p[5])) {
    if (left < 12) return std::nullopt;
    header.length = load_u32(p + 8, big);
    header.unknown_vr = p[4] == 'U' && p[5] == 'N';
    header.size = 12;
    return header;
  }
  header.length = load_u16(p + 6, big);
  header.size = 8;
  return header;
}

namespace {

skip_result skip_nested(std::span<const std::uint8_t> bytes, std::size_t pos,
                        element_encoding encoding, bool in_item) {
  // A stack on the heap, not recursion: nesting depth is whatever the file says.
  std::vector<nesting> open{{in_item, encoding}};
  while (!open.empty()) {
    const nesting here = open.back();
    if (pos == bytes.size()) return {pos, walk_error::truncated_sequence};
    const auto header = read_header(bytes, pos, here.encoding);
    if (!header) return {pos, walk_error::truncated_sequence};
    pos += header->size;
    const element_tag tag = header->tag;
    const std::uint32_t length = header->length;
    if (!here.in_item && tag == sequence_end_tag) {
      open.pop_back();
      continue;
    }
    if (here.in_item && tag == item_end_tag) {
      open.pop_back();
      continue;
    }
    if (!here.in_item && tag != item_tag) return {pos, walk_error::bad_sequence};
    if (length == undefined_length) {
      if (here.in_item)
        open.push_back({false, header->unknown_vr ? implicit_little : here.encoding});
      else
        open.push_back({true, here.encoding});
      continue;
    }
    if (length > bytes.size() - pos) return {pos, walk_error::truncated_sequence};
    pos += length;
  }
  return {pos, walk_error::none};
}

}  // namespace

skip_result skip_sequence(std::span<const std::uint8_t> bytes, std::size_t pos,
                          element_encoding encoding) {
  return skip_nested(bytes, pos, encoding, false);
}

skip_result skip_item(std::span<const std::uint8_t> bytes, std::size_t pos,
                      element_encoding encoding) {
  return skip_nested(bytes, pos, encoding, true);
}

}  // namespace detail

void for_each_item(std::span<const std::uint8_t> sequence, element_encoding encoding,
                   const std::function<void(std::span<const std::uint8_t>)>& visit) {
  std::size_t pos = 0;
  while (pos < sequence.size()) {
    const auto header = detail::read_header(sequence, pos, encoding);
    if (!header || header->tag != element_tag{detail::item_group, 0xE000}) return;
    const std::size_t start = pos + header->size;
    if (header->length == detail::undefined_length) {
      const auto skipped = detail::skip_item(sequence, start, encoding);
      // The item's own delimiter, eight bytes, is not part of its data set.
      if (skipped.error != walk_error::none || skipped.pos < start + 8) return;
      visit(sequence.subspan(start, skipped.pos - 8 - start));
      pos = skipped.pos;
    } else {
      if (header->length > sequence.size() - start) return;
      visit(sequence.subspan(start, header->length));
      pos = start + header->length;
    }
  }
}

int value_as_u16(std::span<const std::uint8_t> value) {
  const int low = value.size() > 0 ? value[0] : 0;
  const int high = value.size() > 1 ? value[1] : 0;
  return low + 256 * high;
}

bool is_known_vr(std::uint8_t first, std::uint8_t second) {
  static constexpr const char* known[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL",
                                          "IS", "LO", "LT", "OB", "OD", "OF", "OL", "OV", "OW",
                                          "PN", "SH", "SL", "SQ", "SS", "ST", "SV", "TM", "UC",
                                          "UI", "UL", "UN", "UR", "US", "UT", "UV"};
  return std::any_of(std::begin(known), std::end(known), [&](const char* vr) {
    return vr[0] == static_cast<char>(first) && vr[1] == static_cast<char>(second);
  });
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

}  // namespace dicom
