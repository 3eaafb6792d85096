#pragma once

#include <memory>
#include <opencv2/core.hpp>
#include <vector>

#include "triview/pseudo_color.hpp"

namespace triview {

// Every slice is an 8-bit image of width x height with `channels` 1 (grey,
// what the converter writes) or 3 (blue, green, red); the loader refuses
// stacks whose slices differ in size, so the renderers rely on it. A grey
// slice shows as a colour slice whose three samples are equal would.
struct slice_stack {
  std::vector<cv::Mat> slices;
  int width = 0;
  int height = 0;
  int channels = 3;
  std::shared_ptr<void> storage;  // the block the slices point into, when they share one

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
