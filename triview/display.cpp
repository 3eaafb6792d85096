#include "triview/display.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <opencv2/imgproc.hpp>

namespace triview {
namespace {

constexpr double drag_pixels_for_span = 512;  // a drag this long moves by the stack's range
const cv::Scalar guide_colour(0, 255, 255);   // yellow in blue, green, red

// Each row of `shown` a copy of the view row nearest to it.
void repeat_rows(const cv::Mat& view, int shown_rows, cv::Mat& shown) {
  shown.create(shown_rows, view.cols, view.type());
  const std::size_t bytes = view.elemSize() * static_cast<std::size_t>(view.cols);
  for (int j = 0; j < shown_rows; ++j) {
    const long long row = static_cast<long long>(j) * view.rows / shown_rows;
    std::memcpy(shown.ptr(j), view.ptr(static_cast<int>(row)), bytes);
  }
}

std::array<double, 3> negated(const std::array<double, 3>& v) {
  return {-v[0], -v[1], -v[2]};
}

std::array<double, 3> normal_of(const std::array<double, 6>& o) {
  const std::array<double, 3> n{o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5],
                                o[0] * o[4] - o[1] * o[3]};
  // Turned as the stack is ordered: towards the patient's left, back or head.
  const auto largest = std::max_element(
      n.begin(), n.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
  return *largest < 0 ? negated(n) : n;
}

void draw_letters(cv::Mat& shown, const std::array<std::string, 4>& letters) {
  const int font = cv::FONT_HERSHEY_SIMPLEX;
  const double scale = 0.45;
  const int margin = 3;
  for (std::size_t edge = 0; edge < letters.size(); ++edge) {
    if (letters[edge].empty()) continue;
    int baseline = 0;
    const cv::Size size = cv::getTextSize(letters[edge], font, scale, 1, &baseline);
    const cv::Point at[4] = {
        {margin, (shown.rows + size.height) / 2},
        {shown.cols - size.width - margin, (shown.rows + size.height) / 2},
        {(shown.cols - size.width) / 2, size.height + margin},
        {(shown.cols - size.width) / 2, shown.rows - baseline - margin},
    };
    cv::putText(shown, letters[edge], at[edge], font, scale, guide_colour, 1, cv::LINE_AA);
  }
}

}  // namespace

sample_window grey_window() {
  sample_window window;
  window.mapping.window = {128, 256};
  window.mapping.signed_samples = false;
  window.mapping.bits_stored = 8;
  return window;
}

std::shared_ptr<const display_tables> tables_for(const sample_window& window) {
  if (window.sixteen_bit) {
    auto lut = std::make_unique<dicom::window_lut>();
    dicom::build_window_lut(window.mapping, *lut);
    return std::make_shared<const display_tables>(make_display_tables(*lut));
  }
  // The start window shows every grey as it is, which the renderers copy.
  if (window.mapping.window == grey_window().mapping.window) return nullptr;
  std::array<std::uint8_t, 256> greys{};
  for (int v = 0; v < 256; ++v)
    greys[static_cast<std::size_t>(v)] = dicom::linear_voi(v, window.mapping.window);
  return std::make_shared<const display_tables>(make_display_tables(greys));
}

dicom::voi_window dragged_window(const dicom::voi_window& start, cv::Point delta, double span) {
  const double per_pixel = std::max(span, 1.0) / drag_pixels_for_span;
  return {start.centre + delta.y * per_pixel, std::max(1.0, start.width + delta.x * per_pixel)};
}

std::string window_title(const char* window, const dicom::voi_window& window_level) {
  char text[96];
  std::snprintf(text, sizeof text, "%s  L %.6g W %.6g", window, window_level.centre,
                window_level.width);
  return text;
}

cut_lines cut_lines_of(int view_index, int x_posi, int y_posi, int slice_row) {
  switch (view_index) {
    case 0:
      return {x_posi, slice_row};
    case 1:
      return {y_posi, slice_row};
    default:
      return {x_posi, y_posi};
  }
}

std::string side_letter(const std::array<double, 3>& d) {
  const auto axis = static_cast<std::size_t>(
      std::max_element(d.begin(), d.end(),
                       [](double a, double b) { return std::abs(a) < std::abs(b); }) -
      d.begin());
  static constexpr const char* positive[] = {"L", "P", "S"};
  static constexpr const char* negative[] = {"R", "A", "I"};
  if (d[axis] == 0) return {};
  return d[axis] > 0 ? positive[axis] : negative[axis];
}

std::array<std::string, 4> edge_letters(const std::array<double, 6>& o, int view_index,
                                        bool flip_z) {
  const std::array<double, 3> row{o[0], o[1], o[2]}, column{o[3], o[4], o[5]};
  const std::array<double, 3> up = flip_z ? negated(normal_of(o)) : normal_of(o);
  switch (view_index) {
    case 0:  // columns run along the rows of a slice; the last slice on top
      return {side_letter(negated(row)), side_letter(row), side_letter(up),
              side_letter(negated(up))};
    case 1:  // the rows of a slice run left to right
      return {side_letter(negated(column)), side_letter(column), side_letter(up),
              side_letter(negated(up))};
    default:
      return {side_letter(negated(row)), side_letter(row), side_letter(negated(column)),
              side_letter(column)};
  }
}

void compose_shown(const cv::Mat& view, int view_index, const shown_layout& layout,
                   const cut_lines& cuts, bool flip_z, cv::Mat& shown) {
  const bool side = view_index != 2;
  const int rows = side ? layout.shown_rows : view.rows;
  cv::Mat scaled;
  if (side && rows != view.rows)
    repeat_rows(view, rows, scaled);
  else
    scaled = view;
  const cv::Size zoomed(std::max(1, static_cast<int>(std::lround(view.cols * layout.zoom))),
                        std::max(1, static_cast<int>(std::lround(rows * layout.zoom))));
  if (zoomed == scaled.size())
    scaled.copyTo(shown);
  else
    cv::resize(scaled, shown, zoomed, 0, 0, cv::INTER_NEAREST);
  if (!layout.guides) return;
  const double x_step = static_cast<double>(shown.cols) / view.cols;
  const double y_step = static_cast<double>(shown.rows) / view.rows;
  const int x = static_cast<int>((cuts.column + 0.5) * x_step);
  const int y = static_cast<int>((cuts.row + 0.5) * y_step);
  cv::line(shown, {x, 0}, {x, shown.rows - 1}, guide_colour, 1);
  cv::line(shown, {0, y}, {shown.cols - 1, y}, guide_colour, 1);
  if (layout.orientation)
    draw_letters(shown, edge_letters(*layout.orientation, view_index, flip_z));
}

cv::Point unzoomed(cv::Point shown_pixel, double zoom) {
  return {static_cast<int>(std::floor(shown_pixel.x / zoom)),
          static_cast<int>(std::floor(shown_pixel.y / zoom))};
}

}  // namespace triview
