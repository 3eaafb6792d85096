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
using dicom::file_window;
using dicom::file_window_result;
using dicom::linear_voi;
using dicom::modality_extremes;
using dicom::modality_range;
using dicom::no_file_window_problem;
using dicom::parse_window_value;
using dicom::series_window;
using dicom::voi_window;
using dicom::window_choice;
using dicom::window_choice_result;
using dicom::window_kind;
using dicom::window_lut;
using dicom::window_mapping;
using dicom::window_preset;
using dicom::window_presets;

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

}  // namespace slicejpeg
