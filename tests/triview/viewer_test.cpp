#include "triview/viewer.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using triview::view_id;

// Records what the viewer asks of the window toolkit.
struct fake_ui final : triview::viewer_ui {
  std::vector<view_id> shown;
  std::vector<std::pair<view_id, int>> trackbar_moves;
  std::vector<cv::Size> shown_sizes;
  std::function<void(view_id)> during_show;

  void show(view_id id, const cv::Mat& view) override {
    shown.push_back(id);
    shown_sizes.push_back(view.size());
    if (during_show) during_show(id);
  }
  void set_trackbar_pos(view_id id, int position) override {
    trackbar_moves.emplace_back(id, position);
  }
};

triview::slice_stack tiny_stack(int width, int height, int count) {
  triview::slice_stack stack;
  stack.width = width;
  stack.height = height;
  for (int i = 0; i < count; ++i) stack.slices.emplace_back(height, width, CV_8UC3, cv::Scalar(i));
  return stack;
}

// A started viewer: the first drawing done, the recorder cleared.
struct started_viewer {
  fake_ui ui;
  triview::viewer_state state;

  started_viewer(int width, int height, int count, double z_scale = 1)
      : state(triview::make_viewer(tiny_stack(width, height, count), ui, z_scale)) {
    triview::draw(state, view_id::xz);
    triview::draw(state, view_id::yz);
    triview::draw(state, view_id::xy);
    ui.shown.clear();
    ui.shown_sizes.clear();
  }
  triview::key_outcome press(int key) { return triview::handle_key(state, key); }
};

TEST(start_positions, are_the_halves_rounded_down) {
  const auto big = triview::start_positions(512, 512, 120);
  EXPECT_EQ(big.y_posi, 256);
  EXPECT_EQ(big.x_posi, 256);
  EXPECT_EQ(big.slice, 60);
  const auto odd = triview::start_positions(7, 5, 7);
  EXPECT_EQ(odd.y_posi, 2);
  EXPECT_EQ(odd.x_posi, 3);
  EXPECT_EQ(odd.slice, 3);
  EXPECT_EQ(triview::start_positions(4, 4, 1).slice, 0);
}

TEST(viewer, views_and_trackbar_maxima_follow_the_stack) {
  started_viewer v(8, 6, 5);
  EXPECT_EQ(v.state.views[0].size(), cv::Size(8, 5));
  EXPECT_EQ(v.state.views[1].size(), cv::Size(6, 5));
  EXPECT_EQ(v.state.views[2].size(), cv::Size(8, 6));
  EXPECT_EQ(triview::trackbar_max(v.state, view_id::xz), 5);
  EXPECT_EQ(triview::trackbar_max(v.state, view_id::yz), 7);
  EXPECT_EQ(triview::trackbar_max(v.state, view_id::xy), 4);
  EXPECT_EQ(v.state.last_id, 3);
}

TEST(viewer, a_render_requested_during_another_is_dropped) {
  started_viewer v(4, 4, 3);
  v.ui.during_show = [&](view_id id) {
    if (id == view_id::xz) triview::draw(v.state, view_id::yz);
  };
  triview::draw(v.state, view_id::xz);
  EXPECT_EQ(v.ui.shown, std::vector<view_id>{view_id::xz});
  EXPECT_EQ(v.state.last_id, 1);
  EXPECT_EQ(v.state.drawing, 0);
}

TEST(viewer, a_dragged_trackbar_keeps_its_position_and_redraws_its_view) {
  started_viewer v(10, 8, 6);
  triview::on_trackbar(v.state, view_id::xz, 7);
  EXPECT_EQ(v.state.view.y_posi, 7);
  EXPECT_EQ(v.state.last_id, 1);
  triview::on_trackbar(v.state, view_id::xy, 0);
  EXPECT_EQ(v.state.view.slice, 0);
  EXPECT_EQ(v.ui.shown, (std::vector<view_id>{view_id::xz, view_id::xy}));
}

TEST(keys, each_movement_key_steps_moves_its_trackbar_and_redraws) {
  const struct {
    int key;
    view_id id;
    int expected;
  } cases[] = {
      {'l', view_id::yz, 4}, {'r', view_id::yz, 6}, {'f', view_id::xz, 5}, {'b', view_id::xz, 3},
      {'u', view_id::xy, 4}, {'d', view_id::xy, 2}, {'L', view_id::yz, 4}, {'R', view_id::yz, 6},
      {'F', view_id::xz, 5}, {'B', view_id::xz, 3}, {'U', view_id::xy, 4}, {'D', view_id::xy, 2},
  };
  for (const auto& c : cases) {
    started_viewer v(10, 8, 7);  // start at x 5, y 4, slice 3
    v.press(c.key);
    EXPECT_EQ(triview::trackbar_position(v.state, c.id), c.expected) << char(c.key);
    EXPECT_EQ(v.ui.trackbar_moves, (std::vector<std::pair<view_id, int>>{{c.id, c.expected}}))
        << char(c.key);
    EXPECT_EQ(v.ui.shown, std::vector<view_id>{c.id}) << char(c.key);
    EXPECT_EQ(v.state.last_id, static_cast<int>(c.id)) << char(c.key);
  }
}

TEST(keys, stepping_past_a_limit_clamps_without_a_redraw) {
  started_viewer v(2, 2, 1);  // x 1 = W - 1, y 1 = H - 1, slice 0 = N - 1
  for (const int key : {'r', 'f', 'u', 'd'}) v.press(key);
  v.state.view.x_posi = 0;
  v.state.view.y_posi = 0;
  for (const int key : {'l', 'b'}) v.press(key);
  EXPECT_EQ(v.state.view.x_posi, 0);
  EXPECT_EQ(v.state.view.y_posi, 0);
  EXPECT_EQ(v.state.view.slice, 0);
  EXPECT_TRUE(v.ui.shown.empty());
  EXPECT_TRUE(v.ui.trackbar_moves.empty());
  EXPECT_EQ(v.state.last_id, 3);
}

TEST(keys, q_flips_and_redraws_both_side_views) {
  started_viewer v(6, 4, 3);
  v.press('q');
  EXPECT_TRUE(v.state.view.flip_z);
  EXPECT_EQ(v.ui.shown, (std::vector<view_id>{view_id::xz, view_id::yz}));
  EXPECT_EQ(v.state.last_id, 2);
  v.press('Q');
  EXPECT_FALSE(v.state.view.flip_z);
}

TEST(keys, c_toggles_raw_colour_and_redraws_all_three) {
  started_viewer v(6, 4, 3);
  v.press('C');
  EXPECT_TRUE(v.state.view.raw_color);
  EXPECT_EQ(v.ui.shown, (std::vector<view_id>{view_id::xz, view_id::yz, view_id::xy}));
  EXPECT_EQ(v.state.last_id, 3);
  v.press('c');
  EXPECT_FALSE(v.state.view.raw_color);
}

TEST(keys, s_asks_for_the_view_drawn_last_under_its_position) {
  started_viewer v(512, 2, 120);
  v.state.view.y_posi = 1;
  auto outcome = v.press('s');
  ASSERT_TRUE(outcome.save);
  EXPECT_EQ(outcome.save->last_id, 3);
  EXPECT_EQ(outcome.save->file_name, "isl_0060.jpg");
  EXPECT_EQ(outcome.save->view, &v.state.views[2]);

  v.press('q');
  outcome = v.press('S');
  EXPECT_EQ(outcome.save->last_id, 2);
  EXPECT_EQ(outcome.save->file_name, "x_0256.jpg");
  EXPECT_EQ(outcome.save->view, &v.state.views[1]);

  triview::on_trackbar(v.state, view_id::xz, 0);
  outcome = v.press('s');
  EXPECT_EQ(outcome.save->file_name, "y_0000.jpg");
  EXPECT_EQ(outcome.save->view, &v.state.views[0]);
}

TEST(keys, before_any_drawing_s_saves_nothing) {
  fake_ui ui;
  auto state = triview::make_viewer(tiny_stack(4, 4, 3), ui);
  const auto outcome = triview::handle_key(state, 's');
  ASSERT_TRUE(outcome.save);
  EXPECT_EQ(outcome.save->last_id, 0);
  EXPECT_EQ(outcome.save->file_name, "");
  EXPECT_EQ(outcome.save->view, nullptr);
}

TEST(keys, escape_quits_by_ascii_code_or_keysym) {
  started_viewer v(4, 4, 3);
  EXPECT_TRUE(v.press(27).quit);
  EXPECT_TRUE(v.press(0xFF1B).quit);
  EXPECT_FALSE(v.press('s').quit);
}

// Arrow, paging and editing keys share their low byte with letters of the
// table (Left 0xFF51 with 'Q', Right 0xFF53 with 'S', Insert 0xFF63 with 'c').
TEST(keys, keys_outside_the_table_change_nothing) {
  started_viewer v(6, 4, 3);
  const triview::view_state before = v.state.view;
  for (const int key : std::vector<int>{0xFF51, 0xFF52, 0xFF53, 0xFF54, 0xFF55, 0xFF56, 0xFF63, '0',
                                        '5', 'x', 'Z', ' ', 13, -1, 0x10071}) {
    const auto outcome = v.press(key);
    EXPECT_FALSE(outcome.quit) << key;
    EXPECT_FALSE(outcome.save) << key;
  }
  EXPECT_EQ(v.state.view.x_posi, before.x_posi);
  EXPECT_EQ(v.state.view.y_posi, before.y_posi);
  EXPECT_EQ(v.state.view.slice, before.slice);
  EXPECT_EQ(v.state.view.flip_z, before.flip_z);
  EXPECT_EQ(v.state.view.raw_color, before.raw_color);
  EXPECT_TRUE(v.ui.shown.empty());
  EXPECT_TRUE(v.ui.trackbar_moves.empty());
}

TEST(z_scale, side_views_take_n_times_f_rows_on_screen) {
  const struct {
    int rows;
    double z_scale;
    int shown;
  } cases[] = {{9, 2.5, 23}, {9, 1, 9}, {120, 7.14, 857}, {3, 0.1, 1}, {10, 0.5, 5}, {1, 3, 3}};
  for (const auto& c : cases)
    EXPECT_EQ(triview::scaled_rows(c.rows, c.z_scale), c.shown) << c.rows << " x " << c.z_scale;
}

TEST(z_scale, every_view_row_is_shown_and_screen_rows_map_back_in_order) {
  for (const auto& [rows, shown] : {std::pair{9, 23}, {4, 4}, {5, 2}, {120, 857}, {1, 3}}) {
    std::vector<int> hits(static_cast<std::size_t>(rows));
    int previous = 0;
    for (int j = 0; j < shown; ++j) {
      const int row = triview::view_row_of(j, rows, shown);
      ASSERT_GE(row, previous) << rows << " in " << shown;
      ASSERT_LT(row, rows);
      ++hits[static_cast<std::size_t>(row)];
      previous = row;
    }
    if (shown >= rows) {
      for (const int hit : hits) EXPECT_GE(hit, shown / rows) << rows << " in " << shown;
    }
    EXPECT_EQ(triview::view_row_of(-5, rows, shown), 0);
    EXPECT_EQ(triview::view_row_of(shown + 7, rows, shown),
              triview::view_row_of(shown - 1, rows, shown));
  }
}

TEST(z_scale, side_views_are_shown_stretched_and_kept_unscaled) {
  started_viewer v(6, 4, 9, 2.5);
  triview::handle_key(v.state, 'c');
  EXPECT_EQ(v.ui.shown_sizes, (std::vector<cv::Size>{{6, 23}, {4, 23}, {6, 4}}));
  EXPECT_EQ(v.state.views[0].size(), cv::Size(6, 9));  // what s saves
  const cv::Mat& shown = triview::shown_image(v.state, view_id::xz);
  for (int j = 0; j < shown.rows; ++j)
    EXPECT_EQ(
        cv::norm(shown.row(j), v.state.views[0].row(triview::view_row_of(j, 9, 23)), cv::NORM_INF),
        0)
        << j;
}

// W 10, H 8, N 7 at x 5, y 4, slice 3; shown rows 7 unless scaled.
TEST(clicks, a_point_sets_the_positions_of_the_two_other_planes) {
  const struct {
    view_id id;
    cv::Point pixel;
    bool flip_z;
    int shown_rows;
    int x, y, slice;
  } cases[] = {
      {view_id::xy, {2, 6}, false, 7, 2, 6, 3},
      {view_id::xy, {-4, 99}, false, 7, 0, 7, 3},  // clamped
      {view_id::xz, {9, 0}, false, 7, 9, 4, 6},    // top row: last slice
      {view_id::xz, {1, 6}, false, 7, 1, 4, 0},
      {view_id::xz, {1, 6}, true, 7, 1, 4, 6},
      {view_id::xz, {12, -3}, true, 7, 9, 4, 0},
      {view_id::yz, {7, 2}, false, 7, 5, 7, 4},
      {view_id::yz, {3, 2}, true, 7, 5, 3, 2},
      {view_id::yz, {8, 70}, false, 7, 5, 7, 0},
      // 2.5 x 7 = 18 rows on screen: rows 0..2 show view row 0, 15..17 row 6.
      {view_id::xz, {4, 2}, false, 18, 4, 4, 6},
      {view_id::xz, {4, 3}, false, 18, 4, 4, 5},
      {view_id::yz, {4, 17}, true, 18, 5, 4, 6},
  };
  for (const auto& c : cases) {
    triview::view_state start{4, 5, 3, c.flip_z, false};
    const auto after =
        triview::positions_after_click(start, c.id, c.pixel, {10, 8, 7, c.shown_rows});
    EXPECT_EQ(after.x_posi, c.x) << static_cast<int>(c.id) << " " << c.pixel;
    EXPECT_EQ(after.y_posi, c.y) << static_cast<int>(c.id) << " " << c.pixel;
    EXPECT_EQ(after.slice, c.slice) << static_cast<int>(c.id) << " " << c.pixel;
    EXPECT_EQ(after.flip_z, c.flip_z);
  }
}

TEST(clicks, redraw_the_changed_planes_in_id_order_with_their_trackbars) {
  using moves = std::vector<std::pair<view_id, int>>;
  const auto press = [](cv::Point p) {
    return triview::mouse_event{triview::mouse_action::press, p, true};
  };
  const struct {
    view_id id;
    triview::mouse_event event;
    moves trackbars;
    int last_id;
  } cases[] = {
      {view_id::xy, press({2, 6}), {{view_id::xz, 6}, {view_id::yz, 2}}, 2},
      {view_id::xy, press({5, 1}), {{view_id::xz, 1}}, 1},  // same column: y-z stays
      {view_id::xz, press({1, 0}), {{view_id::yz, 1}, {view_id::xy, 6}}, 3},
      {view_id::yz, press({0, 6}), {{view_id::xz, 0}, {view_id::xy, 0}}, 3},
      {view_id::yz,
       {triview::mouse_action::move, {2, 2}, true},
       {{view_id::xz, 2}, {view_id::xy, 4}},
       3},
      {view_id::xy, press({5, 4}), {}, 3},  // where it is already: nothing drawn
      {view_id::xy, {triview::mouse_action::move, {2, 6}, false}, {}, 3},  // no button: no drag
      {view_id::xy, {triview::mouse_action::other, {2, 6}, true}, {}, 3},
  };
  for (const auto& c : cases) {
    started_viewer v(10, 8, 7);
    triview::on_mouse(v.state, c.id, c.event);
    EXPECT_EQ(v.ui.trackbar_moves, c.trackbars) << c.event.pixel;
    std::vector<view_id> drawn;
    for (const auto& move : c.trackbars) drawn.push_back(move.first);
    EXPECT_EQ(v.ui.shown, drawn) << c.event.pixel;
    EXPECT_EQ(v.state.last_id, c.last_id) << c.event.pixel;
  }
}

}  // namespace

TEST(window_drag, a_right_drag_changes_the_window_of_all_three_views_and_their_titles) {
  struct titled_ui final : triview::viewer_ui {
    std::vector<view_id> shown;
    std::vector<std::string> titles;
    void show(view_id id, const cv::Mat&) override { shown.push_back(id); }
    void set_trackbar_pos(view_id, int) override {}
    void set_title(view_id, const std::string& title) override { titles.push_back(title); }
  } ui;
  triview::slice_stack stack;
  stack.width = 2;
  stack.height = 1;
  stack.channels = 1;
  stack.slices.emplace_back(1, 2, CV_8UC1, cv::Scalar(100));
  triview::viewer_settings settings;
  settings.grey = true;
  auto state = triview::make_viewer(std::move(stack), ui, settings);
  for (const auto& p : triview::panes) triview::draw(state, p.id);
  EXPECT_EQ(state.views[2].at<cv::Vec3b>(0, 0), cv::Vec3b(100, 100, 100));
  ui.shown.clear();
  using action = triview::mouse_action;
  triview::on_mouse(state, view_id::xy, {action::right_press, {10, 10}, false, true});
  triview::on_mouse(state, view_id::xy, {action::move, {10, 10 - 64}, false, true});
  triview::on_mouse(state, view_id::xy, {action::right_release, {10, 10 - 64}, false, false});
  // Up by an eighth of 512 pixels lowers the level by an eighth of 256.
  EXPECT_EQ(state.window.mapping.window, (dicom::voi_window{96, 256}));
  EXPECT_EQ(ui.shown, (std::vector<view_id>{view_id::xz, view_id::yz, view_id::xy}));
  ASSERT_EQ(ui.titles.size(), 3u);
  EXPECT_EQ(ui.titles[2], "x-y  L 96 W 256");
  EXPECT_GT(state.views[2].at<cv::Vec3b>(0, 0)[0], 100);
  // Moves without the button do nothing more.
  triview::on_mouse(state, view_id::xy, {action::move, {50, 50}, false, false});
  EXPECT_EQ(ui.shown.size(), 3u);
}
