// One redraw of each view in pseudo-colour against the same redraw in raw
// colour (a plain 3-channel copy of the same pixels), on a 512 x 512 x 120
// phantom stack. The position moves every iteration, as when a slider is dragged.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include "tools/phantom.hpp"
#include "triview/render.hpp"

namespace {

constexpr int width = 512, height = 512, count = 120;

const triview::slice_stack& phantom_stack() {
  static const triview::slice_stack stack = [] {
    triview::slice_stack s;
    s.width = width;
    s.height = height;
    const phantom::volume_size size{width, height, count};
    for (int z = 0; z < count; ++z) {
      auto display = phantom::to_display(phantom::make_slice(size, z));
      cv::Mat grey(height, width, CV_8UC1, display.data());
      cv::Mat colour;
      cv::merge(std::vector<cv::Mat>{grey, grey, grey}, colour);
      s.slices.push_back(colour);
    }
    return s;
  }();
  return stack;
}

enum class plane { xz, yz, xy };

void redraw(benchmark::State& bench, plane p, bool raw) {
  const triview::slice_stack& stack = phantom_stack();
  triview::view_state state = {height / 2, width / 2, count / 2, false, raw};
  cv::Mat view;
  switch (p) {
    case plane::xz:
      view.create(count, width, CV_8UC3);
      break;
    case plane::yz:
      view.create(count, height, CV_8UC3);
      break;
    case plane::xy:
      view.create(height, width, CV_8UC3);
      break;
  }
  int step = 0;
  for (auto _ : bench) {
    switch (p) {
      case plane::xz:
        state.y_posi = step % height;
        triview::render_xz(stack, state, view);
        break;
      case plane::yz:
        state.x_posi = step % width;
        triview::render_yz(stack, state, view);
        break;
      case plane::xy:
        state.slice = step % count;
        triview::render_xy(stack, state, view);
        break;
    }
    benchmark::DoNotOptimize(view.data);
    benchmark::ClobberMemory();
    ++step;
  }
}

void xz_pseudo(benchmark::State& s) {
  redraw(s, plane::xz, false);
}
void xz_raw_copy(benchmark::State& s) {
  redraw(s, plane::xz, true);
}
void yz_pseudo(benchmark::State& s) {
  redraw(s, plane::yz, false);
}
void yz_raw_copy(benchmark::State& s) {
  redraw(s, plane::yz, true);
}
void xy_pseudo(benchmark::State& s) {
  redraw(s, plane::xy, false);
}
void xy_raw_copy(benchmark::State& s) {
  redraw(s, plane::xy, true);
}

BENCHMARK(xz_pseudo)->Unit(benchmark::kMicrosecond);
BENCHMARK(xz_raw_copy)->Unit(benchmark::kMicrosecond);
BENCHMARK(yz_pseudo)->Unit(benchmark::kMicrosecond);
BENCHMARK(yz_raw_copy)->Unit(benchmark::kMicrosecond);
BENCHMARK(xy_pseudo)->Unit(benchmark::kMicrosecond);
BENCHMARK(xy_raw_copy)->Unit(benchmark::kMicrosecond);

}  // namespace
