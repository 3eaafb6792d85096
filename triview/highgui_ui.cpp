#include "triview/highgui_ui.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <opencv2/highgui.hpp>

#include "common/platform.hpp"

namespace triview {

namespace {

constexpr int window_gap = 24;
constexpr int window_poll_ms = 200;
// The Qt window is at least as wide as its toolbar, however narrow the view.
constexpr int min_window_width = 320;

std::size_t index_of(view_id id) {
  return static_cast<std::size_t>(id) - 1;
}

mouse_event mouse_event_of(int event, int x, int y, int flags) {
  mouse_event forwarded;
  forwarded.pixel = {x, y};
  if (event == cv::EVENT_LBUTTONDOWN) forwarded.action = mouse_action::press;
  if (event == cv::EVENT_RBUTTONDOWN) forwarded.action = mouse_action::right_press;
  if (event == cv::EVENT_RBUTTONUP) forwarded.action = mouse_action::right_release;
  if (event == cv::EVENT_MOUSEMOVE) forwarded.action = mouse_action::move;
  forwarded.left_held = (flags & cv::EVENT_FLAG_LBUTTON) != 0;
  forwarded.right_held = (flags & cv::EVENT_FLAG_RBUTTON) != 0;
  return forwarded;
}

}  // namespace

bool display_available() {
  return common::platform::can_open_display();
}

highgui_ui::~highgui_ui() {
  close();
}

void highgui_ui::open(viewer_state& state) {
  state_ = &state;
  common::platform::prepare_window_toolkit();
  for (const pane& p : panes)
    cv::namedWindow(p.window, cv::WINDOW_AUTOSIZE | cv::WINDOW_GUI_NORMAL);
  int left = 0;
  for (const pane& p : panes) {
    cv::moveWindow(p.window, left, 0);
    left += std::max(state.views[index_of(p.id)].cols, min_window_width) + window_gap;
  }
  open_ = true;
  static constexpr std::array<cv::TrackbarCallback, 3> trackbar_callbacks{
      [](int position, void* userdata) { on_change(position, userdata, view_id::xz); },
      [](int position, void* userdata) { on_change(position, userdata, view_id::yz); },
      [](int position, void* userdata) { on_change(position, userdata, view_id::xy); },
  };
  static constexpr std::array<cv::MouseCallback, 3> mouse_callbacks{
      [](int event, int x, int y, int flags, void* userdata) {
        on_mouse_event(event, x, y, flags, userdata, view_id::xz);
      },
      [](int event, int x, int y, int flags, void* userdata) {
        on_mouse_event(event, x, y, flags, userdata, view_id::yz);
      },
      [](int event, int x, int y, int flags, void* userdata) {
        on_mouse_event(event, x, y, flags, userdata, view_id::xy);
      },
  };
  for (const pane& p : panes) {
    const int max = trackbar_max(state, p.id);
    // A maximum of 0 is refused at creation; a one-slice stack lowers it afterwards.
    cv::createTrackbar(p.trackbar, p.window, nullptr, std::max(max, 1),
                       trackbar_callbacks[index_of(p.id)], this);
    if (max < 1) {
      // Lowering the maximum under the position is what refreshes the label.
      cv::setTrackbarPos(p.trackbar, p.window, 1);
      cv::setTrackbarMax(p.trackbar, p.window, max);
    }
    cv::setTrackbarPos(p.trackbar, p.window, trackbar_position(state, p.id));
    cv::setMouseCallback(p.window, mouse_callbacks[index_of(p.id)], this);
  }
  callbacks_live_ = true;
  if (state.window_titled)
    for (const pane& p : panes)
      set_title(p.id, window_title(p.window, state.window.mapping.window));
}

void highgui_ui::on_change(int position, void* userdata, view_id id) {
  auto* ui = static_cast<highgui_ui*>(userdata);
  if (!ui->callbacks_live_ || ui->state_ == nullptr) return;
  on_trackbar(*ui->state_, id, position);
}

void highgui_ui::on_mouse_event(int event, int x, int y, int flags, void* userdata, view_id id) {
  auto* ui = static_cast<highgui_ui*>(userdata);
  if (!ui->callbacks_live_ || ui->state_ == nullptr) return;
  on_mouse(*ui->state_, id, mouse_event_of(event, x, y, flags));
}

int highgui_ui::wait_key() {
  // An unbounded wait never returns once the user has closed every window, so
  // the wait is sliced to notice that.
  for (;;) {
    const int key = cv::waitKeyEx(window_poll_ms);
    if (key != -1) return key;
    if (!any_window_open()) return -1;
  }
}

bool highgui_ui::any_window_open() const {
  return std::any_of(panes.begin(), panes.end(), [](const pane& p) {
    return cv::getWindowProperty(p.window, cv::WND_PROP_VISIBLE) > 0;
  });
}

void highgui_ui::close() {
  if (!open_) return;
  open_ = false;
  callbacks_live_ = false;
  try {
    for (const pane& p : panes) cv::destroyWindow(p.window);
  } catch (const cv::Exception&) {
    // Windows the user already closed are gone; nothing is left to release.
  }
}

void highgui_ui::show(view_id id, const cv::Mat& view) {
  cv::imshow(pane_of(id).window, view);
}

void highgui_ui::set_title(view_id id, const std::string& title) {
  cv::setWindowTitle(pane_of(id).window, title);
}

void highgui_ui::set_trackbar_pos(view_id id, int position) {
  const pane& p = pane_of(id);
  callbacks_live_ = false;
  cv::setTrackbarPos(p.trackbar, p.window, position);
  callbacks_live_ = true;
}

}  // namespace triview
