#pragma once

#include <array>
#include <opencv2/core.hpp>
#include <optional>
#include <string>

#include "triview/display.hpp"
#include "triview/messages.hpp"
#include "triview/render.hpp"

namespace triview {

// View ids as the console reports them in "last_id".
enum class view_id { xz = 1, yz = 2, xy = 3 };

// One window of the viewer: what it shows, the trackbar that moves it, the
// name its view is saved under, and the position that name and trackbar carry.
struct pane {
  view_id id;
  const char* window;
  const char* trackbar;
  const char* save_name;  // printf pattern of the position
  int view_state::*position;
  void (*render)(const slice_stack&, const view_state&, cv::Mat&);
};

// Indexed by id - 1; also the order windows and trackbars are created in.
inline constexpr std::array<pane, 3> panes{{
    {view_id::xz, messages::window_xz, messages::trackbar_xz, messages::save_name_xz,
     &view_state::y_posi, render_xz},
    {view_id::yz, messages::window_yz, messages::trackbar_yz, messages::save_name_yz,
     &view_state::x_posi, render_yz},
    {view_id::xy, messages::window_xy, messages::trackbar_xy, messages::save_name_xy,
     &view_state::slice, render_xy},
}};

inline const pane& pane_of(view_id id) {
  return panes[static_cast<std::size_t>(id) - 1];
}

// The narrow seam to the window toolkit: the viewer shows views and moves
// trackbars only through it, so tests can stand in for it.
class viewer_ui {
 public:
  virtual ~viewer_ui() = default;
  virtual void show(view_id id, const cv::Mat& view) = 0;
  virtual void set_trackbar_pos(view_id id, int position) = 0;
  // The window's title, when it shows more than its name (the window and level).
  virtual void set_title(view_id, const std::string&) {}
};

// How the viewer shows its views, from the command line and the slices.
struct viewer_settings {
  double z_scale = 1;
  double zoom = 1;
  bool guides = false;
  bool grey = false;        // raw_color at start
  bool save_shown = false;  // s saves what the window shows
  // The samples' meaning and first window; nothing: an 8-bit stack shown as it is.
  std::optional<sample_window> window;
  std::optional<std::array<double, 6>> orientation;  // for the guides' letters
};

struct viewer_state {
  slice_stack stack;
  view_state view;
  std::array<cv::Mat, 3> views;  // by id - 1: x-z W x N, y-z H x N, x-y W x H
  std::array<cv::Mat, 3> shown;  // what the windows show, when not the views themselves
  int shown_rows = 0;            // rows of x-z and y-z on screen: N x z_scale
  shown_layout layout;           // z-scale, zoom and guides
  sample_window window;          // the window the samples are shown through
  bool window_titled = false;    // titles show the window once it differs from the start
  bool save_shown = false;
  // A drag with the right button: where it began and the window then.
  std::optional<std::pair<cv::Point, dicom::voi_window>> window_drag;
  int drawing = 0;  // id of the render in progress; a nested request is dropped
  int last_id = 0;  // id of the view drawn most recently
  viewer_ui* ui = nullptr;
};

// W = 512, H = 512, N = 120 => y_posi 256, x_posi 256, slice 60.
view_state start_positions(int width, int height, int slice_count);

// Rows of the side views on screen: N x F rounded, at least 1. (9, 2.5) => 23.
int scaled_rows(int rows, double z_scale);

// Row of a side view shown in screen row `shown_row` when `rows` rows take
// `shown_rows` on screen: nearest neighbour. (0..2 of 23 for 9) => 0, 22 => 8.
int view_row_of(int shown_row, int rows, int shown_rows);

// Takes the stack, allocates the views and sets the start positions; draws nothing.
viewer_state make_viewer(slice_stack stack, viewer_ui& ui, double z_scale = 1);
viewer_state make_viewer(slice_stack stack, viewer_ui& ui, const viewer_settings& settings);

// Shows the samples through `window` in all three views, and in the titles.
void set_window(viewer_state& state, const dicom::voi_window& window);

// Trackbar maximum of a view: H - 1, W - 1 or N - 1.
int trackbar_max(const viewer_state& state, view_id id);

// Position a view's trackbar shows: y_posi, x_posi or slice.
int trackbar_position(const viewer_state& state, view_id id);

// Renders one view and shows it, unless another render is running.
void draw(viewer_state& state, view_id id);

// The image a window shows: the view, its rows repeated in x-z and y-z when
// scaled, zoomed, with guides when asked.
const cv::Mat& shown_image(const viewer_state& state, view_id id);

// A trackbar moved (by the user or by the program): keep its position, redraw its view.
void on_trackbar(viewer_state& state, view_id id, int position);

// What a click needs to know of the windows.
struct click_geometry {
  int width = 0;       // W
  int height = 0;      // H
  int count = 0;       // N
  int shown_rows = 0;  // rows of x-z and y-z on screen
  double zoom = 1;
};

// Positions after a left click at `pixel` (column, row of the shown image, zoom undone) in
// the window of `id`: x-y (c, r) sets x_posi c, y_posi r; x-z (c, k) sets
// x_posi c and the slice shown in row k; y-z (c, k) sets y_posi c and that
// slice. Points outside the image are clamped to it.
view_state positions_after_click(view_state view, view_id id, cv::Point pixel,
                                 const click_geometry& geometry);

click_geometry geometry_of(const viewer_state& state);

enum class mouse_action { press, move, right_press, right_release, other };
struct mouse_event {
  mouse_action action = mouse_action::other;
  cv::Point pixel;
  bool left_held = false;   // for moves: a drag
  bool right_held = false;  // for moves: a window drag
};

// A press of the left button, or a drag with it held, moves the two other
// planes to the point: their trackbars follow and the views whose position
// changed are redrawn in id order. A drag with the right button changes the
// window (width left-right, level up-down) of all three views. Nothing else
// does anything.
void on_mouse(viewer_state& state, view_id id, const mouse_event& event);

struct save_request {
  int last_id = 0;
  std::string file_name;          // empty when no view has been drawn yet
  const cv::Mat* view = nullptr;  // unscaled; none when the name is empty
};

struct key_outcome {
  bool quit = false;
  std::optional<save_request> save;
};

// Acts on one full key code; codes outside the hot-key table change nothing.
// s asks for the view drawn last to be saved: the caller writes it.
key_outcome handle_key(viewer_state& state, int key);

// last_id 3 with slice 60 => "isl_0060.jpg"; an id without a view => "".
std::string save_name(const viewer_state& state);

}  // namespace triview
