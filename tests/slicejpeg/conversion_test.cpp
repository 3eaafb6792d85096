#include "slicejpeg/conversion.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "slicejpeg/max_file.hpp"

using namespace slicejpeg;

namespace {

std::vector<std::uint8_t> little_endian(const std::vector<std::int16_t>& samples) {
  std::vector<std::uint8_t> bytes;
  for (std::int16_t s : samples) {
    const auto u = static_cast<std::uint16_t>(s);
    bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  return bytes;
}

}  // namespace

TEST(conversion, wraps_the_distance_from_the_minimum) {
  const std::vector<std::int16_t> samples = {-1024, 0, 255, 3071, -1023, 1000};
  std::vector<std::uint8_t> out(samples.size());
  const auto range = convert_samples(little_endian(samples), true, out);
  EXPECT_EQ(range.min, -1024.0);
  EXPECT_EQ(range.max, 3071.0);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 0, 255, 255, 1, 2024 % 256}));
}

TEST(conversion, constant_image_becomes_all_zero) {
  const std::vector<std::int16_t> samples(64 * 3, 40);
  std::vector<std::uint8_t> out(samples.size(), 99);
  const auto range = convert_samples(little_endian(samples), true, out);
  EXPECT_EQ(range.max, 40.0);
  EXPECT_EQ(range.min, 40.0);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](std::uint8_t v) { return v == 0; }));
}

TEST(conversion, full_sample_range_does_not_overflow) {
  const std::vector<std::int16_t> samples = {32767, -32768, 0, 1};
  std::vector<std::uint8_t> out(samples.size());
  const auto range = convert_samples(little_endian(samples), true, out);
  EXPECT_EQ(range.max, 32767.0);
  EXPECT_EQ(range.min, -32768.0);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{255, 0, 0, 1}));
}

TEST(conversion, extra_pixel_bytes_are_not_read) {
  std::vector<std::uint8_t> bytes = little_endian({5, 6, -30000});
  std::vector<std::uint8_t> out(2);
  const auto range = convert_samples(bytes, true, out);
  EXPECT_EQ(range.min, 5.0);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 1}));
}

TEST(conversion, unsigned_samples_keep_their_range) {
  const std::vector<std::int16_t> as_stored = {-1, 0, 1000, -25536};  // 65535, 0, 1000, 40000
  std::vector<std::uint8_t> out(as_stored.size());
  const auto range = convert_samples(little_endian(as_stored), false, out);
  EXPECT_EQ(range.max, 65535.0);
  EXPECT_EQ(range.min, 0.0);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{255, 0, 1000 % 256, 40000 % 256}));
}

TEST(series_range, two_runs_keep_the_widest_extremes) {
  series_range first;
  first.include({3071, -1024});
  EXPECT_EQ(format_max_file(first), "max :3071.000000\nmin :-1024.000000\n");
  auto second = parse_max_file(format_max_file(first));
  ASSERT_TRUE(second);
  second->include({4000, 0});
  EXPECT_EQ(format_max_file(*second), "max :4000.000000\nmin :-1024.000000\n");
  second->include({3000, -10});
  EXPECT_EQ(format_max_file(*second), "max :4000.000000\nmin :-1024.000000\n");
  // As Windows writes it, and read back the same.
  const std::string crlf = format_max_file(*second, "\r\n");
  EXPECT_EQ(crlf, "max :4000.000000\r\nmin :-1024.000000\r\n");
  const auto third = parse_max_file(crlf);
  ASSERT_TRUE(third);
  EXPECT_EQ(format_max_file(*third), format_max_file(*second));
}

TEST(max_file, parses_what_it_writes_and_refuses_anything_else) {
  EXPECT_EQ(max_file_name("sample"), "sample_max.txt");
  const auto crlf = parse_max_file("max :12.5\r\nmin : -3\r\n");
  ASSERT_TRUE(crlf);
  EXPECT_EQ(crlf->run_max, 12.5);
  EXPECT_EQ(crlf->run_min, -3.0);
  const auto start = parse_max_file(format_max_file(series_range{}));
  ASSERT_TRUE(start);
  EXPECT_EQ(start->run_max, -1000000000.0);
  for (const char* bad :
       {"", "max :1\n", "min :1\nmax :2\n", "max :x\nmin :1\n", "max :1\nmin :2 3\n",
        "max :nan\nmin :1\n", "max :1e999\nmin :1\n", "\x89PNG\r\n\x1a\n"})
    EXPECT_FALSE(parse_max_file(bad)) << bad;
}

TEST(max_file, huge_stored_values_are_written_in_full) {
  const std::string text = format_max_file({1e300, -1e300});
  EXPECT_GT(text.size(), 600u);
  const auto back = parse_max_file(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->run_max, 1e300);
}
