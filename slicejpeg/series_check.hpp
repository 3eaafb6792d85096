#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

// Checks of a converted series before anyone looks at it: one series, slices
// in order along the slice normal, no two at one place, no missing ones.
namespace slicejpeg {

struct slice_facts {
  std::string file;  // as the messages name it
  std::string series_uid;
  std::optional<int> instance_number;
  std::optional<std::array<double, 3>> position;
  std::optional<std::array<double, 6>> orientation;
};

struct series_warning {
  std::string file;
  std::string what;
};

// `slices` in the order their JPEG slices will be viewed in. Positions are
// compared along the normal of the first slice's orientation when every
// slice carries both; otherwise instance numbers when every slice has one.
std::vector<series_warning> check_series(const std::vector<slice_facts>& slices);

}  // namespace slicejpeg
