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

// Maps `count` contiguous source pixels of `channels` samples by their first
// (blue or grey) sample. Eight pixels at a time become three whole 64-bit words
// (table entries have a zero top byte), stored one by one: that keeps a
// pseudo-colour row near the speed of a copy.
template <int channels, class Sample>
void map_row(const Sample* src, std::uint8_t* dst, int count, const std::uint32_t* table) {
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

// The table a render maps through.
const std::uint32_t* table_of(const slice_stack& stack, bool raw) {
  if (!stack.display) return raw ? grey_table().data() : pseudo_color_table().data();
  return raw ? stack.display->raw.data() : stack.display->pseudo.data();
}

bool copies_colour(const slice_stack& stack) {
  return !stack.display || stack.display->identity;
}

void copy_row(const slice_stack& stack, const cv::Mat& slice, int row, std::uint8_t* dst,
              bool raw) {
  const std::uint32_t* table = table_of(stack, raw);
  if (slice.depth() == CV_16U) {
    map_row<1>(slice.ptr<std::uint16_t>(row), dst, slice.cols, table);
  } else if (slice.channels() == 1) {
    map_row<1>(slice.ptr<std::uint8_t>(row), dst, slice.cols, table);
  } else if (raw && copies_colour(stack)) {
    std::memcpy(dst, slice.ptr<std::uint8_t>(row), 3 * static_cast<std::size_t>(slice.cols));
  } else if (raw) {
    // A window on colour slices maps each channel through the grey of its value.
    const std::uint8_t* src = slice.ptr<std::uint8_t>(row);
    for (int c = 0; c < 3 * slice.cols; ++c) dst[c] = static_cast<std::uint8_t>(table[src[c]]);
  } else {
    map_row<3>(slice.ptr<std::uint8_t>(row), dst, slice.cols, table);
  }
}

// Writes column `column` of a slice into one view row.
void copy_column(const slice_stack& stack, const cv::Mat& slice, int column, std::uint8_t* dst,
                 bool raw) {
  const std::uint32_t* table = table_of(stack, raw);
  const std::size_t step = slice.step[0];
  if (slice.depth() == CV_16U) {
    const auto* src = slice.ptr<std::uint8_t>(0) + 2 * static_cast<std::size_t>(column);
    for (int r = 0; r < slice.rows; ++r, src += step, dst += 3) {
      std::uint16_t sample;
      std::memcpy(&sample, src, sizeof sample);
      put_bgr(dst, table[sample]);
    }
    return;
  }
  const int channels = slice.channels();
  const std::uint8_t* src =
      slice.ptr<std::uint8_t>(0) + channels * static_cast<std::size_t>(column);
  if (raw && (channels == 1 || copies_colour(stack))) {
    const int second = channels == 1 ? 0 : 1, third = channels == 1 ? 0 : 2;
    const bool mapped = channels == 1 && stack.display && !stack.display->identity;
    for (int r = 0; r < slice.rows; ++r, src += step, dst += 3) {
      if (mapped) {
        put_bgr(dst, table[src[0]]);
        continue;
      }
      dst[0] = src[0];
      dst[1] = src[second];
      dst[2] = src[third];
    }
    return;
  }
  if (raw) {
    for (int r = 0; r < slice.rows; ++r, src += step, dst += 3)
      for (int k = 0; k < 3; ++k) dst[k] = static_cast<std::uint8_t>(table[src[k]]);
    return;
  }
  for (int r = 0; r < slice.rows; ++r, src += step, dst += 3) put_bgr(dst, table[src[0]]);
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

display_tables make_display_tables(std::span<const std::uint8_t> grey_of_sample) {
  display_tables tables;
  tables.raw.resize(grey_of_sample.size());
  tables.pseudo.resize(grey_of_sample.size());
  const color_table& pseudo = pseudo_color_table();
  tables.identity = grey_of_sample.size() == 256;
  for (std::size_t v = 0; v < grey_of_sample.size(); ++v) {
    const std::uint8_t grey = grey_of_sample[v];
    tables.raw[v] = grey * 0x010101u;
    tables.pseudo[v] = pseudo[grey];
    if (grey != v) tables.identity = false;
  }
  return tables;
}

void render_xz(const slice_stack& stack, const view_state& state, cv::Mat& view) {
  // Each row lies in another slice, beyond the reach of the hardware
  // prefetcher: rows are requested a few slices ahead of the one being mapped.
  constexpr int ahead = 4;
  const int n = stack.count();
  for (int i = 0; i < std::min(ahead, n); ++i) prefetch_row(slice_at(stack, i), state.y_posi);
  for (int i = 0; i < n; ++i) {
    const cv::Mat& slice = slice_at(stack, i);
    if (i + ahead < n) prefetch_row(slice_at(stack, i + ahead), state.y_posi);
    copy_row(stack, slice, state.y_posi, view.ptr<std::uint8_t>(target_row(i, n, state.flip_z)),
             state.raw_color);
  }
}

void render_yz(const slice_stack& stack, const view_state& state, cv::Mat& view) {
  const int n = stack.count();
  for (int i = 0; i < n; ++i) {
    copy_column(stack, slice_at(stack, i), state.x_posi,
                view.ptr<std::uint8_t>(target_row(i, n, state.flip_z)), state.raw_color);
  }
}

void render_xy(const slice_stack& stack, const view_state& state, cv::Mat& view) {
  const cv::Mat& slice = slice_at(stack, state.slice);
  for (int r = 0; r < slice.rows; ++r)
    copy_row(stack, slice, r, view.ptr<std::uint8_t>(r), state.raw_color);
}

}  // namespace triview
