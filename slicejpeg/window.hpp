#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "dicom/voi_window.hpp"
#include "slicejpeg/conversion.hpp"
#include "slicejpeg/messages.hpp"

// Window and level: 16-bit stored samples shown through a window in modality
// units (Hounsfield units for CT), with the choice of window made on the
// command line.
namespace slicejpeg {

using dicom::build_window_lut;
using dicom::linear_voi;
using dicom::voi_window;
using dicom::window_lut;
using dicom::window_mapping;

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

// Maps out.size() little-endian 16-bit samples from `sample_bytes` (at least
// 2 * out.size() bytes) through `lut`.
void apply_window_lut(std::span<const std::uint8_t> sample_bytes, const window_lut& lut,
                      std::span<std::uint8_t> out);

// The extremes of `count` little-endian 16-bit samples (count >= 1), read as
// signed or unsigned values: what a first pass over a series needs.
image_range stored_extremes(std::span<const std::uint8_t> sample_bytes, std::size_t count,
                            bool signed_samples);

// The extremes a window sees: samples masked to `bits_stored` (the sign
// taken from its top bit when signed), padding (first, last) left out;
// nothing when every sample is padding.
std::optional<image_range> windowed_extremes(
    std::span<const std::uint8_t> sample_bytes, std::size_t count, bool signed_samples,
    int bits_stored, const std::optional<std::array<std::int32_t, 2>>& padding);

// What the batch does with a slice under a window, in place of
// convert_samples: the stored extremes for the console and the max file
// (signed or unsigned 16-bit values), and the samples through `lut`.
image_range window_samples(std::span<const std::uint8_t> sample_bytes, bool signed_samples,
                           const window_lut& lut, std::span<std::uint8_t> out);

// The table of the last mapping asked for, rebuilt only when the mapping
// changes, so a series with one rescale and one window builds it once.
// One per thread.
class window_lut_cache {
 public:
  const window_lut& lut_for(const window_mapping& mapping);

 private:
  std::unique_ptr<window_lut> lut_;
  window_mapping mapping_;
};

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

}  // namespace slicejpeg
