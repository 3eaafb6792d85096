#include "triview/stack_loader.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <limits>
#include <thread>
#include <utility>

#include "common/jpeg_codec.hpp"
#include "common/path_text.hpp"
#include "triview/imread_fallback.hpp"

namespace triview {

namespace {

bool read_file(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 0 || size > std::numeric_limits<int>::max()) return false;
  bytes.resize(static_cast<std::size_t>(size));
  in.seekg(0);
  return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), size));
}

// One block for the whole stack, slice after slice. Large pages, where the
// system offers them, spare the tens of thousands of page faults that
// filling a series' worth of small pages costs.
cv::Mat allocate_volume(std::size_t count, cv::Size size) {
  cv::Mat volume(static_cast<int>(count) * size.height, size.width, CV_8UC3);
  constexpr std::uintptr_t huge_page = 2u << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(volume.data);
  const std::uintptr_t first = (begin + huge_page - 1) & ~(huge_page - 1);
  const std::uintptr_t last = (begin + volume.total() * volume.elemSize()) & ~(huge_page - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  return volume;
}

std::vector<cv::Mat> slice_views(const cv::Mat& volume, std::size_t count, int height) {
  std::vector<cv::Mat> slices;
  slices.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const int top = static_cast<int>(i) * height;
    slices.push_back(volume.rowRange(top, top + height));
  }
  return slices;
}

// Shared by the decoding threads: the next index to claim and the lowest
// failing index so far. Claims rise monotonically, so every index below a
// failure has been claimed, and is finished once the threads are joined.
struct load_job {
  const std::vector<std::string>& paths;
  const slice_decoder& decode;
  cv::Size expected;
  std::vector<cv::Mat>& slices;
  std::vector<std::optional<load_failure>>& failures;
  std::atomic<std::size_t> next{1};
  std::atomic<std::size_t> first_failure{std::numeric_limits<std::size_t>::max()};

  void note_failure(std::size_t index, load_failure failure) {
    failures[index] = std::move(failure);
    std::size_t current = first_failure.load();
    while (index < current && !first_failure.compare_exchange_weak(current, index)) {
    }
  }

  void load_one(std::size_t index) {
    cv::Mat& slice = slices[index];
    const std::uint8_t* storage = slice.data;
    if (!decode(paths[index], slice)) {
      note_failure(index, {load_failure::kind::unreadable, paths[index], {}});
    } else if (slice.size() != expected || slice.data != storage) {
      note_failure(index, {load_failure::kind::size_differs, paths[index], slice.size()});
    }
  }

  void run() {
    for (;;) {
      const std::size_t index = next.fetch_add(1);
      if (index >= paths.size() || index > first_failure.load()) return;
      load_one(index);
    }
  }
};

}  // namespace

cv::Mat decode_slice_file(const std::string& listed_path) {
  const std::string path = common::to_native_path(listed_path);
  std::vector<std::uint8_t> bytes;
  if (!read_file(path, bytes) || bytes.empty()) return {};
  if (auto decoded = common::decode_jpeg_bgr(bytes)) return std::move(*decoded);
  return read_with_fallback(path);
}

bool decode_slice_file_into(const std::string& listed_path, cv::Mat& slice) {
  // Each decoding thread keeps its file buffer from slice to slice.
  thread_local std::vector<std::uint8_t> bytes;
  const std::string path = common::to_native_path(listed_path);
  if (!read_file(path, bytes) || bytes.empty()) return false;
  const cv::Mat storage = slice;
  if (common::decode_jpeg_bgr_into(bytes, slice)) return true;
  const cv::Mat decoded = read_with_fallback(path);
  if (decoded.empty()) return false;
  slice = storage;
  if (decoded.size() == storage.size())
    decoded.copyTo(slice);
  else
    slice = decoded;
  return true;
}

load_result load_stack(const std::vector<std::string>& paths, const cv::Mat& first,
                       const slice_decoder& decode, unsigned threads) {
  load_result result;
  const cv::Size expected = first.size();
  std::vector<cv::Mat> slices =
      slice_views(allocate_volume(paths.size(), expected), paths.size(), expected.height);
  first.copyTo(slices[0]);
  std::vector<std::optional<load_failure>> failures(paths.size());

  load_job job{paths, decode, expected, slices, failures};
  const std::size_t workers =
      std::min<std::size_t>(std::max(threads, 1u), std::max<std::size_t>(paths.size(), 2) - 1);
  {
    std::vector<std::jthread> pool;
    for (std::size_t t = 1; t < workers; ++t) pool.emplace_back([&job] { job.run(); });
    job.run();
  }
  if (job.first_failure.load() < paths.size()) {
    result.failure = std::move(failures[job.first_failure.load()]);
    return result;
  }
  result.stack.width = expected.width;
  result.stack.height = expected.height;
  result.stack.slices = std::move(slices);
  return result;
}

}  // namespace triview
