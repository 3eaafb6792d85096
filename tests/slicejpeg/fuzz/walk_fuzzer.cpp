// libFuzzer target: the element walk, the slice reader (every framing and
// encoding) and the conversion over arbitrary slice bytes, and the text
// parsers (path list, max file, names) over the same bytes.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/path_list.hpp"
#include "slicejpeg/conversion.hpp"
#include "dicom/element_walk.hpp"
#include "slicejpeg/max_file.hpp"
#include "slicejpeg/slice_naming.hpp"
#include "dicom/slice_reader.hpp"

namespace {

void walk_and_convert(std::span<const std::uint8_t> bytes) {
  const auto scan = slicejpeg::scan_elements(bytes);
  (void)slicejpeg::describe(scan.walk);
  (void)slicejpeg::find_tag(bytes, slicejpeg::rows_tag);
  std::vector<std::uint8_t> small(64);
  (void)slicejpeg::read_pixels(bytes, small);
  if (scan.walk.error != slicejpeg::walk_error::none || !scan.rows || !scan.columns) return;
  const std::size_t count =
      static_cast<std::size_t>(*scan.rows) * static_cast<std::size_t>(*scan.columns);
  if (count == 0 || scan.walk.pixels.size() < 2 * count) return;
  std::vector<std::uint8_t> out(count);
  (void)slicejpeg::convert_samples(scan.walk.pixels, true, out);
}

void read_and_convert(std::span<const std::uint8_t> bytes) {
  const auto read = slicejpeg::read_slice(bytes);
  if (read.verdict != slicejpeg::read_verdict::decoded) return;
  std::vector<std::uint8_t> out(read.slice.frame_samples());
  for (std::size_t i = 0; i < read.slice.frames; ++i)
    (void)slicejpeg::convert_samples(read.slice.frame(i), read.slice.samples_signed, out);
}

void parse_texts(std::string_view text) {
  const auto tokens = common::first_tokens(text);
  std::vector<std::optional<std::string>> numbers;
  for (const auto& token : tokens) numbers.push_back(slicejpeg::slice_number(token));
  const std::size_t width = slicejpeg::number_width(numbers);
  for (const auto& number : numbers)
    if (number) (void)slicejpeg::padded_number(*number, width);
  (void)slicejpeg::list_prefix(text);
  if (const auto range = slicejpeg::parse_max_file(text)) (void)slicejpeg::format_max_file(*range);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  walk_and_convert({data, size});
  read_and_convert({data, size});
  parse_texts({reinterpret_cast<const char*>(data), size});
  return 0;
}
