#include "dicom/voi_window.hpp"

#include <algorithm>
#include <cstring>

namespace dicom {
namespace {

// Monotone: the grey of every stored value, for a slope of either sign and
// with or without inversion, never decreases or never increases with it.
struct grey_of_value {
  const window_mapping& mapping;

  std::uint8_t operator()(std::int32_t value) const {
    const double modality = value * mapping.rescale_slope + mapping.rescale_intercept;
    const std::uint8_t grey = linear_voi(modality, mapping.window);
    return mapping.monochrome1 ? static_cast<std::uint8_t>(255 - grey) : grey;
  }
};

// The first value in (first, last] whose grey differs from that of `first`,
// or last + 1.
std::int32_t end_of_first_run(const grey_of_value& grey, std::int32_t first, std::int32_t last) {
  const std::uint8_t run_grey = grey(first);
  std::int32_t low = first + 1, high = last + 1;
  while (low < high) {
    const std::int32_t middle = low + (high - low) / 2;
    if (grey(middle) == run_grey) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

// The last value in [first, last) whose grey differs from that of `last`,
// or first - 1.
std::int32_t start_of_last_run(const grey_of_value& grey, std::int32_t first, std::int32_t last) {
  const std::uint8_t run_grey = grey(last);
  std::int32_t low = first - 1, high = last - 1;
  while (low < high) {
    const std::int32_t middle = high - (high - low) / 2;
    if (grey(middle) == run_grey) {
      high = middle - 1;
    } else {
      low = middle;
    }
  }
  return high;
}

// Sets the entries of the values first..last (first <= last) of a table of
// `count` entries indexed by the value's low bits.
void fill_values(std::uint8_t* table, std::int32_t count, std::int32_t first, std::int32_t last,
                 std::uint8_t grey) {
  if (first < 0) {
    const std::int32_t negative_last = std::min(last, -1);
    std::memset(table + first + count, grey, static_cast<std::size_t>(negative_last - first + 1));
    first = 0;
  }
  if (first <= last) std::memset(table + first, grey, static_cast<std::size_t>(last - first + 1));
}

}  // namespace

std::uint8_t linear_voi(double modality_value, const voi_window& window) {
  const double half_span = (window.width - 1.0) / 2.0;
  const double centre = window.centre - 0.5;
  // Written as "not above" so that a value that is not a number gives 0.
  if (!(modality_value > centre - half_span)) return 0;
  if (modality_value > centre + half_span) return 255;
  const double grey = ((modality_value - centre) / (window.width - 1.0) + 0.5) * 255.0;
  return static_cast<std::uint8_t>(std::clamp(grey, 0.0, 255.0));
}

void build_window_lut(const window_mapping& mapping, window_lut& lut) {
  const int bits = std::clamp(mapping.bits_stored, 1, 16);
  const std::int32_t count = std::int32_t{1} << bits;
  const std::int32_t first = mapping.signed_samples ? -(count / 2) : 0;
  const std::int32_t last = first + count - 1;
  const grey_of_value grey{mapping};
  std::uint8_t* table = lut.data();

  // Outside the window the grey is constant: fill those runs and compute
  // only the values between them.
  const std::int32_t middle_first = end_of_first_run(grey, first, last);
  fill_values(table, count, first, middle_first - 1, grey(first));
  if (middle_first <= last) {
    const std::int32_t middle_last = start_of_last_run(grey, middle_first, last);
    fill_values(table, count, middle_last + 1, last, grey(last));
    for (std::int32_t value = middle_first; value <= middle_last; ++value) {
      table[value & (count - 1)] = grey(value);
    }
  }
  if (mapping.padding) {
    const auto [padding_first, padding_last] = *mapping.padding;
    for (std::int32_t value = std::max(padding_first, first); value <= std::min(padding_last, last);
         ++value)
      table[value & (count - 1)] = 0;
  }
  // Bits above Bits Stored do not change the sample.
  for (std::size_t block = static_cast<std::size_t>(count); block < lut.size();
       block += static_cast<std::size_t>(count)) {
    std::memcpy(table + block, table, static_cast<std::size_t>(count));
  }
}

}  // namespace dicom
