#pragma once

#include "triview/viewer.hpp"

namespace triview {

// True when an X display can be opened; HighGUI's Qt backend aborts the
// process on its first call without one.
bool display_available();

// The HighGUI side of the viewer: three auto-sized windows with one trackbar
// each, side by side. Trackbar moves and mouse events go to the viewer core
// as they come. Throws cv::Exception like the toolkit it wraps.
class highgui_ui final : public viewer_ui {
 public:
  highgui_ui() = default;
  highgui_ui(const highgui_ui&) = delete;
  highgui_ui& operator=(const highgui_ui&) = delete;
  ~highgui_ui() override;

  // Creates the windows and trackbars for `state`, which must outlive this object.
  void open(viewer_state& state);
  // Waits without time-out for a key; the full code, or -1 once no window is left.
  int wait_key();
  void close();

  void show(view_id id, const cv::Mat& view) override;
  void set_trackbar_pos(view_id id, int position) override;
  void set_title(view_id id, const std::string& title) override;

 private:
  static void on_change(int position, void* userdata, view_id id);
  static void on_mouse_event(int event, int x, int y, int flags, void* userdata, view_id id);
  bool any_window_open() const;

  viewer_state* state_ = nullptr;
  bool callbacks_live_ = false;  // off while the program itself moves a trackbar
  bool open_ = false;
};

}  // namespace triview
