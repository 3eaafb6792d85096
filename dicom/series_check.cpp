#include "dicom/series_check.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "dicom/stack_order.hpp"

namespace dicom {
namespace {

constexpr double same_place = 1e-3;  // mm: positions are written with a few decimals
constexpr double orientation_tolerance = 1e-4;

series_warning warning_at(series_warning::kind what, const slice_facts& slice,
                          const slice_facts& other) {
  series_warning warning;
  warning.what = what;
  warning.file = slice.file;
  warning.other_file = other.file;
  return warning;
}

// A warning about the values compared along `key`.
series_warning compared(series_warning::kind what, const slice_facts& slice,
                        const slice_facts& other, std::string_view key, double value,
                        double other_value = 0.0) {
  series_warning warning = warning_at(what, slice, other);
  warning.key = key;
  warning.value = value;
  warning.other_value = other_value;
  return warning;
}
constexpr std::string_view position_key = "position along the slice normal";
constexpr std::string_view instance_key = "instance number";

void check_one_series(const std::vector<slice_facts>& slices,
                      std::vector<series_warning>& warnings) {
  const slice_facts& first = slices.front();
  for (const auto& slice : slices) {
    if (slice.series_uid.empty() || first.series_uid.empty() ||
        slice.series_uid == first.series_uid)
      continue;
    series_warning warning = warning_at(series_warning::kind::mixed_series, slice, first);
    warning.series_uid = slice.series_uid;
    warning.other_uid = first.series_uid;
    warnings.push_back(std::move(warning));
    return;  // the first of another series says it; one line is enough
  }
}

// One coordinate per slice for the order checks, or nothing when the slices
// do not all carry one.
std::optional<std::vector<double>> coordinates(const std::vector<slice_facts>& slices,
                                               std::string_view& key,
                                               std::vector<series_warning>& warnings) {
  const bool placed = std::all_of(slices.begin(), slices.end(),
                                  [](const slice_facts& s) { return s.position && s.orientation; });
  std::vector<double> values;
  if (placed) {
    const auto& orientation = *slices.front().orientation;
    for (const auto& slice : slices) {
      for (std::size_t i = 0; i < 6; ++i)
        if (std::abs((*slice.orientation)[i] - orientation[i]) > orientation_tolerance) {
          warnings.push_back(
              warning_at(series_warning::kind::mixed_orientation, slice, slices.front()));
          return std::nullopt;
        }
    }
    const auto normal = anatomical_normal(orientation);
    for (const auto& slice : slices) {
      const auto& p = *slice.position;
      values.push_back(p[0] * normal[0] + p[1] * normal[1] + p[2] * normal[2]);
    }
    key = position_key;
    return values;
  }
  const bool numbered = std::all_of(slices.begin(), slices.end(),
                                    [](const slice_facts& s) { return s.instance_number; });
  if (!numbered) return std::nullopt;
  for (const auto& slice : slices) values.push_back(*slice.instance_number);
  key = instance_key;
  return values;
}

void check_order(const std::vector<slice_facts>& slices, const std::vector<double>& values,
                 std::string_view key, std::vector<series_warning>& warnings) {
  const double direction = values.back() - values.front();
  std::size_t breaks = 0, first_break = 0;
  for (std::size_t i = 1; i < values.size(); ++i) {
    const double step = values[i] - values[i - 1];
    if (std::abs(step) <= same_place || direction == 0 || (step > 0) == (direction > 0)) continue;
    if (breaks++ == 0) first_break = i;
  }
  if (breaks == 0) return;
  series_warning warning =
      compared(series_warning::kind::out_of_order, slices[first_break], slices[first_break - 1],
               key, values[first_break], values[first_break - 1]);
  warning.breaks = breaks;
  warnings.push_back(std::move(warning));
}

void check_spacing(const std::vector<slice_facts>& slices, const std::vector<double>& values,
                   std::string_view key, std::vector<series_warning>& warnings) {
  std::vector<std::size_t> order(values.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return values[a] < values[b]; });
  std::vector<double> spacings;
  for (std::size_t i = 1; i < order.size(); ++i) {
    const double spacing = values[order[i]] - values[order[i - 1]];
    if (spacing <= same_place)
      warnings.push_back(compared(series_warning::kind::shared_position, slices[order[i]],
                                  slices[order[i - 1]], key, values[order[i]]));
    else
      spacings.push_back(spacing);
  }
  if (spacings.size() < 2) return;
  std::vector<double> sorted = spacings;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2),
                   sorted.end());
  const double median = sorted[sorted.size() / 2];
  for (std::size_t i = 1; i < order.size(); ++i) {
    const double spacing = values[order[i]] - values[order[i - 1]];
    if (spacing > 1.5 * median)
      warnings.push_back(compared(series_warning::kind::gap, slices[order[i]], slices[order[i - 1]],
                                  key, spacing, median));
  }
}

}  // namespace

std::vector<series_warning> check_series(const std::vector<slice_facts>& slices) {
  std::vector<series_warning> warnings;
  if (slices.size() < 2) return warnings;
  check_one_series(slices, warnings);
  if (!warnings.empty()) return warnings;  // positions of two series say nothing
  std::string_view key;
  const auto values = coordinates(slices, key, warnings);
  if (!values) return warnings;
  check_order(slices, *values, key, warnings);
  check_spacing(slices, *values, key, warnings);
  return warnings;
}

}  // namespace dicom
