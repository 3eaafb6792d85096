#include "triview/viewer.hpp"

#include <cstdio>
#include <utility>

namespace triview {

namespace {

constexpr int escape_key = 27;
// The Qt backend reports Escape by its X keysym, whose low byte is 27.
constexpr int escape_keysym = 0xFF1B;

int to_lower_letter(int key) {
  return key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key;
}

int& position_of(view_state& view, view_id id) {
  switch (id) {
    case view_id::xz:
      return view.y_posi;
    case view_id::yz:
      return view.x_posi;
    case view_id::xy:
      break;
  }
  return view.slice;
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
  position = moved;
  state.ui->set_trackbar_pos(id, moved);
  draw(state, id);
}

std::string format_name(const char* pattern, int value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

const cv::Mat* view_of(const viewer_state& state, int id) {
  switch (id) {
    case 1:
      return &state.xz_view;
    case 2:
      return &state.yz_view;
    case 3:
      return &state.xy_view;
    default:
      return nullptr;
  }
}

save_report save_last_view(viewer_state& state) {
  save_report report{state.last_id, save_name(state), true};
  if (const cv::Mat* view = view_of(state, state.last_id)) {
    report.written = state.ui->save(report.file_name, *view);
  }
  return report;
}

}  // namespace

view_state start_positions(int width, int height, int slice_count) {
  view_state view;
  view.y_posi = height / 2;
  view.x_posi = width / 2;
  view.slice = slice_count / 2;
  return view;
}

viewer_state make_viewer(slice_stack stack, viewer_ui& ui) {
  viewer_state state;
  state.view = start_positions(stack.width, stack.height, stack.count());
  state.xz_view.create(stack.count(), stack.width, CV_8UC3);
  state.yz_view.create(stack.count(), stack.height, CV_8UC3);
  state.xy_view.create(stack.height, stack.width, CV_8UC3);
  state.stack = std::move(stack);
  state.ui = &ui;
  return state;
}

int trackbar_max(const viewer_state& state, view_id id) {
  switch (id) {
    case view_id::xz:
      return state.stack.height - 1;
    case view_id::yz:
      return state.stack.width - 1;
    case view_id::xy:
      break;
  }
  return state.stack.count() - 1;
}

int trackbar_position(const viewer_state& state, view_id id) {
  view_state view = state.view;
  return position_of(view, id);
}

void draw(viewer_state& state, view_id id) {
  if (state.drawing != 0) return;
  const int k = static_cast<int>(id);
  state.drawing += k;
  state.last_id = state.drawing;
  switch (id) {
    case view_id::xz:
      render_xz(state.stack, state.view, state.xz_view);
      break;
    case view_id::yz:
      render_yz(state.stack, state.view, state.yz_view);
      break;
    case view_id::xy:
      render_xy(state.stack, state.view, state.xy_view);
      break;
  }
  state.ui->show(id, *view_of(state, k));
  state.drawing = 0;
}

void on_trackbar(viewer_state& state, view_id id, int position) {
  position_of(state.view, id) = position;
  draw(state, id);
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
      draw(state, view_id::xz);
      draw(state, view_id::yz);
      draw(state, view_id::xy);
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
  switch (state.last_id) {
    case 1:
      return format_name("y_%04d.jpg", state.view.y_posi);
    case 2:
      return format_name("x_%04d.jpg", state.view.x_posi);
    case 3:
      return format_name("isl_%04d.jpg", state.view.slice);
    default:
      return {};
  }
}

}  // namespace triview
