#pragma once

#include <array>
#include <cstdint>
#include <optional>

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

}  // namespace dicom
