#include "dicom/voi_window.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace dicom {
namespace {

constexpr std::string_view window_words = "C,W or one of soft, lung, bone, brain, file, series";

std::string quoted(std::string_view text) {
  std::string result(1, '"');
  result.append(text);
  result += '"';
  return result;
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

struct number_result {
  double value = 0.0;
  std::string error;
};

// The whole of `text` as one finite number; `part` names it in the error.
number_result parse_number(std::string_view text, std::string_view part) {
  if (text.empty()) return {0.0, "missing " + std::string(part)};
  // from_chars takes a leading minus only; people also write +40.
  std::string_view digits = text;
  if (digits.front() == '+' && digits.size() > 1 && digits[1] != '-') digits.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc{} || end != digits.data() + digits.size()) {
    return {0.0, std::string(part) + " " + quoted(text) + " is not a number"};
  }
  if (!std::isfinite(value)) {
    return {0.0, std::string(part) + " " + quoted(text) + " is not a finite number"};
  }
  return {value, {}};
}

window_choice_result parse_centre_and_width(std::string_view value, std::size_t comma) {
  const auto centre = parse_number(value.substr(0, comma), "centre");
  if (!centre.error.empty()) return {std::nullopt, centre.error + " in " + quoted(value)};
  const auto width = parse_number(value.substr(comma + 1), "width");
  if (!width.error.empty()) return {std::nullopt, width.error + " in " + quoted(value)};
  if (width.value < 1.0) {
    return {std::nullopt, "width " + number_text(width.value) + " is below 1"};
  }
  return {window_choice{window_kind::fixed, {centre.value, width.value}, {}}, {}};
}

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

window_choice_result parse_window_value(std::string_view value) {
  if (value.empty()) return {std::nullopt, "empty value; give " + std::string(window_words)};
  if (value == "file") return {window_choice{window_kind::file, {}, {}}, {}};
  if (value == "series") return {window_choice{window_kind::series, {}, {}}, {}};
  for (const auto& preset : window_presets) {
    if (value == preset.name)
      return {window_choice{window_kind::fixed, preset.window, preset.name}, {}};
  }
  const std::size_t comma = value.find(',');
  if (comma != std::string_view::npos) return parse_centre_and_width(value, comma);
  if (!parse_number(value, "centre").error.empty()) {
    return {std::nullopt, quoted(value) + " is not " + std::string(window_words)};
  }
  return {std::nullopt, "missing width in " + quoted(value)};
}

void modality_range::include(const modality_range& other) {
  if (other.empty) return;
  if (empty) {
    *this = other;
    return;
  }
  min = std::min(min, other.min);
  max = std::max(max, other.max);
}

modality_range modality_extremes(double stored_min, double stored_max, double rescale_slope,
                                 double rescale_intercept) {
  const double from_min = stored_min * rescale_slope + rescale_intercept;
  const double from_max = stored_max * rescale_slope + rescale_intercept;
  return {std::min(from_min, from_max), std::max(from_min, from_max), false};
}

voi_window series_window(const modality_range& range) {
  // The linear part then runs from min (grey 0) to max (grey 255).
  return {(range.min + range.max) / 2.0 + 0.5, range.max - range.min + 1.0};
}

std::string no_file_window_problem() {
  return "no window center and width (0028,1050/1051) in the file; use --window C,W, "
         "a preset (soft, lung, bone, brain) or --window series";
}

file_window_result file_window(std::optional<double> window_center,
                               std::optional<double> window_width) {
  if (!window_center || !window_width) return {std::nullopt, no_file_window_problem()};
  if (!std::isfinite(*window_center) || !std::isfinite(*window_width)) {
    return {std::nullopt, "window center or width in the file is not a number; use --window C,W"};
  }
  if (*window_width < 1.0) {
    return {std::nullopt, "window width " + number_text(*window_width) +
                              " in the file is below 1; use --window C,W or --window series"};
  }
  return {voi_window{*window_center, *window_width}, {}};
}

}  // namespace dicom
