#include "slicejpeg/window.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace slicejpeg {
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

template <typename Sample>
image_range extremes_of(const std::uint8_t* bytes, std::size_t count) {
  const auto sample_at = [bytes](std::size_t i) {
    return static_cast<Sample>(static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));
  };
  Sample max = sample_at(0), min = max;
  for (std::size_t i = 1; i < count; ++i) {
    max = std::max(max, sample_at(i));
    min = std::min(min, sample_at(i));
  }
  return {static_cast<double>(max), static_cast<double>(min)};
}

}  // namespace

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

void apply_window_lut(std::span<const std::uint8_t> sample_bytes, const window_lut& lut,
                      std::span<std::uint8_t> out) {
  assert(sample_bytes.size() >= 2 * out.size());
  const std::uint8_t* bytes = sample_bytes.data();
  const std::size_t count = out.size();
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // One 16-bit load per sample and one store per eight: the loop is bound
    // by loads, and this halves them against byte-wise access.
    for (; i + 8 <= count; i += 8) {
      std::uint64_t greys = 0;
      for (std::size_t k = 0; k < 8; ++k) {
        std::uint16_t sample;
        std::memcpy(&sample, bytes + 2 * (i + k), 2);
        greys |= std::uint64_t{lut[sample]} << (8 * k);
      }
      std::memcpy(out.data() + i, &greys, 8);
    }
  }
  for (; i < count; ++i) out[i] = lut[bytes[2 * i] | std::size_t{bytes[2 * i + 1]} << 8];
}

image_range stored_extremes(std::span<const std::uint8_t> sample_bytes, std::size_t count,
                            bool signed_samples) {
  assert(count > 0 && sample_bytes.size() >= 2 * count);
  return signed_samples ? extremes_of<std::int16_t>(sample_bytes.data(), count)
                        : extremes_of<std::uint16_t>(sample_bytes.data(), count);
}

std::optional<image_range> windowed_extremes(
    std::span<const std::uint8_t> sample_bytes, std::size_t count, bool signed_samples,
    int bits_stored, const std::optional<std::array<std::int32_t, 2>>& padding) {
  const int bits = std::clamp(bits_stored, 1, 16);
  const std::uint32_t mask = (1u << bits) - 1, sign = 1u << (bits - 1);
  std::optional<image_range> range;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t pattern = (sample_bytes[2 * i] | sample_bytes[2 * i + 1] << 8) & mask;
    const auto value =
        static_cast<std::int32_t>(pattern) -
        (signed_samples && (pattern & sign) != 0 ? static_cast<std::int32_t>(mask) + 1 : 0);
    if (padding && value >= (*padding)[0] && value <= (*padding)[1]) continue;
    const auto v = static_cast<double>(value);
    if (!range) range = image_range{v, v};
    range->max = std::max(range->max, v);
    range->min = std::min(range->min, v);
  }
  return range;
}

image_range window_samples(std::span<const std::uint8_t> sample_bytes, bool signed_samples,
                           const window_lut& lut, std::span<std::uint8_t> out) {
  const image_range range = stored_extremes(sample_bytes, out.size(), signed_samples);
  apply_window_lut(sample_bytes, lut, out);
  return range;
}

const window_lut& window_lut_cache::lut_for(const window_mapping& mapping) {
  if (!lut_ || !(mapping == mapping_)) {
    if (!lut_) lut_ = std::make_unique<window_lut>();
    build_window_lut(mapping, *lut_);
    mapping_ = mapping;
  }
  return *lut_;
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

}  // namespace slicejpeg
