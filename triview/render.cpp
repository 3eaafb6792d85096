#include "triview/render.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace triview {

namespace {

void put_bgr(std::uint8_t* dst, std::uint32_t bgr) {
  dst[0] = static_cast<std::uint8_t>(bgr);
  dst[1] = static_cast<std::uint8_t>(bgr >> 8);
  dst[2] = static_cast<std::uint8_t>(bgr >> 16);
}

// Maps `count` contiguous source pixels of `channels` bytes by their first
// (blue or grey) byte. Eight pixels at a time become three whole 64-bit words
// (table entries have a zero top byte), stored one by one: that keeps a
// pseudo-colour row near the speed of a copy.
template <int channels>
void map_row(const std::uint8_t* src, std::uint8_t* dst, int count, const color_table& table) {
  int c = 0;
  for (; c + 8 <= count; c += 8, src += 8 * channels, dst += 24) {
    std::uint64_t p[8];
    for (int k = 0; k < 8; ++k) p[k] = table[src[channels * k]];
    const std::uint64_t w0 = p[0] | p[1] << 24 | p[2] << 48;
    const std::uint64_t w1 = p[2] >> 16 | p[3] << 8 | p[4] << 32 | p[5] << 56;
    const std::uint64_t w2 = p[5] >> 8 | p[6] << 16 | p[7] << 40;
    std::memcpy(dst, &w0, sizeof w0);
    std::memcpy(dst + 8, &w1, sizeof w1);
    std::memcpy(dst + 16, &w2, sizeof w2);
  }
  for (; c < count; ++c, src += channels, dst += 3) put_bgr(dst, table[src[0]]);
}

// Raw grey: the one sample in all three channels, as imread's colour image has it.
const color_table& grey_table() {
  static const color_table table = [] {
    color_table t{};
    for (std::uint32_t v = 0; v < t.size(); ++v) t[v] = v * 0x010101u;
    return t;
  }();
  return table;
}

void copy_row(const std::uint8_t* src, std::uint8_t* dst, int count, int channels, bool raw) {
  if (channels == 1) {
    map_row<1>(src, dst, count, raw ? grey_table() : pseudo_color_table());
  } else if (raw) {
    std::memcpy(dst, src, 3 * static_cast<std::size_t>(count));
  } else {
    map_row<3>(src, dst, count, pseudo_color_table());
  }
}

// Writes `count` source pixels that lie `src_step` bytes apart into one view row.
void copy_column(const std::uint8_t* src, std::size_t src_step, std::uint8_t* dst, int count,
                 int channels, bool raw) {
  if (raw) {
    const int second = channels == 1 ? 0 : 1, third = channels == 1 ? 0 : 2;
    for (int r = 0; r < count; ++r, src += src_step, dst += 3) {
      dst[0] = src[0];
      dst[1] = src[second];
      dst[2] = src[third];
    }
    return;
  }
  const color_table& table = pseudo_color_table();
  for (int r = 0; r < count; ++r, src += src_step, dst += 3) put_bgr(dst, table[src[0]]);
}

void prefetch_row(const cv::Mat& slice, int row) {
  const std::uint8_t* start = slice.ptr<std::uint8_t>(row);
  const std::size_t bytes = slice.elemSize() * static_cast<std::size_t>(slice.cols);
  for (std::size_t offset = 0; offset < bytes; offset += 64) __builtin_prefetch(start + offset);
}

const cv::Mat& slice_at(const slice_stack& stack, int i) {
  return stack.slices[static_cast<std::size_t>(i)];
}

}  // namespace

void render_xz(const slice_stack& stack, const view_state& state, cv::Mat& view) {
  // Each row lies in another slice, beyond the reach of the hardware
  // prefetcher: rows are requested a few slices ahead of the one being mapped.
  constexpr int ahead = 4;
  const int n = stack.count();
  for (int i = 0; i < std::min(ahead, n); ++i) prefetch_row(slice_at(stack, i), state.y_posi);
  for (int i = 0; i < n; ++i) {
    const cv::Mat& slice = slice_at(stack, i);
    if (i + ahead < n) prefetch_row(slice_at(stack, i + ahead), state.y_posi);
    copy_row(slice.ptr<std::uint8_t>(state.y_posi),
             view.ptr<std::uint8_t>(target_row(i, n, state.flip_z)), slice.cols, slice.channels(),
             state.raw_color);
  }
}

void render_yz(const slice_stack& stack, const view_state& state, cv::Mat& view) {
  const int n = stack.count();
  for (int i = 0; i < n; ++i) {
    const cv::Mat& slice = slice_at(stack, i);
    const std::size_t offset = slice.elemSize() * static_cast<std::size_t>(state.x_posi);
    copy_column(slice.ptr<std::uint8_t>(0) + offset, slice.step[0],
                view.ptr<std::uint8_t>(target_row(i, n, state.flip_z)), slice.rows,
                slice.channels(), state.raw_color);
  }
}

void render_xy(const slice_stack& stack, const view_state& state, cv::Mat& view) {
  const cv::Mat& slice = slice_at(stack, state.slice);
  for (int r = 0; r < slice.rows; ++r) {
    copy_row(slice.ptr<std::uint8_t>(r), view.ptr<std::uint8_t>(r), slice.cols, slice.channels(),
             state.raw_color);
  }
}

}  // namespace triview
