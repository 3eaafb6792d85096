#include "slicejpeg/window.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "slicejpeg/command_line.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/temp_dir.hpp"

using namespace slicejpeg;

TEST(window, linear_voi_at_the_edges_truncates_like_dcmj2pnm) {
  const struct {
    voi_window window;
    double x;
    int grey;
  } cases[] = {
      {{40, 400}, -160, 0},  {{40, 400}, -159, 0},      {{40, 400}, 40, 127},
      {{40, 400}, 238, 254}, {{40, 400}, 239, 255},     {{40, 400}, 1e9, 255},
      {{0, 1}, -0.5, 0},     {{0, 1}, -0.49, 255},      {{0, 2}, -0.5, 127},
      {{40, 400}, NAN, 0},   {{-600, 1500}, -1000, 59},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(linear_voi(c.x, c.window), c.grey)
        << c.window.centre << "," << c.window.width << " x " << c.x;
  }
}

TEST(window, option_values_and_their_errors) {
  const struct {
    std::string value;
    window_choice choice;
    std::string error;
  } cases[] = {
      {"40,400", {window_kind::fixed, {40, 400}, {}}, ""},
      {"-600.5,1", {window_kind::fixed, {-600.5, 1}, {}}, ""},
      {"soft", {window_kind::fixed, {40, 400}, "soft"}, ""},
      {"lung", {window_kind::fixed, {-600, 1500}, "lung"}, ""},
      {"bone", {window_kind::fixed, {400, 1800}, "bone"}, ""},
      {"brain", {window_kind::fixed, {40, 80}, "brain"}, ""},
      {"file", {window_kind::file, {}, {}}, ""},
      {"series", {window_kind::series, {}, {}}, ""},
      {"", {}, "empty value; give C,W or one of soft, lung, bone, brain, file, series"},
      {"Soft", {}, "\"Soft\" is not C,W or one of soft, lung, bone, brain, file, series"},
      {"40", {}, "missing width in \"40\""},
      {",400", {}, "missing centre in \",400\""},
      {"40,400x", {}, "width \"400x\" is not a number in \"40,400x\""},
      {" 40,400", {}, "centre \" 40\" is not a number in \" 40,400\""},
      {"nan,400", {}, "centre \"nan\" is not a finite number in \"nan,400\""},
      {"40,0.5", {}, "width 0.5 is below 1"},
  };
  for (const auto& c : cases) {
    const auto parsed = parse_window_value(c.value);
    EXPECT_EQ(parsed.error, c.error) << c.value;
    if (c.error.empty()) {
      EXPECT_EQ(parsed.choice, c.choice) << c.value;
    }
  }
}

TEST(window, command_lines) {
  const window_choice none{}, soft{window_kind::fixed, {40, 400}, "soft"},
      numbers{window_kind::fixed, {40, 400}, {}};
  const struct {
    std::vector<std::string> args;
    std::string list;
    window_choice window;
    bool help;
    std::string problem;  // "subject: what"
  } cases[] = {
      {{}, "stomach_list.txt", none, false, ""},
      {{"a_list.txt", "more"}, "a_list.txt", none, false, ""},
      {{"-h"}, "stomach_list.txt", none, true, ""},
      {{"--window", "soft", "a_list.txt"}, "a_list.txt", soft, false, ""},
      {{"--window=40,400"}, "stomach_list.txt", numbers, false, ""},
      {{"--window", "bone", "--window", "soft"}, "stomach_list.txt", soft, false, ""},
      {{"a_list.txt", "--window", "soft"}, "a_list.txt", none, false, ""},
      {{"--", "-odd_list.txt"}, "-odd_list.txt", none, false, ""},
      {{"--window"}, "", none, false, "--window: missing value"},
      {{"-x", "a_list.txt"}, "", none, false, "-x: unknown option"},
      {{"--windows=soft"}, "", none, false, "--windows=soft: unknown option"},
      {{"-h", "a_list.txt"}, "", none, false, "-h: must be the only argument"},
  };
  for (const auto& c : cases) {
    const auto parsed = parse_command_line(c.args);
    const std::string label = c.args.empty() ? "(none)" : c.args[0];
    if (!c.problem.empty()) {
      EXPECT_FALSE(parsed.options) << label;
      EXPECT_EQ(parsed.problem.subject + ": " + parsed.problem.what, c.problem);
      continue;
    }
    ASSERT_TRUE(parsed.options) << label << ": " << parsed.problem.what;
    EXPECT_EQ(parsed.options->list_name, c.list) << label;
    EXPECT_EQ(parsed.options->window, c.window) << label;
    EXPECT_EQ(parsed.options->help, c.help) << label;
  }
}

namespace {

// The grey of one bit pattern straight from the definitions.
int expected_grey(const window_mapping& m, unsigned pattern) {
  const unsigned low_bits = pattern & ((1u << m.bits_stored) - 1);
  const double half = std::ldexp(1.0, m.bits_stored - 1);
  const double stored = m.signed_samples && low_bits >= half ? low_bits - 2 * half : low_bits;
  const int grey = linear_voi(stored * m.rescale_slope + m.rescale_intercept, m.window);
  return m.monochrome1 ? 255 - grey : grey;
}

}  // namespace

TEST(window, lut_matches_the_definition_for_every_pattern) {
  const voi_window soft{40, 400};
  const window_mapping mappings[] = {
      {soft, 1, 0, true, 16, false, {}},       {soft, 1, -1024, false, 16, false, {}},
      {soft, -1, 0, true, 16, false, {}},      {soft, 2.5, -1000.25, true, 16, true, {}},
      {soft, 1, -1024, false, 12, false, {}},  {soft, 1, 0, true, 12, true, {}},
      {{0, 1}, 0.001, 0, true, 16, false, {}}, {{1023.5, 65535}, 1, 0, true, 16, false, {}},
      {soft, 0, 40, true, 16, false, {}},      {{-600, 1500}, 1, -32768, false, 16, true, {}},
  };
  window_lut lut;
  for (const auto& m : mappings) {
    build_window_lut(m, lut);
    int wrong = 0;
    for (unsigned pattern = 0; pattern < lut.size(); ++pattern) {
      if (lut[pattern] != expected_grey(m, pattern) && ++wrong <= 3) {
        ADD_FAILURE() << "slope " << m.rescale_slope << " intercept " << m.rescale_intercept
                      << " signed " << m.signed_samples << " bits " << m.bits_stored << " pattern "
                      << pattern << ": " << int{lut[pattern]};
      }
    }
  }
  // Stored -1024 (0xFC00), 40 and 0x0FFF, little-endian, four times: eight
  // samples at a time and the rest one by one.
  const std::uint8_t three[] = {0x00, 0xFC, 0x28, 0x00, 0xFF, 0x0F};
  std::vector<std::uint8_t> bytes(24);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = three[i % 6];
  std::vector<std::uint8_t> out(12);
  const struct {
    window_mapping mapping;
    std::vector<std::uint8_t> grey;
  } images[] = {
      {{soft, 1, 0, true, 16, false, {}}, {0, 127, 255}},
      {{soft, 1, 0, false, 16, false, {}}, {255, 127, 255}},
      {{soft, 1, 0, true, 16, true, {}}, {255, 128, 0}},
      {{soft, 1, 0, true, 12, false, {}}, {0, 127, 101}},
  };
  for (const auto& image : images) {
    const auto& m = image.mapping;
    const auto range = window_samples(bytes, m.signed_samples, window_lut_cache{}.lut_for(m), out);
    for (std::size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], image.grey[i % 3]) << i;
    EXPECT_EQ(range.min, m.signed_samples ? -1024 : 40);
    EXPECT_EQ(range.max, m.signed_samples ? 4095 : 64512);
  }
}

TEST(window, series_and_file_windows) {
  const struct {
    double stored_min, stored_max, slope, intercept;
  } series[] = {
      {-1024, 3071, 1, 0}, {0, 4095, 1, -1024}, {-2000, 2000, -0.5, -1024.25}, {7, 7, 1, 0}};
  for (const auto& s : series) {
    modality_range range;
    range.include(modality_extremes(s.stored_min, s.stored_max, s.slope, s.intercept));
    const voi_window window = series_window(range);
    EXPECT_EQ(linear_voi(range.min, window), 0) << s.stored_min;
    EXPECT_EQ(linear_voi(range.max, window), range.min == range.max ? 0 : 255) << s.stored_max;
  }
  const auto swapped = modality_extremes(-1024, 3071, -1, 0);
  EXPECT_EQ(swapped.min, -3071);
  EXPECT_EQ(swapped.max, 1024);

  EXPECT_EQ(file_window(40.0, 400.0).window, (voi_window{40, 400}));
  EXPECT_EQ(file_window(40.0, 0.0).problem,
            "window width 0 in the file is below 1; use --window C,W or --window series");
}

namespace {

// CT_small.dcm's stored samples as raw little-endian bytes, its rescale and
// pixel representation, and dcmj2pnm's picture of it under a window.
const char* const dump_script = R"(
import os, sys, pydicom.data
path = os.path.join(os.path.dirname(pydicom.data.__file__), 'test_files', 'CT_small.dcm')
data = pydicom.dcmread(path)
data.pixel_array.astype('<u2').tofile(sys.argv[1])
print(path, data.get('RescaleSlope', 1), data.get('RescaleIntercept', 0), data.PixelRepresentation)
)";

}  // namespace

TEST(window, lut_matches_dcmj2pnm_on_a_real_ct_slice) {
  temp_dir dir;
  dir.write("dump.py", dump_script);
  const auto dumped = run_in(dir.path(), "/usr/bin/python3 dump.py samples.raw");
  if (dumped.status != 0) GTEST_SKIP() << "python3-pydicom is not installed: " << dumped.err;
  std::string source;
  window_mapping mapping;
  int representation = 0;
  std::istringstream(dumped.out) >> source >> mapping.rescale_slope >> mapping.rescale_intercept >>
      representation;
  mapping.signed_samples = representation == 1;
  const std::string samples = dir.read("samples.raw");

  for (const voi_window window : {voi_window{40, 400}, {-600, 1500}, {100.5, 7}}) {
    const std::string command = "dcmj2pnm +Ww " + std::to_string(window.centre) + " " +
                                std::to_string(window.width) + " --write-raw-pnm '" + source +
                                "' w.pgm";
    const auto rendered = run_in(dir.path(), command);
    ASSERT_EQ(rendered.status, 0) << "dcmtk is needed: " << rendered.err;
    std::istringstream pgm(dir.read("w.pgm"));
    std::string magic;
    std::size_t width = 0, height = 0, max_value = 0;
    pgm >> magic >> width >> height >> max_value;
    pgm.get();
    ASSERT_EQ(magic, "P5");
    ASSERT_EQ(2 * width * height, samples.size());
    const std::string expected(std::istreambuf_iterator<char>(pgm), {});

    mapping.window = window;
    std::string ours(width * height, '\0');
    apply_window_lut({reinterpret_cast<const std::uint8_t*>(samples.data()), samples.size()},
                     window_lut_cache{}.lut_for(mapping),
                     {reinterpret_cast<std::uint8_t*>(ours.data()), ours.size()});
    EXPECT_TRUE(ours == expected) << window.centre << "," << window.width;
  }
}

TEST(window, padding_is_black_and_high_bits_are_masked) {
  window_mapping mapping{
      {40, 400}, 1, -1024, true, 12, false, std::array<std::int32_t, 2>{-2000, -1990}};
  window_lut lut;
  build_window_lut(mapping, lut);
  const struct {
    std::uint16_t stored;
    int grey;
  } samples[] = {
      {static_cast<std::uint16_t>(-2000), 0},            // padding
      {static_cast<std::uint16_t>(-1995), 0},            // inside the padding range
      {1064, 127},                                       // 40 HU
      {static_cast<std::uint16_t>(0xF000 | 1064), 127},  // overlay bits above the 12 stored
  };
  for (const auto& s : samples) EXPECT_EQ(lut[s.stored], s.grey) << s.stored;

  const std::vector<std::uint8_t> bytes = {0x30, 0xF8, 0x28,
                                           0xF4, 0x00, 0x04};  // -2000, 0x428|0xF000, 1024
  const auto range =
      windowed_extremes(bytes, 3, true, 12, std::array<std::int32_t, 2>{-2000, -2000});
  ASSERT_TRUE(range);
  EXPECT_EQ(range->min, 1024.0);
  EXPECT_EQ(range->max, 1064.0);
  EXPECT_FALSE(windowed_extremes(bytes, 1, true, 16, std::array<std::int32_t, 2>{-2000, -2000}));
}
