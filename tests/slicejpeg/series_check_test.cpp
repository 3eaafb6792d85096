#include "dicom/series_check.hpp"

#include <gtest/gtest.h>

#include "slicejpeg/messages.hpp"

using namespace dicom;
using slicejpeg::text::describe;

namespace {

constexpr std::array<double, 6> axial = {1, 0, 0, 0, 1, 0};
constexpr std::array<double, 6> sagittal = {0, 1, 0, 0, 0, -1};

// Slices f1, f2 ... of series "s" at the given heights along the axial normal.
std::vector<slice_facts> at_heights(const std::vector<double>& heights) {
  std::vector<slice_facts> slices;
  for (std::size_t i = 0; i < heights.size(); ++i) {
    std::string name = "f";
    name += std::to_string(i + 1);
    slices.push_back(
        {name, "s", static_cast<int>(i + 1), std::array<double, 3>{10, 20, heights[i]}, axial});
  }
  return slices;
}

struct expected_warning {
  std::string file;
  std::string what;
};

struct series_case {
  const char* name;
  std::vector<slice_facts> slices;
  std::vector<expected_warning> expected;
};

}  // namespace

// Mixed series, shared positions and gaps are checked on whole runs
// (batch_rules_test.cpp).
TEST(series_check, warns_once_per_finding_and_names_the_files) {
  auto numbered = at_heights({0, 0, 0, 0});
  for (auto& slice : numbered) slice.position.reset();
  numbered[3].instance_number = 5;
  auto sagittal_row = at_heights({0, 0, 0});
  for (std::size_t i = 0; i < 3; ++i) {
    sagittal_row[i].orientation = sagittal;
    sagittal_row[i].position = std::array<double, 3>{static_cast<double>(i), 5, 5};
  }
  auto tilted = at_heights({0, 5, 10});
  tilted[1].orientation = sagittal;
  auto unplaced = at_heights({0, 5, 10});
  unplaced[1].position.reset();
  unplaced[1].instance_number.reset();
  const std::vector<series_case> cases = {
      {"regular", at_heights({0, 5, 10, 15, 20}), {}},
      {"descending", at_heights({20, 15, 10, 5, 0}), {}},
      {"two slices", at_heights({0, 50}), {}},
      {"out of order",
       at_heights({0, 5, 15, 10, 20}),
       {{"f4",
         "warning: position along the slice normal 10 after 15 of f3: the slices are not "
         "in order along the slice normal"}}},
      {"shuffled",
       at_heights({0, 10, 5, 20, 15, 25}),
       {{"f3",
         "warning: position along the slice normal 5 after 10 of f2: the slices are not in "
         "order along the slice normal (2 places)"}}},
      {"instance numbers",
       numbered,
       {{"f4",
         "warning: instance number gap of 2 from f3, more than 1.5 times the median "
         "spacing 1: slices may be missing"}}},
      {"sagittal", sagittal_row, {}},
      {"tilted",
       tilted,
       {{"f2", "warning: image orientation differs from f1: slice positions are not checked"}}},
      {"unplaced", unplaced, {}},
  };
  for (const auto& c : cases) {
    const auto warnings = check_series(c.slices);
    ASSERT_EQ(warnings.size(), c.expected.size()) << c.name;
    for (std::size_t i = 0; i < warnings.size(); ++i) {
      EXPECT_EQ(warnings[i].file, c.expected[i].file) << c.name;
      EXPECT_EQ(describe(warnings[i]), c.expected[i].what) << c.name;
    }
  }
}
