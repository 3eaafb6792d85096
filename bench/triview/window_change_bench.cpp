// CPU time of one window change on a 512 x 512 x 640 series of 16-bit
// samples: the display tables rebuilt and all three views redrawn, as a
// right-drag does.
#include <benchmark/benchmark.h>

#include <memory>

#include "triview/viewer.hpp"

namespace {

struct no_windows final : triview::viewer_ui {
  void show(triview::view_id, const cv::Mat&) override {}
  void set_trackbar_pos(triview::view_id, int) override {}
};

triview::slice_stack series(int width, int height, int count) {
  triview::slice_stack stack;
  stack.width = width;
  stack.height = height;
  stack.channels = 1;
  auto block = std::shared_ptr<std::uint16_t[]>(
      new std::uint16_t[static_cast<std::size_t>(width) * height * count]);
  for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height * count; ++i)
    block[i] = static_cast<std::uint16_t>(i * 2654435761u >> 20);
  for (int k = 0; k < count; ++k)
    stack.slices.emplace_back(height, width, CV_16UC1,
                              block.get() + static_cast<std::size_t>(k) * width * height);
  stack.storage = block;
  return stack;
}

void window_change(benchmark::State& state) {
  no_windows ui;
  triview::viewer_settings settings;
  triview::sample_window window;
  window.sixteen_bit = true;
  window.mapping.window = {40, 400};
  window.mapping.rescale_intercept = -1024;
  window.mapping.bits_stored = 12;
  window.span = 4096;
  settings.window = window;
  settings.z_scale = 2;
  auto viewer = triview::make_viewer(series(512, 512, 640), ui, settings);
  int step = 0;
  for (auto _ : state) {
    triview::set_window(viewer, {40.0 + (step % 50), 400.0 + (step % 70)});
    ++step;
  }
}
BENCHMARK(window_change)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
