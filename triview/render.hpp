#pragma once

#include <cstdint>
#include <memory>
#include <opencv2/core.hpp>
#include <span>
#include <vector>

#include "triview/pseudo_color.hpp"

namespace triview {

// Every slice is an image of width x height with `channels` 1 (grey, what
// the converter writes, or 16-bit samples) or 3 (blue, green, red); the
// loader refuses stacks whose slices differ in size, so the renderers rely
// on it. A grey slice shows as a colour slice whose three samples are equal would.
// How samples become view pixels: for every sample value (256 of 8-bit
// slices, 65,536 of 16-bit ones) the packed blue | green << 8 | red << 16
// of its grey through the window, raw and in pseudo-colour.
struct display_tables {
  std::vector<std::uint32_t> raw;
  std::vector<std::uint32_t> pseudo;
  // Each sample its own grey: colour slices are then shown as they are.
  bool identity = true;
};

// The tables of a window given as the grey of every sample value.
display_tables make_display_tables(std::span<const std::uint8_t> grey_of_sample);

// Slices are CV_8UC1 or CV_8UC3 (JPEG stacks), or CV_16UC1 (stored DICOM
// samples, which only `display` makes greys of).
struct slice_stack {
  std::vector<cv::Mat> slices;
  int width = 0;
  int height = 0;
  int channels = 3;
  std::shared_ptr<void> storage;  // the block the slices point into, when they share one
  // Nothing: 8-bit samples shown as they are.
  std::shared_ptr<const display_tables> display;

  int count() const { return static_cast<int>(slices.size()); }
};

// What the renderers read besides the stack.
struct view_state {
  int y_posi = 0;
  int x_posi = 0;
  int slice = 0;
  bool flip_z = false;
  bool raw_color = false;
};

// Row of slice i in the x-z and y-z views: slice 0 is the bottom row unless
// flip_z. The mapping is its own inverse: it also gives the slice of a row.
inline int target_row(int slice_index, int slice_count, bool flip_z) {
  return flip_z ? slice_index : slice_count - 1 - slice_index;
}

// Views must already be CV_8UC3 of their size: x-z is W x N, y-z is H x N,
// x-y is W x H (width x height). Source and view strides may exceed the width.
void render_xz(const slice_stack& stack, const view_state& state, cv::Mat& view);
void render_yz(const slice_stack& stack, const view_state& state, cv::Mat& view);
void render_xy(const slice_stack& stack, const view_state& state, cv::Mat& view);

}  // namespace triview
