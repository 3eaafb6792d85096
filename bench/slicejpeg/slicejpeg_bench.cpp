// Where the time of one 512 x 512 slice goes: the walk, the conversion, the
// JPEG encoding, and the whole conversion of a slice from its bytes.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "bench/slicejpeg/phantom_slice.hpp"
#include "common/jpeg_codec.hpp"
#include "dicom/decoder_client.hpp"
#include "dicom/element_walk.hpp"
#include "dicom/slice_reader.hpp"
#include "slicejpeg/conversion.hpp"
#include "tests/support/dicom_bytes.hpp"
#include "tools/phantom.hpp"

namespace {

// The slices here are uncompressed: the helper is never started.
dicom::helper_decoder unused_decoder;

void walk(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(dicom::scan_elements(slice_file()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * slice_file().size()));
}
BENCHMARK(walk);

// The same slice as a Part-10 file in explicit VR little endian, with the
// attributes a scanner writes before the image.
const std::vector<std::uint8_t>& part10_slice() {
  static const auto bytes = [] {
    const phantom::volume_size size{512, 512, 120};
    const auto samples = phantom::make_slice(size, 60);
    dicom_bytes data_set{true, false, {}};
    data_set.text(0x0008, 0x0060, "CS", "CT").text(0x0020, 0x000E, "UI", "1.2.3.4");
    data_set.text(0x0020, 0x0013, "IS", "61").text(0x0020, 0x0032, "DS", "-125\\-125\\61");
    data_set.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0");
    data_set.image(512, 512).us(0x0028, 0x0103, 1);
    data_set.pixels(std::vector<int>(samples.begin(), samples.end()));
    return part10_file("1.2.840.10008.1.2.1", data_set.bytes);
  }();
  return bytes;
}

// The whole reader, flat and Part-10: it only looks at the headers.
void read_flat(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(dicom::read_slice(slice_file(), unused_decoder));
}
BENCHMARK(read_flat);

void read_part10(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(dicom::read_slice(part10_slice(), unused_decoder));
}
BENCHMARK(read_part10);

void convert(benchmark::State& state) {
  const auto scan = dicom::scan_elements(slice_file());
  std::vector<std::uint8_t> out(512 * 512);
  for (auto _ : state)
    benchmark::DoNotOptimize(slicejpeg::convert_samples(scan.walk.pixels, true, out));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}
BENCHMARK(convert);

cv::Mat converted_slice() {
  const auto scan = dicom::scan_elements(slice_file());
  cv::Mat image(512, 512, CV_8UC1);
  slicejpeg::convert_samples(scan.walk.pixels, true, {image.data, image.total()});
  return image;
}

// OpenCV's encoder, and the one slicejpeg uses, which writes the same bytes.
void encode(benchmark::State& state) {
  const cv::Mat image = converted_slice();
  std::vector<std::uint8_t> jpeg;
  for (auto _ : state) cv::imencode(".jpg", image, jpeg);
}
BENCHMARK(encode);

void encode_jpeg(benchmark::State& state) {
  const cv::Mat image = converted_slice();
  std::vector<std::uint8_t> jpeg;
  for (auto _ : state) common::encode_jpeg(image, jpeg);
}
BENCHMARK(encode_jpeg);

}  // namespace

BENCHMARK_MAIN();
