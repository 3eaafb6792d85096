#include "dicom/element_walk.hpp"

#include <gtest/gtest.h>

#include "slicejpeg/messages.hpp"
#include "tests/support/slice_bytes.hpp"

using namespace dicom;
using slicejpeg::text::describe;

namespace {

slice_bytes image_512() {
  slice_bytes file;
  file.element(0x0028, 0x0010, {0x00, 0x02}).element(0x0028, 0x0011, {0x00, 0x02});
  file.element(0x0028, 0x0100, {0x10, 0x00}).header(0x7FE0, 0x0010, 524288);
  for (std::size_t i = 0; i < 524288; ++i) file.bytes.push_back(static_cast<std::uint8_t>(i * 7));
  return file;
}

}  // namespace

TEST(element_walk, reads_the_512_square_example) {
  const auto file = image_512();
  EXPECT_EQ(find_tag(file.bytes, rows_tag).value, 512);
  EXPECT_EQ(find_tag(file.bytes, columns_tag).value, 512);
  EXPECT_EQ(find_tag(file.bytes, bits_allocated_tag).value, 16);

  std::vector<std::uint8_t> buffer(524288);
  const auto read = read_pixels(file.bytes, buffer);
  EXPECT_EQ(read.copied, 524288u);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), file.bytes.end() - 524288));

  const auto scan = scan_elements(file.bytes);
  EXPECT_EQ(scan.walk.error, walk_error::none);
  EXPECT_EQ(scan.rows, 512);
  EXPECT_EQ(scan.columns, 512);
  EXPECT_EQ(scan.bits_allocated, 16);
  EXPECT_EQ(scan.walk.pixels.size(), 524288u);
}

TEST(element_walk, read_pixels_never_writes_past_the_buffer) {
  const auto file = image_512();
  std::vector<std::uint8_t> buffer(1000, 0xEE);
  const auto read = read_pixels(file.bytes, std::span(buffer).first(100));
  EXPECT_EQ(read.copied, 100u);
  EXPECT_EQ(buffer[100], 0xEE);
}

TEST(element_walk, later_rows_element_wins) {
  slice_bytes file;
  file.u16_element(0x0028, 0x0010, 100).u16_element(0x0028, 0x0011, 7);
  file.u16_element(0x0028, 0x0010, 300).pixels({1, 2});
  EXPECT_EQ(find_tag(file.bytes, rows_tag).value, 300);
  EXPECT_EQ(scan_elements(file.bytes).rows, 300);
}

TEST(element_walk, elements_after_the_pixel_data_are_not_seen) {
  slice_bytes file;
  file.u16_element(0x0028, 0x0010, 4).pixels({1}).u16_element(0x0028, 0x0010, 9);
  EXPECT_EQ(find_tag(file.bytes, rows_tag).value, 4);
}

TEST(element_walk, skips_a_value_longer_than_10000_bytes) {
  slice_bytes file;
  file.element(0x0009, 0x0010, std::vector<std::uint8_t>(10001, 0x28));
  file.image_header(3, 5).pixels({1, 2, 3});
  const auto scan = scan_elements(file.bytes);
  EXPECT_EQ(scan.walk.error, walk_error::none);
  EXPECT_EQ(scan.rows, 3);
  EXPECT_EQ(scan.columns, 5);
  EXPECT_EQ(scan.walk.pixels.size(), 6u);
}

TEST(element_walk, sequences_of_undefined_length_are_skipped_with_what_they_hold) {
  // An icon image inside nested sequences: its Rows and pixel data are not the slice's.
  slice_bytes icon;
  icon.u16_element(0x0028, 0x0010, 9).pixels({5});
  slice_bytes file;
  file.header(0x0088, 0x0200, 0xFFFFFFFF).header(0xFFFE, 0xE000, 0xFFFFFFFF).raw(icon.bytes);
  file.header(0x0008, 0x1115, 0xFFFFFFFF).header(0xFFFE, 0xE000, 4).raw({1, 2, 3, 4});
  file.header(0xFFFE, 0xE0DD, 0).header(0xFFFE, 0xE00D, 0).header(0xFFFE, 0xE0DD, 0);
  file.image_header(2, 1).pixels({-3, 4});
  const auto scan = scan_elements(file.bytes);
  EXPECT_EQ(scan.walk.error, walk_error::none) << describe(scan.walk);
  EXPECT_EQ(scan.rows, 2);
  EXPECT_EQ(scan.walk.pixels.size(), 4u);
  EXPECT_EQ(find_tag(file.bytes, rows_tag).value, 2);
}

TEST(element_walk, preamble_and_marker_are_walked_as_plain_elements) {
  slice_bytes file;
  file.bytes.assign(128, 0);  // sixteen elements (0000,0000) of length 0
  file.raw({'D', 'I', 'C', 'M'}).u32(0).image_header(2, 2).pixels({1, 2, 3, 4});
  const auto scan = scan_elements(file.bytes);
  EXPECT_EQ(scan.walk.error, walk_error::none);
  EXPECT_EQ(scan.rows, 2);
  EXPECT_EQ(find_tag(file.bytes, {0x4944, 0x4D43}).value, 0);
}

TEST(element_walk, short_and_long_values_give_their_first_bytes) {
  slice_bytes file;
  file.element(0x0028, 0x0010, {0x05}).element(0x0028, 0x0011, {0x01, 0x01, 0x09, 0x09});
  file.element(0x0028, 0x0100, {}).pixels({});
  const auto scan = scan_elements(file.bytes);
  EXPECT_EQ(scan.rows, 5);
  EXPECT_EQ(scan.columns, 257);
  EXPECT_EQ(scan.bits_allocated, 0);
}

TEST(element_walk, missing_element_has_no_value) {
  slice_bytes file;
  file.u16_element(0x0028, 0x0010, 4).pixels({1});
  const auto result = find_tag(file.bytes, columns_tag);
  EXPECT_FALSE(result.value);
  EXPECT_EQ(result.walk.error, walk_error::none);
}

struct broken_case {
  const char* name;
  slice_bytes file;
  walk_error error;
  const char* message;
};

TEST(element_walk, refuses_broken_files_with_a_reason) {
  const std::vector<broken_case> cases = {
      {"empty", slice_bytes{}, walk_error::no_pixel_data, "no pixel data element"},
      {"no pixel data", slice_bytes{}.image_header(2, 2), walk_error::no_pixel_data,
       "no pixel data element"},
      {"header cut", slice_bytes{}.image_header(2, 2).raw({0xE0, 0x7F, 0x10}),
       walk_error::truncated_header, "file ends inside an element header"},
      {"value cut", slice_bytes{}.header(0x0028, 0x0010, 2).raw({0x01}),
       walk_error::truncated_value, "file ends inside element (0028,0010)"},
      {"long value cut", slice_bytes{}.header(0x0009, 0x1000, 20000).raw({1, 2, 3}),
       walk_error::truncated_value, "file ends inside element (0009,1000)"},
      {"pixel data cut", slice_bytes{}.image_header(2, 2).header(0x7FE0, 0x0010, 8).raw({1, 2}),
       walk_error::truncated_value, "file ends inside the pixel data"},
      {"sequence cut", slice_bytes{}.header(0x0008, 0x1140, 0xFFFFFFFF),
       walk_error::truncated_sequence, "file ends inside sequence (0008,1140)"},
      {"item cut", slice_bytes{}.header(0x0008, 0x1140, 0xFFFFFFFF).header(0xFFFE, 0xE000, 9),
       walk_error::truncated_sequence, "file ends inside sequence (0008,1140)"},
      {"no item", slice_bytes{}.header(0x0008, 0x1140, 0xFFFFFFFF).u16_element(0x0028, 0x0010, 1),
       walk_error::bad_sequence, "sequence (0008,1140) holds something other than items"},
      {"negative length", slice_bytes{}.image_header(2, 2).header(0x0009, 0x0010, 0x80000000),
       walk_error::negative_length, "element (0009,0010) has a negative length"},
  };
  for (const auto& c : cases) {
    const auto scan = scan_elements(c.file.bytes);
    EXPECT_EQ(scan.walk.error, c.error) << c.name;
    EXPECT_EQ(describe(scan.walk), c.message) << c.name;
    EXPECT_TRUE(scan.walk.pixels.empty()) << c.name;
  }
}
