#pragma once

#include <opencv2/core.hpp>
#include <optional>
#include <string>

#include "triview/render.hpp"

namespace triview {

// View ids as the console reports them in "last_id".
enum class view_id { xz = 1, yz = 2, xy = 3 };

// The narrow seam to the window toolkit: the viewer shows views, moves
// trackbars and writes files only through it, so tests can stand in for it.
class viewer_ui {
 public:
  virtual ~viewer_ui() = default;
  virtual void show(view_id id, const cv::Mat& view) = 0;
  virtual void set_trackbar_pos(view_id id, int position) = 0;
  // False when the file could not be written.
  virtual bool save(const std::string& file_name, const cv::Mat& view) = 0;
};

struct viewer_state {
  slice_stack stack;
  view_state view;
  cv::Mat xz_view;  // W x N
  cv::Mat yz_view;  // H x N
  cv::Mat xy_view;  // W x H
  int drawing = 0;  // id of the render in progress; a nested request is dropped
  int last_id = 0;  // id of the view drawn most recently
  viewer_ui* ui = nullptr;
};

// W = 512, H = 512, N = 120 => y_posi 256, x_posi 256, slice 60.
view_state start_positions(int width, int height, int slice_count);

// Takes the stack, allocates the views and sets the start positions; draws nothing.
viewer_state make_viewer(slice_stack stack, viewer_ui& ui);

// Trackbar maximum of a view: H - 1, W - 1 or N - 1.
int trackbar_max(const viewer_state& state, view_id id);

// Position a view's trackbar shows: y_posi, x_posi or slice.
int trackbar_position(const viewer_state& state, view_id id);

// Renders one view and shows it, unless another render is running.
void draw(viewer_state& state, view_id id);

// A trackbar moved (by the user or by the program): keep its position, redraw its view.
void on_trackbar(viewer_state& state, view_id id, int position);

struct save_report {
  int last_id = 0;
  std::string file_name;  // empty when no view has been drawn yet
  bool written = true;
};

struct key_outcome {
  bool quit = false;
  std::optional<save_report> save;
};

// Acts on one full key code; codes outside the hot-key table change nothing.
key_outcome handle_key(viewer_state& state, int key);

// last_id 3 with slice 60 => "isl_0060.jpg"; an id without a view => "".
std::string save_name(const viewer_state& state);

}  // namespace triview
