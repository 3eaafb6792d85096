#include "triview/dicom_volume.hpp"

#include <gtest/gtest.h>

#include "tests/support/dicom_bytes.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

struct no_decoder final : dicom::pixel_decoder {
  dicom::compressed_frames decode(std::span<const std::uint8_t>) override {
    dicom::compressed_frames none;
    none.problem = "no decoder in this test";
    return none;
  }
};

struct slice_fields {
  std::string name;
  double z;
  int value;  // every sample
  std::string series = "1.2.3";
  std::string intercept = "-1024";
};

// A Part-10 CT slice of 2 x 3 samples at height z.
std::string ct_slice(const slice_fields& fields) {
  dicom_bytes data_set{true, false, {}};
  data_set.text(0x0008, 0x0060, "CS", "CT").text(0x0020, 0x000E, "UI", fields.series);
  data_set.text(0x0020, 0x0011, "IS", fields.series == "1.2.3" ? "2" : "3");
  data_set.text(0x0020, 0x0032, "DS", "0\\0\\" + std::to_string(fields.z));
  data_set.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0");
  data_set.text(0x0028, 0x0030, "DS", "0.5\\0.5");
  data_set.image(2, 3).us(0x0028, 0x0103, 0);
  data_set.text(0x0028, 0x1050, "DS", "40").text(0x0028, 0x1051, "DS", "400");
  data_set.text(0x0028, 0x1052, "DS", fields.intercept).text(0x0028, 0x1053, "DS", "1");
  data_set.pixels(std::vector<int>(6, fields.value));
  const auto bytes = part10_file("1.2.840.10008.1.2.1", data_set.bytes);
  return {bytes.begin(), bytes.end()};
}

struct volume_test : ::testing::Test {
  temp_dir dir;
  std::vector<std::string> write(const std::vector<slice_fields>& slices) {
    std::vector<std::string> listed;
    for (const auto& fields : slices) {
      dir.write(fields.name, ct_slice(fields));
      listed.push_back((dir / fields.name).string());
    }
    return listed;
  }
  triview::dicom_load_result load(const std::vector<std::string>& paths,
                                  std::optional<std::string> series = std::nullopt) {
    triview::dicom_load_options options;
    options.series = std::move(series);
    options.threads = 2;
    options.list_name = "ct_list.txt";
    options.make_decoder = [] { return std::make_unique<no_decoder>(); };
    return triview::load_dicom_volume(paths, options);
  }
};

std::vector<int> first_samples(const triview::slice_stack& stack) {
  std::vector<int> samples;
  for (const auto& slice : stack.slices) samples.push_back(slice.at<std::uint16_t>(0, 0));
  return samples;
}

TEST_F(volume_test, slices_come_in_anatomical_order_with_their_window_and_geometry) {
  // Listed vertex first, as scanners number a head.
  const auto paths = write({{"IM1", 20, 1064}, {"IM2", 10, 1044}, {"IM3", 0, 1024}});
  const auto result = load(paths);
  ASSERT_TRUE(result.volume) << (result.refusal.empty() ? "" : result.refusal[0].what);
  const auto& volume = *result.volume;
  EXPECT_EQ(first_samples(volume.stack), (std::vector<int>{1024, 1044, 1064}));
  EXPECT_EQ(volume.stack.slices[0].type(), CV_16UC1);
  EXPECT_EQ(volume.mapping.window, (dicom::voi_window{40, 400}));  // the files' own
  EXPECT_EQ(volume.mapping.rescale_intercept, -1024);
  EXPECT_DOUBLE_EQ(*volume.geometry.z_scale(), 20.0);  // 10 mm over 0.5 mm pixels
  ASSERT_NE(volume.stack.display, nullptr);
  EXPECT_EQ(volume.stack.display->raw[1064] & 0xFF, 127u);  // 40 HU in 40,400
}

TEST_F(volume_test, different_rescales_are_held_as_modality_values) {
  const auto paths = write({{"IM1", 0, 1024}, {"IM2", 10, 1000, "1.2.3", "0"}});
  const auto result = load(paths);
  ASSERT_TRUE(result.volume);
  EXPECT_EQ(first_samples(result.volume->stack), (std::vector<int>{0, 1000}));
  EXPECT_EQ(result.volume->mapping.rescale_intercept, 0);
}

TEST_F(volume_test, lists_that_are_not_one_dicom_series_are_refused_with_what_they_hold) {
  const auto two = write({{"A1", 0, 1024}, {"A2", 5, 1024}, {"B1", 0, 1024, "9.9"}});
  auto result = load(two);
  EXPECT_FALSE(result.volume);
  ASSERT_EQ(result.refusal.size(), 4u);
  EXPECT_EQ(result.refusal[0].what, "2 series in one list; show one with --series");
  EXPECT_EQ(result.refusal[1].what, "series 2: CT, 2 slices, axial");
  EXPECT_EQ(result.refusal[3].what, "show one with \"triview --series 2 ct_list.txt\"");
  result = load(two, "3");
  ASSERT_TRUE(result.volume);
  EXPECT_EQ(result.volume->stack.count(), 1);

  dir.write("x.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + std::string(200, '\0'));
  result = load({two[0], (dir / "x.jpg").string()});
  ASSERT_EQ(result.refusal.size(), 1u);
  EXPECT_EQ(result.refusal[0].subject, (dir / "x.jpg").string());
  EXPECT_EQ(result.refusal[0].what,
            "is a JPEG image in a list of DICOM files: a list holds JPEG slices or DICOM slices, "
            "not both");
}

}  // namespace
