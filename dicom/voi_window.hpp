#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Window and level: DICOM's linear VOI function from stored samples, through
// their modality values (Hounsfield units for CT), to 8-bit greys.
namespace dicom {

// A centre and a width in modality units; the width is at least 1.
struct voi_window {
  double centre = 0.0;
  double width = 1.0;
  bool operator==(const voi_window&) const = default;
};

// DICOM's linear VOI function onto 0..255, truncated as dcmj2pnm does:
// 0 up to c - 0.5 - (w - 1) / 2, 255 above c - 0.5 + (w - 1) / 2, linear between.
// (40, 400): -160 => 0, 40 => 127 (127.8), 238 => 254, 239 => 255.
std::uint8_t linear_voi(double modality_value, const voi_window& window);

// Everything that decides the grey of a stored sample.
struct window_mapping {
  voi_window window;
  double rescale_slope = 1.0;  // modality value = stored * slope + intercept
  double rescale_intercept = 0.0;
  bool signed_samples = true;  // Pixel Representation 1: two's complement
  int bits_stored = 16;        // bits above these in a sample are ignored
  bool monochrome1 = false;    // the lowest value is white: inverted after windowing
  // Stored values outside the scanned field, written black: first, last.
  std::optional<std::array<std::int32_t, 2>> padding;
  bool operator==(const window_mapping&) const = default;
};

// The grey of every 16-bit stored sample bit pattern, indexed by the pattern.
using window_lut = std::array<std::uint8_t, 65536>;

// Fills `lut` for `mapping`; costs a few microseconds for the usual windows,
// since only the samples inside the window are computed one by one.
void build_window_lut(const window_mapping& mapping, window_lut& lut);

struct window_preset {
  std::string_view name;
  voi_window window;
};

inline constexpr std::array<window_preset, 4> window_presets = {{
    {"soft", {40.0, 400.0}},
    {"lung", {-600.0, 1500.0}},
    {"bone", {400.0, 1800.0}},
    {"brain", {40.0, 80.0}},
}};

enum class window_kind {
  none,    // the default conversion, (sample - image minimum) mod 256
  fixed,   // a centre and width given as numbers or by a preset
  file,    // each file's own first Window Center / Window Width
  series,  // one window from the lowest to the highest modality value of the series
};

struct window_choice {
  window_kind kind = window_kind::none;
  voi_window window;        // for window_kind::fixed
  std::string_view preset;  // its name when a preset (in Hounsfield units) gave it
  bool operator==(const window_choice&) const = default;
};

// A value of --window, or what is wrong with it (for "slicejpeg: --window: ...").
struct window_choice_result {
  std::optional<window_choice> choice;
  std::string error;
};

// "40,400" => fixed {40, 400}; "lung" => fixed {-600, 1500}; "series" => series;
// "40" => error "missing width in \"40\""; "40,0.5" => error "width 0.5 is below 1".
window_choice_result parse_window_value(std::string_view value);

// The lowest and highest modality value of a series.
struct modality_range {
  double min = 0.0;
  double max = 0.0;
  bool empty = true;

  void include(const modality_range& other);
};

// The modality extremes of a slice from its stored extremes: a negative slope
// swaps them. (-1024 .. 3071, slope -1, intercept 0) => -3071 .. 1024.
modality_range modality_extremes(double stored_min, double stored_max, double rescale_slope,
                                 double rescale_intercept);

// The one window of a series: its lowest value gives 0 and its highest 255.
// A series of one value only gives width 1 placed so that it comes out 0,
// like a constant image under the default conversion.
voi_window series_window(const modality_range& range);

// The first Window Center / Window Width of a file, or what is wrong with
// them (for "slicejpeg: FILE: ...").
struct file_window_result {
  std::optional<voi_window> window;
  std::string problem;
};
file_window_result file_window(std::optional<double> window_center,
                               std::optional<double> window_width);

// Why a file cannot be shown with --window file, and what to use instead.
std::string no_file_window_problem();

}  // namespace dicom
