#include "triview/render.hpp"

#include <cstdint>
#include <cstring>

namespace triview {

namespace {

// Maps `count` contiguous source pixels by their blue byte. Each table word is
// stored whole, so a store spills one byte into the next pixel, which the next
// store overwrites; the last pixel is written byte-wise to stay inside the row.
void map_row(const std::uint8_t* src, std::uint8_t* dst, int count) {
  if (count <= 0) return;
  const color_table& table = pseudo_color_table();
  const int last = count - 1;
  for (int c = 0; c < last; ++c) {
    const std::uint32_t bgr = table[src[3 * c]];
    std::memcpy(dst + 3 * c, &bgr, sizeof bgr);
  }
  const std::uint32_t bgr = table[src[3 * last]];
  dst[3 * last] = static_cast<std::uint8_t>(bgr);
  dst[3 * last + 1] = static_cast<std::uint8_t>(bgr >> 8);
  dst[3 * last + 2] = static_cast<std::uint8_t>(bgr >> 16);
}

void copy_row(const std::uint8_t* src, std::uint8_t* dst, int count, bool raw_color) {
  if (raw_color) {
    std::memcpy(dst, src, 3 * static_cast<std::size_t>(count));
  } else {
    map_row(src, dst, count);
  }
}

// Writes `count` source pixels that lie `src_step` bytes apart into one view row.
void copy_column(const std::uint8_t* src, std::size_t src_step, std::uint8_t* dst, int count,
                 bool raw_color) {
  if (raw_color) {
    for (int r = 0; r < count; ++r, src += src_step) {
      dst[3 * r] = src[0];
      dst[3 * r + 1] = src[1];
      dst[3 * r + 2] = src[2];
    }
    return;
  }
  const color_table& table = pseudo_color_table();
  for (int r = 0; r < count; ++r, src += src_step) {
    const std::uint32_t bgr = table[src[0]];
    dst[3 * r] = static_cast<std::uint8_t>(bgr);
    dst[3 * r + 1] = static_cast<std::uint8_t>(bgr >> 8);
    dst[3 * r + 2] = static_cast<std::uint8_t>(bgr >> 16);
  }
}

}  // namespace

void render_xz(const slice_stack& stack, const view_state& state, cv::Mat& view) {
  const int n = stack.count();
  for (int i = 0; i < n; ++i) {
    const cv::Mat& slice = stack.slices[static_cast<std::size_t>(i)];
    copy_row(slice.ptr<std::uint8_t>(state.y_posi),
             view.ptr<std::uint8_t>(target_row(i, n, state.flip_z)), slice.cols, state.raw_color);
  }
}

void render_yz(const slice_stack& stack, const view_state& state, cv::Mat& view) {
  const int n = stack.count();
  for (int i = 0; i < n; ++i) {
    const cv::Mat& slice = stack.slices[static_cast<std::size_t>(i)];
    copy_column(slice.ptr<std::uint8_t>(0) + 3 * static_cast<std::size_t>(state.x_posi),
                slice.step[0], view.ptr<std::uint8_t>(target_row(i, n, state.flip_z)), slice.rows,
                state.raw_color);
  }
}

void render_xy(const slice_stack& stack, const view_state& state, cv::Mat& view) {
  const cv::Mat& slice = stack.slices[static_cast<std::size_t>(state.slice)];
  for (int r = 0; r < slice.rows; ++r) {
    copy_row(slice.ptr<std::uint8_t>(r), view.ptr<std::uint8_t>(r), slice.cols, state.raw_color);
  }
}

}  // namespace triview
