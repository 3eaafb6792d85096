#include "triview/render.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <opencv2/core.hpp>

#include "triview/pseudo_color.hpp"

namespace {

cv::Vec3b mapped(std::uint8_t v) {
  std::uint8_t out[3];
  triview::pseudo_color(out, v, 256);
  return {out[0], out[1], out[2]};
}

// Slice i, pixel (r, c) holds blue 40i + 5r + c, green and red different from
// it, so a renderer that reads the wrong byte or pixel shows.
cv::Vec3b source_pixel(int i, int r, int c) {
  const auto blue = static_cast<std::uint8_t>(40 * i + 5 * r + c);
  return {blue, static_cast<std::uint8_t>(blue + 100), static_cast<std::uint8_t>(200 - blue)};
}

// Slices are windows into wider images, so their row stride exceeds 3 x width.
triview::slice_stack make_stack(int width, int height, int count, std::vector<cv::Mat>& owners) {
  triview::slice_stack stack;
  stack.width = width;
  stack.height = height;
  for (int i = 0; i < count; ++i) {
    owners.emplace_back(height, width + 3, CV_8UC3, cv::Scalar(1, 2, 3));
    cv::Mat slice = owners.back()(cv::Rect(1, 0, width, height));
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < width; ++c) slice.at<cv::Vec3b>(r, c) = source_pixel(i, r, c);
    stack.slices.push_back(slice);
  }
  return stack;
}

// A view inside a larger canvas whose border must stay untouched.
struct guarded_view {
  cv::Mat canvas;
  cv::Mat view;
  guarded_view(int rows, int cols)
      : canvas(rows + 2, cols + 2, CV_8UC3, cv::Scalar(9, 9, 9)),
        view(canvas(cv::Rect(1, 1, cols, rows))) {}
  // The renderers must write nothing outside the view, whatever its stride.
  bool border_intact() const {
    const cv::Rect inner(1, 1, view.cols, view.rows);
    for (int r = 0; r < canvas.rows; ++r)
      for (int c = 0; c < canvas.cols; ++c)
        if (!inner.contains({c, r}) && canvas.at<cv::Vec3b>(r, c) != cv::Vec3b(9, 9, 9))
          return false;
    return true;
  }
};

class render : public ::testing::Test {
 protected:
  // 19 columns: two blocks of eight pixels and a tail for the row mapper.
  static constexpr int width = 19, height = 4, count = 3;
  std::vector<cv::Mat> owners;
  triview::slice_stack stack = make_stack(width, height, count, owners);
  triview::view_state state{.y_posi = 2, .x_posi = 13, .slice = 1};
};

TEST_F(render, xz_takes_row_y_posi_and_puts_slice_0_at_the_bottom) {
  for (const bool raw : {false, true}) {
    state.raw_color = raw;
    guarded_view out(count, width);
    triview::render_xz(stack, state, out.view);
    for (int i = 0; i < count; ++i)
      for (int c = 0; c < width; ++c) {
        const cv::Vec3b src = source_pixel(i, state.y_posi, c);
        EXPECT_EQ(out.view.at<cv::Vec3b>(count - 1 - i, c), raw ? src : mapped(src[0]))
            << "slice " << i << " column " << c << " raw " << raw;
      }
    EXPECT_TRUE(out.border_intact());
  }
}

TEST_F(render, flip_z_puts_slice_0_at_the_top) {
  state.flip_z = true;
  state.raw_color = true;
  cv::Mat xz(count, width, CV_8UC3), yz(count, height, CV_8UC3);
  triview::render_xz(stack, state, xz);
  triview::render_yz(stack, state, yz);
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(xz.at<cv::Vec3b>(i, 0), source_pixel(i, state.y_posi, 0));
    EXPECT_EQ(yz.at<cv::Vec3b>(i, 0), source_pixel(i, 0, state.x_posi));
  }
  EXPECT_EQ(triview::target_row(0, 3, false), 2);
  EXPECT_EQ(triview::target_row(2, 3, false), 0);
  EXPECT_EQ(triview::target_row(0, 3, true), 0);
}

TEST_F(render, yz_lays_column_x_posi_out_left_to_right_by_row) {
  for (const bool raw : {false, true}) {
    state.raw_color = raw;
    guarded_view out(count, height);
    triview::render_yz(stack, state, out.view);
    for (int i = 0; i < count; ++i)
      for (int r = 0; r < height; ++r) {
        const cv::Vec3b src = source_pixel(i, r, state.x_posi);
        EXPECT_EQ(out.view.at<cv::Vec3b>(count - 1 - i, r), raw ? src : mapped(src[0]))
            << "slice " << i << " row " << r << " raw " << raw;
      }
    EXPECT_TRUE(out.border_intact());
  }
}

TEST_F(render, xy_copies_or_maps_every_pixel_of_the_slice) {
  for (const bool raw : {false, true}) {
    state.raw_color = raw;
    guarded_view out(height, width);
    triview::render_xy(stack, state, out.view);
    for (int r = 0; r < height; ++r)
      for (int c = 0; c < width; ++c) {
        const cv::Vec3b src = source_pixel(state.slice, r, c);
        EXPECT_EQ(out.view.at<cv::Vec3b>(r, c), raw ? src : mapped(src[0]))
            << "row " << r << " column " << c << " raw " << raw;
      }
    EXPECT_TRUE(out.border_intact());
  }
}

// Only the blue byte selects the colour; raw mode shows the pixel unchanged.
TEST(render_pixel, pseudo_colour_reads_the_blue_byte_only) {
  triview::slice_stack stack;
  stack.width = 2;
  stack.height = 1;
  cv::Mat slice(1, 2, CV_8UC3);
  slice.at<cv::Vec3b>(0, 0) = {10, 20, 30};
  slice.at<cv::Vec3b>(0, 1) = {10, 200, 90};
  stack.slices.push_back(slice);
  cv::Mat view(1, 2, CV_8UC3);
  triview::view_state state;
  triview::render_xy(stack, state, view);
  EXPECT_EQ(view.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 52));
  EXPECT_EQ(view.at<cv::Vec3b>(0, 1), cv::Vec3b(0, 0, 52));
  state.raw_color = true;
  triview::render_xy(stack, state, view);
  EXPECT_EQ(view.at<cv::Vec3b>(0, 0), cv::Vec3b(10, 20, 30));
}

// A one-pixel-wide slice: the row mapper's last-pixel path is its only path.
TEST(render_pixel, one_pixel_rows_stay_inside_the_view) {
  triview::slice_stack stack;
  stack.width = 1;
  stack.height = 1;
  stack.slices.push_back(cv::Mat(1, 1, CV_8UC3, cv::Scalar(36, 0, 0)));
  cv::Mat canvas(1, 2, CV_8UC3, cv::Scalar(9, 9, 9));
  cv::Mat view = canvas(cv::Rect(0, 0, 1, 1));
  triview::render_xy(stack, {}, view);
  EXPECT_EQ(canvas.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 255));
  EXPECT_EQ(canvas.at<cv::Vec3b>(0, 1), cv::Vec3b(9, 9, 9));
}

}  // namespace
