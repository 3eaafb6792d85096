// What a window costs on one 512 x 512 slice against the default conversion:
// building the lookup table, mapping the samples through it, and the JPEG
// encoding of the result, which differs with the picture.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>

#include "bench/slicejpeg/phantom_slice.hpp"
#include "common/jpeg_codec.hpp"
#include "dicom/element_walk.hpp"
#include "slicejpeg/conversion.hpp"
#include "slicejpeg/window.hpp"

namespace {

std::span<const std::uint8_t> pixels() {
  static const auto scan = dicom::scan_elements(slice_file());
  return scan.walk.pixels;
}

slicejpeg::window_mapping mapping_for(int which) {
  slicejpeg::window_mapping mapping;
  mapping.window =
      which == 0 ? slicejpeg::voi_window{40, 400} : slicejpeg::series_window({-1024, 3071, false});
  return mapping;
}

void convert_samples(benchmark::State& state) {
  std::vector<std::uint8_t> out(512 * 512);
  for (auto _ : state) benchmark::DoNotOptimize(slicejpeg::convert_samples(pixels(), true, out));
}
BENCHMARK(convert_samples);

// Argument 0: --window soft; 1: the series window of the phantom, -1024..3071.
void build_lut(benchmark::State& state) {
  const auto mapping = mapping_for(static_cast<int>(state.range(0)));
  slicejpeg::window_lut lut;
  for (auto _ : state) {
    slicejpeg::build_window_lut(mapping, lut);
    benchmark::DoNotOptimize(lut.data());
  }
}
BENCHMARK(build_lut)->Arg(0)->Arg(1);

// The table built once for the series.
void window_samples(benchmark::State& state) {
  slicejpeg::window_lut lut;
  slicejpeg::build_window_lut(mapping_for(0), lut);
  std::vector<std::uint8_t> out(512 * 512);
  for (auto _ : state)
    benchmark::DoNotOptimize(slicejpeg::window_samples(pixels(), true, lut, out));
}
BENCHMARK(window_samples);

// The table built anew for every slice.
void build_lut_and_window_samples(benchmark::State& state) {
  const auto mapping = mapping_for(static_cast<int>(state.range(0)));
  slicejpeg::window_lut lut;
  std::vector<std::uint8_t> out(512 * 512);
  for (auto _ : state) {
    slicejpeg::build_window_lut(mapping, lut);
    benchmark::DoNotOptimize(slicejpeg::window_samples(pixels(), true, lut, out));
  }
}
BENCHMARK(build_lut_and_window_samples)->Arg(0)->Arg(1);

// Conversion and encoding of one slice: default, then argument 0 or 1.
void convert_and_encode(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  cv::Mat image(512, 512, CV_8UC1);
  const std::span<std::uint8_t> out{image.data, image.total()};
  slicejpeg::window_lut lut;
  std::vector<std::uint8_t> jpeg;
  for (auto _ : state) {
    if (which < 0) {
      benchmark::DoNotOptimize(slicejpeg::convert_samples(pixels(), true, out));
    } else {
      slicejpeg::build_window_lut(mapping_for(which), lut);
      benchmark::DoNotOptimize(slicejpeg::window_samples(pixels(), true, lut, out));
    }
    common::encode_jpeg(image, jpeg);
  }
}
BENCHMARK(convert_and_encode)->Arg(-1)->Arg(0)->Arg(1);

}  // namespace
