// libFuzzer target: the element walk, the slice reader (every framing and
// encoding, the deflate path, functional groups), the header pass and the
// stack order, and the conversion over arbitrary slice bytes, and the text
// parsers (path list, max file, names) over the same bytes.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/path_list.hpp"
#include "dicom/element_walk.hpp"
#include "dicom/slice_reader.hpp"
#include "dicom/stack_order.hpp"
#include "slicejpeg/conversion.hpp"
#include "slicejpeg/max_file.hpp"
#include "slicejpeg/slice_naming.hpp"

namespace {

// Compressed pixel data is the decoder helper's, fuzzed on its own; here
// every such file is refused as a decoder would refuse it.
struct refusing_decoder final : dicom::pixel_decoder {
  dicom::compressed_frames decode(std::span<const std::uint8_t>) override {
    dicom::compressed_frames frames;
    frames.problem = "not decoded while fuzzing";
    return frames;
  }
};
refusing_decoder decoder;

void walk_and_convert(std::span<const std::uint8_t> bytes) {
  const auto scan = dicom::scan_elements(bytes);
  (void)dicom::tag_text(scan.walk.failed_at);
  (void)dicom::find_tag(bytes, dicom::rows_tag);
  std::vector<std::uint8_t> small(64);
  (void)dicom::read_pixels(bytes, small);
  if (scan.walk.error != dicom::walk_error::none || !scan.rows || !scan.columns) return;
  const std::size_t count =
      static_cast<std::size_t>(*scan.rows) * static_cast<std::size_t>(*scan.columns);
  if (count == 0 || scan.walk.pixels.size() < 2 * count) return;
  std::vector<std::uint8_t> out(count);
  (void)slicejpeg::convert_samples(scan.walk.pixels, true, out);
}

void read_and_convert(std::span<const std::uint8_t> bytes) {
  const auto read = dicom::read_slice(bytes, decoder);
  if (read.verdict != dicom::read_verdict::decoded) return;
  std::vector<std::uint8_t> out(read.slice.frame_samples());
  for (std::size_t i = 0; i < read.slice.frames; ++i)
    (void)slicejpeg::convert_samples(read.slice.frame(i), read.slice.samples_signed, out);
}

// The header pass: what a whole file and its first half say, and the facts
// of every frame they describe, as the stack's order takes them.
void describe(std::span<const std::uint8_t> bytes) {
  std::vector<dicom::stack_image> images;
  for (const auto& part : {bytes, bytes.first(bytes.size() / 2)}) {
    const auto description = dicom::describe_slice(part, part.size() == bytes.size());
    if (description.what != dicom::slice_description::status::described) continue;
    const auto& attributes = description.attributes;
    (void)attributes.is_padding(-2000);
    for (std::size_t frame = 0; frame < std::min<std::size_t>(description.frames, 64); ++frame) {
      const auto facts = attributes.frame(frame);
      images.push_back({0, frame, facts.position, facts.orientation, attributes.instance_number});
    }
  }
  const auto order = dicom::order_stack(images, dicom::order_rule::automatic);
  (void)dicom::slice_spacing(images, order);
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
  describe({data, size});
  parse_texts({reinterpret_cast<const char*>(data), size});
  return 0;
}
