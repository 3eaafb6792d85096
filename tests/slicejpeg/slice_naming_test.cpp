#include "slicejpeg/slice_naming.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace slicejpeg;

namespace {

// The whole naming road for a list, as the batch builds it.
std::vector<std::string> names_for(const std::vector<std::string>& paths,
                                   const std::string& list_name) {
  std::vector<std::optional<std::string>> numbers;
  for (const auto& path : paths) numbers.push_back(slice_number(path));
  const std::size_t width = number_width(numbers);
  const std::string out_dir = output_directory(paths.front());
  std::vector<std::string> names;
  for (const auto& number : numbers)
    names.push_back(
        number ? output_name(out_dir, list_prefix(list_name), padded_number(*number, width))
               : "(refused)");
  return names;
}

}  // namespace

TEST(slice_naming, prefix_is_the_list_name_up_to_its_last_underscore) {
  EXPECT_EQ(list_prefix("sample_list.txt"), "sample");
  EXPECT_EQ(list_prefix("stomach_list.txt"), "stomach");
  EXPECT_EQ(list_prefix("my_ct_list.txt"), "my_ct");
  EXPECT_EQ(list_prefix("lists/sample_list.txt"), "lists/sample");
  EXPECT_EQ(list_prefix("series.txt"), "series");
  EXPECT_EQ(list_prefix("my_dir/series.txt"), "my_dir/series");
  EXPECT_EQ(list_prefix("series"), "series");
  EXPECT_EQ(list_prefix(".hidden"), ".hidden");
}

TEST(slice_naming, names_follow_the_fixed_padding_below_1000_slices) {
  const std::vector<std::string> paths = {"sample/IM.1",    "sample/IM.12",    "sample/IM.123",
                                          "sample/IM.1234", "sample/CT.7.dcm", "sample/CT.7.DCM",
                                          "sample/IM.",     "other/IM.5"};
  const std::vector<std::string> expected = {"sample/sample001.jpg", "sample/sample012.jpg",
                                             "sample/sample123.jpg", "sample/sample1234.jpg",
                                             "sample/sample007.jpg", "sample/sample007.jpg",
                                             "sample/sample00.jpg",  "sample/sample005.jpg"};
  // IM.1234 alone would widen the run, so check it by itself.
  for (std::size_t i = 0; i < paths.size(); ++i)
    EXPECT_EQ(names_for({paths[i]}, "sample_list.txt").front(),
              i == 7 ? "other/sample005.jpg" : expected[i])
        << paths[i];
}

TEST(slice_naming, dcm_in_any_case_is_dropped_only_when_it_first_occurs_at_the_end) {
  const std::vector<std::pair<const char*, std::optional<std::string>>> cases = {
      {"sample/CT.7.dcm", "7"},          {"sample/CT.7.DCM", "7"},
      {"sample/CT.7.Dcm", "7"},          {"a.dcm/CT.7.dcm", "dcm"},
      {"A.DCM/CT.7.dcm", "dcm"},         {"sample/CT.dcm.3.dcm", "dcm"},
      {"sample/IM000001.DCM", "000001"}, {"sample/CT.DCM", std::nullopt},
      {"sample/CT.7.dicm", "dicm"},
  };
  for (const auto& [path, number] : cases) EXPECT_EQ(slice_number(path), number) << path;
  // A scanner's IM000001.DCM ... no longer collapse into one sampleDCM.jpg.
  EXPECT_EQ(names_for({"s/IM000001.DCM", "s/IM000120.DCM"}, "sample_list.txt"),
            (std::vector<std::string>{"s/sample000001.jpg", "s/sample000120.jpg"}));
}

TEST(slice_naming, a_base_without_a_dot_gives_its_trailing_digits) {
  EXPECT_EQ(slice_number("sample/IMG0001.dcm"), "0001");
  EXPECT_EQ(slice_number("sample/image7"), "7");
  EXPECT_EQ(slice_number("v1.2/image7"), "7");
  EXPECT_EQ(slice_number("sample/scan"), std::nullopt);
  EXPECT_EQ(slice_number("sample/"), std::nullopt);
  EXPECT_EQ(names_for({"IMG0001.dcm", "image7"}, "sample_list.txt"),
            (std::vector<std::string>{"sample0001.jpg", "sample0007.jpg"}));
  EXPECT_EQ(names_for({"image7"}, "series.txt"), (std::vector<std::string>{"series007.jpg"}));
}

TEST(slice_naming, a_run_of_more_than_999_slices_is_padded_to_the_widest_number) {
  std::vector<std::string> paths;
  for (int i = 1; i <= 1200; ++i) paths.push_back("sample/IM." + std::to_string(i));
  paths.push_back("sample/CT.ABC");
  const auto names = names_for(paths, "sample_list.txt");
  EXPECT_EQ(names[0], "sample/sample0001.jpg");
  EXPECT_EQ(names[99], "sample/sample0100.jpg");
  EXPECT_EQ(names[999], "sample/sample1000.jpg");
  EXPECT_EQ(names[1199], "sample/sample1200.jpg");
  EXPECT_EQ(names[1200], "sample/sampleABC.jpg");
  // Byte order of the names is slice order, which is what the viewer relies on.
  auto sorted = std::vector<std::string>(names.begin(), names.begin() + 1200);
  std::sort(sorted.begin(), sorted.end());
  EXPECT_TRUE(std::equal(sorted.begin(), sorted.end(), names.begin()));
}

TEST(slice_naming, width_counts_only_all_digit_numbers) {
  EXPECT_EQ(number_width({std::string("12"), std::string("DCM"), std::nullopt}), 2u);
  EXPECT_EQ(number_width({std::string("0001"), std::string("5")}), 4u);
  EXPECT_EQ(padded_number("5", 4), "0005");
  EXPECT_EQ(padded_number("12345", 4), "12345");
  EXPECT_EQ(padded_number("", 4), "00");
}
