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
  std::vector<std::string> saved;
  bool save_succeeds = true;
  std::function<void(view_id)> during_show;

  void show(view_id id, const cv::Mat&) override {
    shown.push_back(id);
    if (during_show) during_show(id);
  }
  void set_trackbar_pos(view_id id, int position) override {
    trackbar_moves.emplace_back(id, position);
  }
  bool save(const std::string& file_name, const cv::Mat&) override {
    saved.push_back(file_name);
    return save_succeeds;
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

  started_viewer(int width, int height, int count)
      : state(triview::make_viewer(tiny_stack(width, height, count), ui)) {
    triview::draw(state, view_id::xz);
    triview::draw(state, view_id::yz);
    triview::draw(state, view_id::xy);
    ui.shown.clear();
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
  EXPECT_EQ(v.state.xz_view.size(), cv::Size(8, 5));
  EXPECT_EQ(v.state.yz_view.size(), cv::Size(6, 5));
  EXPECT_EQ(v.state.xy_view.size(), cv::Size(8, 6));
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

TEST(keys, s_saves_the_view_drawn_last_under_its_position) {
  started_viewer v(512, 2, 120);
  v.state.view.y_posi = 1;
  auto outcome = v.press('s');
  ASSERT_TRUE(outcome.save);
  EXPECT_EQ(outcome.save->last_id, 3);
  EXPECT_EQ(outcome.save->file_name, "isl_0060.jpg");
  EXPECT_TRUE(outcome.save->written);

  v.press('q');
  outcome = v.press('S');
  EXPECT_EQ(outcome.save->last_id, 2);
  EXPECT_EQ(outcome.save->file_name, "x_0256.jpg");

  triview::on_trackbar(v.state, view_id::xz, 0);
  EXPECT_EQ(v.press('s').save->file_name, "y_0000.jpg");
  EXPECT_EQ(v.ui.saved, (std::vector<std::string>{"isl_0060.jpg", "x_0256.jpg", "y_0000.jpg"}));
}

TEST(keys, a_failed_save_is_reported_and_the_name_still_given) {
  started_viewer v(4, 4, 3);
  v.ui.save_succeeds = false;
  const auto outcome = v.press('s');
  ASSERT_TRUE(outcome.save);
  EXPECT_EQ(outcome.save->file_name, "isl_0001.jpg");
  EXPECT_FALSE(outcome.save->written);
}

TEST(keys, before_any_drawing_s_saves_nothing) {
  fake_ui ui;
  auto state = triview::make_viewer(tiny_stack(4, 4, 3), ui);
  const auto outcome = triview::handle_key(state, 's');
  ASSERT_TRUE(outcome.save);
  EXPECT_EQ(outcome.save->last_id, 0);
  EXPECT_EQ(outcome.save->file_name, "");
  EXPECT_TRUE(ui.saved.empty());
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

}  // namespace
