// The floor for converting compressed slices: GDCM decodes each named file in
// this process, without any isolation, and the 16-bit samples become an 8-bit
// JPEG written beside the file, on as many threads as there are processors.
// Whatever slicejpeg spends beyond this is the price of its safety.
// Usage: slicejpeg_compressed_floor [--decode-only] [--threads N] OUT_DIR FILE...
//   --decode-only stops after GDCM's decode: beside slicejpeg_compressed_decode
//   (the same files through one helper process) it gives what the isolation
//   costs per file.
#include <gdcmImage.h>
#include <gdcmImageReader.h>
#include <gdcmTrace.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "common/jpeg_codec.hpp"

namespace {

bool decode_only = false;

bool convert(const char* path, const std::string& out_name) {
  gdcm::ImageReader reader;
  reader.SetFileName(path);
  if (!reader.Read()) return false;
  const gdcm::Image& image = reader.GetImage();
  const unsigned int* dims = image.GetDimensions();
  const int columns = static_cast<int>(dims[0]);
  const int rows = static_cast<int>(dims[1]);
  std::vector<std::int16_t> samples(image.GetBufferLength() / 2);
  if (!image.GetBuffer(reinterpret_cast<char*>(samples.data()))) return false;
  if (decode_only) return true;
  const std::size_t pixels = static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
  if (samples.size() < pixels) return false;
  const std::int16_t low = *std::min_element(samples.begin(), samples.begin() + pixels);
  cv::Mat grey(rows, columns, CV_8UC1);
  for (std::size_t i = 0; i < pixels; ++i)
    grey.data[i] = static_cast<std::uint8_t>((samples[i] - low) & 0xFF);
  const std::vector<std::uint8_t> jpeg = common::encode_jpeg(grey);
  std::ofstream out(out_name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  unsigned count = std::max(1u, std::thread::hardware_concurrency());
  for (; first < argc && argv[first][0] == '-'; ++first) {
    if (std::strcmp(argv[first], "--decode-only") == 0) {
      decode_only = true;
    } else if (std::strcmp(argv[first], "--threads") == 0 && first + 1 < argc) {
      count = static_cast<unsigned>(std::max(1, std::atoi(argv[++first])));
    } else {
      break;
    }
  }
  if (argc - first < 2) {
    std::fprintf(
        stderr,
        "usage: slicejpeg_compressed_floor [--decode-only] [--threads N] OUT_DIR FILE...\n");
    return 64;
  }
  gdcm::Trace::SetWarning(false);
  const std::string out_dir = argv[first];
  std::atomic<int> next{first + 1};
  std::atomic<int> failed{0};
  const auto work = [&] {
    for (int i = next++; i < argc; i = next++)
      if (!convert(argv[i], out_dir + "/" + std::to_string(i) + ".jpg")) ++failed;
  };
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < count; ++t) threads.emplace_back(work);
  for (auto& thread : threads) thread.join();
  if (failed != 0)
    std::fprintf(stderr, "slicejpeg_compressed_floor: %d files failed\n", failed.load());
  return failed == 0 ? 0 : 1;
}
