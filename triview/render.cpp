#include "triview/render.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace triview {

namespace {

// Maps `count` contiguous source pixels by their blue byte. Eight pixels at a
// time become three whole 64-bit words (table entries have a zero top byte),
// stored one by one: that keeps a pseudo-colour row near the speed of a copy.
void map_row(const std::uint8_t* src, std::uint8_t* dst, int count) {
  const color_table& table = pseudo_color_table();
  int c = 0;
  for (; c + 8 <= count; c += 8, src += 24, dst += 24) {
    std::uint64_t p[8];
    for (int k = 0; k < 8; ++k) p[k] = table[src[3 * k]];
    const std::uint64_t w0 = p[0] | p[1] << 24 | p[2] << 48;
    const std::uint64_t w1 = p[2] >> 16 | p[3] << 8 | p[4] << 32 | p[5] << 56;
    const std::uint64_t w2 = p[5] >> 8 | p[6] << 16 | p[7] << 40;
    std::memcpy(dst, &w0, sizeof w0);
    std::memcpy(dst + 8, &w1, sizeof w1);
    std::memcpy(dst + 16, &w2, sizeof w2);
  }
  for (; c < count; ++c, src += 3, dst += 3) {
    const std::uint32_t bgr = table[src[0]];
    dst[0] = static_cast<std::uint8_t>(bgr);
    dst[1] = static_cast<std::uint8_t>(bgr >> 8);
    dst[2] = static_cast<std::uint8_t>(bgr >> 16);
  }
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

void prefetch_row(const cv::Mat& slice, int row) {
  const std::uint8_t* start = slice.ptr<std::uint8_t>(row);
  const std::size_t bytes = 3 * static_cast<std::size_t>(slice.cols);
  for (std::size_t offset = 0; offset < bytes; offset += 64) __builtin_prefetch(start + offset);
}

}  // namespace

void render_xz(const slice_stack& stack, const view_state& state, cv::Mat& view) {
  // Each row lies in another slice, beyond the reach of the hardware
  // prefetcher: rows are requested a few slices ahead of the one being mapped.
  constexpr int ahead = 4;
  const int n = stack.count();
  for (int i = 0; i < std::min(ahead, n); ++i)
    prefetch_row(stack.slices[static_cast<std::size_t>(i)], state.y_posi);
  for (int i = 0; i < n; ++i) {
    const cv::Mat& slice = stack.slices[static_cast<std::size_t>(i)];
    if (i + ahead < n)
      prefetch_row(stack.slices[static_cast<std::size_t>(i + ahead)], state.y_posi);
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
