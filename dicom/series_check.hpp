#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Checks of a converted series before anyone looks at it: one series, slices
// in order along the slice normal, no two at one place, no missing ones.
namespace dicom {

struct slice_facts {
  std::string file;  // as the messages name it
  std::string series_uid;
  std::optional<int> instance_number;
  std::optional<std::array<double, 3>> position;
  std::optional<std::array<double, 6>> orientation;
};

// What looks wrong, for the programs to word; `file` is the slice it is seen at.
struct series_warning {
  enum class kind {
    mixed_series,       // series_uid differs from other_file's other_uid
    mixed_orientation,  // orientation differs from other_file's
    out_of_order,       // key: what is compared; value after other_file's other_value; breaks
    shared_position,    // at other_file's place: value
    gap,                // value (spacing) after other_file, against other_value (the median)
  };
  kind what = kind::mixed_series;
  std::string file;
  std::string other_file;
  std::string key;  // "position along the slice normal" or "instance number"
  std::string series_uid, other_uid;
  double value = 0.0, other_value = 0.0;
  std::size_t breaks = 0;
};

// `slices` in the order their JPEG slices will be viewed in. Positions are
// compared along the normal of the first slice's orientation when every
// slice carries both; otherwise instance numbers when every slice has one.
std::vector<series_warning> check_series(const std::vector<slice_facts>& slices);

}  // namespace dicom
