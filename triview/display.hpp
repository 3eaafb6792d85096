#pragma once

#include <array>
#include <memory>
#include <opencv2/core.hpp>
#include <optional>
#include <string>

#include "dicom/voi_window.hpp"
#include "triview/render.hpp"

// What the windows show beyond the views themselves: the window and level
// that turn samples into greys, true proportions and zoom, and the guides.
// Pure functions; the viewer applies them.
namespace triview {

// The samples of a stack and the window they are shown through. 8-bit
// stacks start at centre 128, width 256, which shows every grey as it is.
struct sample_window {
  dicom::window_mapping mapping;
  bool sixteen_bit = false;
  double span = 256;  // the stack's range of values, which one drag across 512 pixels covers
};

// The window of an 8-bit stack: every grey to itself.
sample_window grey_window();

// The tables that show `window`'s samples; nothing for an 8-bit stack shown
// as it is, which the renderers copy unchanged.
std::shared_ptr<const display_tables> tables_for(const sample_window& window);

// A drag with the right button by `delta` screen pixels from where it began
// at `start`: right widens the window, down raises its centre, as
// established viewers do; the width stays at least 1.
dicom::voi_window dragged_window(const dicom::voi_window& start, cv::Point delta, double span);

// "x-y  L 40 W 400": a window's title with its level and width.
std::string window_title(const char* window, const dicom::voi_window& window_level);

// How views become what the windows show.
struct shown_layout {
  int count = 0;        // N: rows of x-z and y-z
  int shown_rows = 0;   // their rows on screen before zoom: N x z-scale
  double zoom = 1;      // every view this many times larger
  bool guides = false;  // lines where the other planes cut, and orientation letters
  // Row and column direction cosines of the slices, for the letters.
  std::optional<std::array<double, 6>> orientation;
};

// Where the other planes cut each view, in the view's own pixels.
struct cut_lines {
  int column = 0;  // vertical line
  int row = 0;     // horizontal line
};

// x-y: x_posi, y_posi; x-z: x_posi and the row of `slice`; y-z: y_posi and that row.
cut_lines cut_lines_of(int view_index, int x_posi, int y_posi, int slice_row);

// The patient's side a direction points to: (1, 0, 0) => "L", (0, -1, 0) =>
// "A", (0, 0, 1) => "S"; its largest component decides.
std::string side_letter(const std::array<double, 3>& direction);

// Letters at the left, right, top and bottom edges of a view (index as the
// views: 0 x-z, 1 y-z, 2 x-y); the top of x-z and y-z is the last slice
// unless `flip_z`.
std::array<std::string, 4> edge_letters(const std::array<double, 6>& orientation, int view_index,
                                        bool flip_z);

// The image a window shows for `view`: rows repeated to `shown_rows` for
// x-z and y-z, zoomed, with guides when asked. `view` itself is not changed.
void compose_shown(const cv::Mat& view, int view_index, const shown_layout& layout,
                   const cut_lines& cuts, bool flip_z, cv::Mat& shown);

// A point of a shown image back in the view's own pixels (before zoom; rows
// of x-z and y-z still scaled by the z-scale).
cv::Point unzoomed(cv::Point shown_pixel, double zoom);

}  // namespace triview
