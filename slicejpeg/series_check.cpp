#include "slicejpeg/series_check.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "slicejpeg/messages.hpp"

namespace slicejpeg {
namespace {

constexpr double same_place = 1e-3;  // mm: positions are written with a few decimals
constexpr double orientation_tolerance = 1e-4;
constexpr std::string_view position_key = "position along the slice normal";
constexpr std::string_view instance_key = "instance number";

std::array<double, 3> normal_of(const std::array<double, 6>& o) {
  return {o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5], o[0] * o[4] - o[1] * o[3]};
}

void check_one_series(const std::vector<slice_facts>& slices,
                      std::vector<series_warning>& warnings) {
  const slice_facts& first = slices.front();
  for (const auto& slice : slices) {
    if (slice.series_uid.empty() || first.series_uid.empty() ||
        slice.series_uid == first.series_uid)
      continue;
    warnings.push_back(
        {slice.file, text::mixed_series(slice.series_uid, first.file, first.series_uid)});
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
          warnings.push_back({slice.file, text::mixed_orientation(slices.front().file)});
          return std::nullopt;
        }
    }
    const auto normal = normal_of(orientation);
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
  if (breaks > 0)
    warnings.push_back({slices[first_break].file,
                        text::out_of_order(key, slices[first_break - 1].file,
                                           values[first_break - 1], values[first_break], breaks)});
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
      warnings.push_back({slices[order[i]].file,
                          text::shared_position(key, slices[order[i - 1]].file, values[order[i]])});
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
      warnings.push_back(
          {slices[order[i]].file, text::gap(key, slices[order[i - 1]].file, spacing, median)});
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

}  // namespace slicejpeg
