// One redraw of each view, in pseudo-colour and raw, on 512 x 512 phantom
// stacks of 120 and 2,000 slices held as grey (one channel) and of 120
// slices held as colour. The position moves every iteration, as when a slider
// is dragged, so source rows come from memory, not from the cache; y-z on a
// moving column, one byte from every row of every slice, is the slow one.
#include <benchmark/benchmark.h>

#include <map>
#include <opencv2/core.hpp>

#include "tools/phantom.hpp"
#include "triview/render.hpp"

namespace {

constexpr int width = 512, height = 512;

const triview::slice_stack& phantom_stack(int count, int channels) {
  static std::map<std::pair<int, int>, triview::slice_stack> stacks;
  auto [entry, made] = stacks.try_emplace({count, channels});
  triview::slice_stack& s = entry->second;
  if (!made) return s;
  s.width = width;
  s.height = height;
  s.channels = channels;
  const phantom::volume_size size{width, height, count};
  for (int z = 0; z < count; ++z) {
    auto display = phantom::to_display(phantom::make_slice(size, z));
    const cv::Mat grey(height, width, CV_8UC1, display.data());
    cv::Mat slice;
    if (channels == 1)
      slice = grey.clone();
    else
      cv::merge(std::vector<cv::Mat>{grey, grey, grey}, slice);
    s.slices.push_back(slice);
  }
  return s;
}

enum plane { xz, yz, xy };

// range(0): plane, range(1): slices, range(2): channels, range(3): raw.
void redraw(benchmark::State& bench) {
  const auto p = static_cast<plane>(bench.range(0));
  const auto count = static_cast<int>(bench.range(1));
  const triview::slice_stack& stack = phantom_stack(count, static_cast<int>(bench.range(2)));
  triview::view_state state = {height / 2, width / 2, count / 2, false, bench.range(3) != 0};
  cv::Mat view(p == xy ? height : count, p == yz ? height : width, CV_8UC3);
  int step = 0;
  for (auto _ : bench) {
    switch (p) {
      case xz:
        state.y_posi = (step * 37) % height;
        triview::render_xz(stack, state, view);
        break;
      case yz:
        state.x_posi = (step * 37) % width;
        triview::render_yz(stack, state, view);
        break;
      case xy:
        state.slice = (step * 37) % count;
        triview::render_xy(stack, state, view);
        break;
    }
    benchmark::DoNotOptimize(view.data);
    benchmark::ClobberMemory();
    ++step;
  }
}

void stacks(benchmark::internal::Benchmark* b) {
  b->ArgNames({"plane", "slices", "channels", "raw"});
  for (const int p : {xz, yz, xy})
    for (const auto& [count, channels] : {std::pair{120, 1}, {2000, 1}, {120, 3}})
      for (const int raw : {0, 1}) b->Args({p, count, channels, raw});
}

BENCHMARK(redraw)->Apply(stacks)->Unit(benchmark::kMicrosecond);

}  // namespace
