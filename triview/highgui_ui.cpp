#include "triview/highgui_ui.hpp"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <opencv2/highgui.hpp>
#include <string_view>
#include <thread>

#include "common/atomic_file.hpp"
#include "common/jpeg_codec.hpp"

namespace triview {

namespace {

struct window_spec {
  view_id id;
  const char* window;
  const char* trackbar;
};

// Creation order of the windows and trackbars.
constexpr std::array<window_spec, 3> windows{{
    {view_id::xz, "x-z", "y_posi"},
    {view_id::yz, "y-z", "x_posi"},
    {view_id::xy, "x-y", "slice"},
}};

constexpr int window_gap = 24;
constexpr int window_poll_ms = 200;
// The Qt window is at least as wide as its toolbar, however narrow the view.
constexpr int min_window_width = 320;

const window_spec& pane_of(view_id id) {
  return windows[static_cast<std::size_t>(id) - 1];
}

int view_width(const viewer_state& state, view_id id) {
  switch (id) {
    case view_id::xz:
      return state.xz_view.cols;
    case view_id::yz:
      return state.yz_view.cols;
    case view_id::xy:
      break;
  }
  return state.xy_view.cols;
}

}  // namespace

bool display_available() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  // Opened at run time so the build needs no X headers; without the library
  // the toolkit cannot run either.
  void* xlib = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  if (xlib == nullptr) return false;
  using open_fn = void* (*)(const char*);
  auto open_display = reinterpret_cast<open_fn>(::dlsym(xlib, "XOpenDisplay"));
  if (open_display == nullptr) {
    ::dlclose(xlib);
    return false;
  }
  // A server whose last client just left resets and refuses connections for
  // a moment (a fresh Xvfb after its readiness probe): ask again briefly.
  constexpr int attempts = 25;
  constexpr auto pause = std::chrono::milliseconds(20);
  for (int attempt = 0; attempt < attempts; ++attempt) {
    // Kept open, and the library loaded, for the rest of the run: closing the
    // only connection would start that reset just as the toolkit connects.
    static void* kept_display = nullptr;
    kept_display = open_display(nullptr);
    if (kept_display != nullptr) return true;
    std::this_thread::sleep_for(pause);
  }
  ::dlclose(xlib);
  return false;
}

highgui_ui::~highgui_ui() {
  close();
}

void highgui_ui::open(viewer_state& state) {
  state_ = &state;
  for (const window_spec& pane : windows)
    cv::namedWindow(pane.window, cv::WINDOW_AUTOSIZE | cv::WINDOW_GUI_NORMAL);
  int left = 0;
  for (const window_spec& pane : windows) {
    cv::moveWindow(pane.window, left, 0);
    left += std::max(view_width(state, pane.id), min_window_width) + window_gap;
  }
  open_ = true;
  static constexpr std::array<cv::TrackbarCallback, 3> callbacks{
      [](int position, void* userdata) { on_change(position, userdata, view_id::xz); },
      [](int position, void* userdata) { on_change(position, userdata, view_id::yz); },
      [](int position, void* userdata) { on_change(position, userdata, view_id::xy); },
  };
  for (const window_spec& pane : windows) {
    const int max = trackbar_max(state, pane.id);
    // A maximum of 0 is refused at creation; a one-slice stack lowers it afterwards.
    cv::createTrackbar(pane.trackbar, pane.window, nullptr, std::max(max, 1),
                       callbacks[static_cast<std::size_t>(pane.id) - 1], this);
    if (max < 1) {
      // Lowering the maximum under the position is what refreshes the label.
      cv::setTrackbarPos(pane.trackbar, pane.window, 1);
      cv::setTrackbarMax(pane.trackbar, pane.window, max);
    }
    cv::setTrackbarPos(pane.trackbar, pane.window, trackbar_position(state, pane.id));
  }
  callbacks_live_ = true;
}

void highgui_ui::on_change(int position, void* userdata, view_id id) {
  auto* ui = static_cast<highgui_ui*>(userdata);
  if (!ui->callbacks_live_ || ui->state_ == nullptr) return;
  on_trackbar(*ui->state_, id, position);
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
  for (const window_spec& pane : windows) {
    if (cv::getWindowProperty(pane.window, cv::WND_PROP_VISIBLE) > 0) return true;
  }
  return false;
}

void highgui_ui::close() {
  if (!open_) return;
  open_ = false;
  callbacks_live_ = false;
  try {
    for (const window_spec& pane : windows) cv::destroyWindow(pane.window);
  } catch (const cv::Exception&) {
    // Windows the user already closed are gone; nothing is left to release.
  }
}

void highgui_ui::show(view_id id, const cv::Mat& view) {
  cv::imshow(pane_of(id).window, view);
}

void highgui_ui::set_trackbar_pos(view_id id, int position) {
  const window_spec& pane = pane_of(id);
  callbacks_live_ = false;
  cv::setTrackbarPos(pane.trackbar, pane.window, position);
  callbacks_live_ = true;
}

// Only ".jpg" names are saved; the bytes are OpenCV's default JPEG encoding.
bool highgui_ui::save(const std::string& file_name, const cv::Mat& view) {
  const std::vector<std::uint8_t> jpeg = common::encode_jpeg(view);
  if (jpeg.empty()) return false;
  const std::string_view content(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
  return !common::replace_file_contents(file_name, content);
}

}  // namespace triview
