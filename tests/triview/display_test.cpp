#include "triview/display.hpp"

#include <gtest/gtest.h>

namespace {

using triview::edge_letters;

TEST(display, a_right_drag_widens_to_the_right_and_raises_the_level_downwards) {
  const dicom::voi_window start{40, 400};
  const struct {
    cv::Point delta;
    double span;
    dicom::voi_window expected;
  } cases[] = {
      {{0, 0}, 4096, {40, 400}},
      {{128, 0}, 4096, {40, 1424}},   // a quarter of 512 pixels: a quarter of the range
      {{0, -64}, 4096, {-472, 400}},  // up lowers the level
      {{-1000, 0}, 4096, {40, 1}},    // never below width 1
      {{512, 512}, 256, {296, 656}},  // an 8-bit stack
  };
  for (const auto& c : cases)
    EXPECT_EQ(triview::dragged_window(start, c.delta, c.span), c.expected)
        << c.delta.x << "," << c.delta.y;
  EXPECT_EQ(triview::window_title("x-y", {40, 400}), "x-y  L 40 W 400");
}

TEST(display, an_8_bit_stack_starts_shown_as_it_is_and_stretches_when_narrowed) {
  triview::sample_window window = triview::grey_window();
  EXPECT_EQ(triview::tables_for(window), nullptr);
  window.mapping.window = {128, 128};
  const auto tables = triview::tables_for(window);
  ASSERT_NE(tables, nullptr);
  ASSERT_EQ(tables->raw.size(), 256u);
  EXPECT_EQ(tables->raw[64] & 0xFF, 0u);
  EXPECT_EQ(tables->raw[192] & 0xFF, 255u);
  EXPECT_EQ(tables->raw[128] & 0xFF, 128u);
}

TEST(display, side_letters_follow_the_orientation) {
  const std::array<double, 6> axial{1, 0, 0, 0, 1, 0}, coronal{1, 0, 0, 0, 0, -1},
      sagittal{0, 1, 0, 0, 0, -1};
  const struct {
    std::array<double, 6> orientation;
    int view;
    bool flip_z;
    std::array<std::string, 4> letters;  // left, right, top, bottom
  } cases[] = {
      {axial, 2, false, {"R", "L", "A", "P"}},
      {axial, 0, false, {"R", "L", "S", "I"}},  // the vertex on top
      {axial, 1, false, {"A", "P", "S", "I"}},
      {axial, 0, true, {"R", "L", "I", "S"}},
      {coronal, 2, false, {"R", "L", "S", "I"}},
      {coronal, 0, false, {"R", "L", "P", "A"}},
      {sagittal, 2, false, {"A", "P", "S", "I"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(edge_letters(c.orientation, c.view, c.flip_z), c.letters) << c.view;
  EXPECT_EQ(triview::side_letter({0.2, -0.9, 0.1}), "A");
}

TEST(display, shown_images_are_scaled_zoomed_and_guided_without_touching_the_view) {
  const cv::Mat view(3, 4, CV_8UC3, cv::Scalar(10, 20, 30));
  const cv::Mat before = view.clone();
  triview::shown_layout layout{3, 6, 2.0, true, std::nullopt};
  cv::Mat shown;
  triview::compose_shown(view, 0, layout, triview::cut_lines_of(0, 1, 2, 2), false, shown);
  EXPECT_EQ(shown.size(), cv::Size(8, 12));
  EXPECT_EQ(cv::norm(view, before, cv::NORM_INF), 0.0);
  // The vertical guide through column 1 lies in shown column 3.
  EXPECT_EQ(shown.at<cv::Vec3b>(1, 3), cv::Vec3b(0, 255, 255));
  EXPECT_EQ(shown.at<cv::Vec3b>(1, 6), cv::Vec3b(10, 20, 30));
  layout.guides = false;
  triview::compose_shown(view, 2, layout, {}, false, shown);
  EXPECT_EQ(shown.size(), cv::Size(8, 6));  // x-y is not z-scaled
  EXPECT_EQ(triview::unzoomed({7, 5}, 2.0), cv::Point(3, 2));
}

}  // namespace
