#include "triview/viewer.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace triview {

namespace {

constexpr int escape_key = 27;
// The Qt backend reports Escape by its X keysym, whose low byte is 27.
constexpr int escape_keysym = 0xFF1B;

int to_lower_letter(int key) {
  return key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key;
}

std::size_t index_of(view_id id) {
  return static_cast<std::size_t>(id) - 1;
}

int& position_of(view_state& view, view_id id) {
  return view.*(pane_of(id).position);
}

// Guides in the other views mark where this one cuts: they follow it.
void draw_moved(viewer_state& state, view_id id) {
  if (!state.layout.guides) return draw(state, id);
  draw(state, id);
  for (const pane& p : panes)
    if (p.id != id) draw(state, p.id);
  state.last_id = static_cast<int>(id);
}

void move_and_draw(viewer_state& state, view_id id, int position) {
  position_of(state.view, id) = position;
  state.ui->set_trackbar_pos(id, position);
  draw_moved(state, id);
}

// Steps one position; at a limit it is clamped and nothing is redrawn.
void step_position(viewer_state& state, view_id id, int delta) {
  int& position = position_of(state.view, id);
  const int moved = position + delta;
  const int max = trackbar_max(state, id);
  if (moved < 0 || moved > max) {
    position = moved < 0 ? 0 : max;
    return;
  }
  move_and_draw(state, id, moved);
}

std::string format_name(const char* pattern, int value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

bool valid_id(int id) {
  return id >= 1 && id <= static_cast<int>(panes.size());
}

save_request save_last_view(const viewer_state& state) {
  save_request request{state.last_id, save_name(state), nullptr};
  if (!valid_id(state.last_id)) return request;
  const view_id id(static_cast<view_id>(state.last_id));
  request.view = state.save_shown ? &shown_image(state, id) : &state.views[index_of(id)];
  return request;
}

// Whether a window shows its view as it is: no z-scale, zoom or guides.
bool shows_view_itself(const viewer_state& state, view_id id) {
  return (id == view_id::xy || state.shown_rows == state.stack.count()) && state.layout.zoom == 1 &&
         !state.layout.guides;
}

void show_titles(viewer_state& state) {
  for (const pane& p : panes)
    state.ui->set_title(p.id, window_title(p.window, state.window.mapping.window));
}

int clamped(int value, int max) {
  return std::clamp(value, 0, std::max(max, 0));
}

}  // namespace

view_state start_positions(int width, int height, int slice_count) {
  view_state view;
  view.y_posi = height / 2;
  view.x_posi = width / 2;
  view.slice = slice_count / 2;
  return view;
}

int scaled_rows(int rows, double z_scale) {
  return std::max(1, static_cast<int>(std::lround(rows * z_scale)));
}

int view_row_of(int shown_row, int rows, int shown_rows) {
  const long long row =
      static_cast<long long>(clamped(shown_row, shown_rows - 1)) * rows / shown_rows;
  return static_cast<int>(row);
}

viewer_state make_viewer(slice_stack stack, viewer_ui& ui, double z_scale) {
  viewer_settings settings;
  settings.z_scale = z_scale;
  return make_viewer(std::move(stack), ui, settings);
}

viewer_state make_viewer(slice_stack stack, viewer_ui& ui, const viewer_settings& settings) {
  viewer_state state;
  state.view = start_positions(stack.width, stack.height, stack.count());
  state.view.raw_color = settings.grey;
  state.views[index_of(view_id::xz)].create(stack.count(), stack.width, CV_8UC3);
  state.views[index_of(view_id::yz)].create(stack.count(), stack.height, CV_8UC3);
  state.views[index_of(view_id::xy)].create(stack.height, stack.width, CV_8UC3);
  state.shown_rows = scaled_rows(stack.count(), settings.z_scale);
  state.layout = {stack.count(), state.shown_rows, settings.zoom, settings.guides,
                  settings.orientation};
  state.window = settings.window.value_or(grey_window());
  // A window other than the 8-bit one of a JPEG stack is named from the start.
  state.window_titled = settings.window.has_value();
  state.save_shown = settings.save_shown;
  state.stack = std::move(stack);
  state.ui = &ui;
  return state;
}

void set_window(viewer_state& state, const dicom::voi_window& window) {
  state.window.mapping.window = window;
  state.stack.display = tables_for(state.window);
  state.window_titled = true;
  show_titles(state);
  const int last = state.last_id;
  for (const pane& p : panes) draw(state, p.id);
  state.last_id = last;  // a window change is no new view for s to save
}

int trackbar_max(const viewer_state& state, view_id id) {
  const std::array<int, 3> maxima{state.stack.height - 1, state.stack.width - 1,
                                  state.stack.count() - 1};
  return maxima[index_of(id)];
}

int trackbar_position(const viewer_state& state, view_id id) {
  return state.view.*(pane_of(id).position);
}

const cv::Mat& shown_image(const viewer_state& state, view_id id) {
  const std::size_t i = index_of(id);
  return shows_view_itself(state, id) ? state.views[i] : state.shown[i];
}

void draw(viewer_state& state, view_id id) {
  if (state.drawing != 0) return;
  const pane& p = pane_of(id);
  state.drawing += static_cast<int>(id);
  state.last_id = state.drawing;
  const std::size_t i = index_of(id);
  p.render(state.stack, state.view, state.views[i]);
  if (!shows_view_itself(state, id)) {
    const int slice_row = target_row(state.view.slice, state.stack.count(), state.view.flip_z);
    compose_shown(
        state.views[i], static_cast<int>(i), state.layout,
        cut_lines_of(static_cast<int>(i), state.view.x_posi, state.view.y_posi, slice_row),
        state.view.flip_z, state.shown[i]);
  }
  state.ui->show(id, shown_image(state, id));
  state.drawing = 0;
}

void on_trackbar(viewer_state& state, view_id id, int position) {
  position_of(state.view, id) = position;
  draw_moved(state, id);
}

click_geometry geometry_of(const viewer_state& state) {
  return {state.stack.width, state.stack.height, state.stack.count(), state.shown_rows,
          state.layout.zoom};
}

view_state positions_after_click(view_state view, view_id id, cv::Point pixel,
                                 const click_geometry& geometry) {
  const auto slice_at_row = [&](int shown_row) {
    return target_row(view_row_of(shown_row, geometry.count, geometry.shown_rows), geometry.count,
                      view.flip_z);
  };
  switch (id) {
    case view_id::xy:
      view.x_posi = clamped(pixel.x, geometry.width - 1);
      view.y_posi = clamped(pixel.y, geometry.height - 1);
      break;
    case view_id::xz:
      view.x_posi = clamped(pixel.x, geometry.width - 1);
      view.slice = slice_at_row(pixel.y);
      break;
    case view_id::yz:
      view.y_posi = clamped(pixel.x, geometry.height - 1);
      view.slice = slice_at_row(pixel.y);
      break;
  }
  return view;
}

// Right button: the window follows the drag from where it began.
bool drag_window(viewer_state& state, const mouse_event& event) {
  if (event.action == mouse_action::right_press) {
    state.window_drag = {event.pixel, state.window.mapping.window};
    return true;
  }
  if (event.action == mouse_action::right_release ||
      (event.action == mouse_action::move && !event.right_held)) {
    state.window_drag.reset();
    return event.action == mouse_action::right_release;
  }
  if (event.action != mouse_action::move || !state.window_drag) return false;
  const auto& [origin, start] = *state.window_drag;
  set_window(state, dragged_window(start, event.pixel - origin, state.window.span));
  return true;
}

void on_mouse(viewer_state& state, view_id id, const mouse_event& event) {
  if (drag_window(state, event)) return;
  const bool click = event.action == mouse_action::press ||
                     (event.action == mouse_action::move && event.left_held);
  if (!click) return;
  const cv::Point pixel = unzoomed(event.pixel, state.layout.zoom);
  const view_state next = positions_after_click(state.view, id, pixel, geometry_of(state));
  for (const pane& p : panes) {
    if (p.id != id && next.*p.position != state.view.*p.position)
      move_and_draw(state, p.id, next.*p.position);
  }
}

key_outcome handle_key(viewer_state& state, int key) {
  key_outcome outcome;
  if (key == escape_key || key == escape_keysym) {
    outcome.quit = true;
    return outcome;
  }
  switch (to_lower_letter(key)) {
    case 'l':
      step_position(state, view_id::yz, -1);
      break;
    case 'r':
      step_position(state, view_id::yz, +1);
      break;
    case 'f':
      step_position(state, view_id::xz, +1);
      break;
    case 'b':
      step_position(state, view_id::xz, -1);
      break;
    case 'u':
      step_position(state, view_id::xy, +1);
      break;
    case 'd':
      step_position(state, view_id::xy, -1);
      break;
    case 'q':
      state.view.flip_z = !state.view.flip_z;
      draw(state, view_id::xz);
      draw(state, view_id::yz);
      break;
    case 'c':
      state.view.raw_color = !state.view.raw_color;
      for (const pane& p : panes) draw(state, p.id);
      break;
    case 's':
      outcome.save = save_last_view(state);
      break;
    default:
      break;
  }
  return outcome;
}

std::string save_name(const viewer_state& state) {
  if (!valid_id(state.last_id)) return {};
  const pane& p = pane_of(view_id(state.last_id));
  return format_name(p.save_name, state.view.*p.position);
}

}  // namespace triview
