#include "triview/stack_loader.hpp"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <limits>
#include <opencv2/imgcodecs.hpp>
#include <thread>
#include <utility>

#include "common/path_text.hpp"

namespace triview {

namespace {

bool is_space(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
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
    cv::Mat slice = decode(paths[index]);
    if (slice.empty()) {
      note_failure(index, {load_failure::kind::unreadable, paths[index], {}});
    } else if (slice.size() != expected) {
      note_failure(index, {load_failure::kind::size_differs, paths[index], slice.size()});
    } else {
      slices[index] = std::move(slice);
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

std::vector<std::string> read_tokens(std::string_view list_text) {
  std::vector<std::string> tokens;
  std::size_t pos = 0;
  while (pos < list_text.size()) {
    while (pos < list_text.size() && is_space(list_text[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < list_text.size() && !is_space(list_text[pos])) ++pos;
    if (pos > start) tokens.emplace_back(list_text.substr(start, pos - start));
  }
  return tokens;
}

cv::Mat decode_slice_file(const std::string& listed_path) {
  try {
    return cv::imread(common::to_native_path(listed_path), cv::IMREAD_COLOR);
  } catch (const cv::Exception&) {
    return {};
  }
}

load_result load_stack(const std::vector<std::string>& paths, cv::Mat first,
                       const slice_decoder& decode, unsigned threads) {
  load_result result;
  std::vector<cv::Mat> slices(paths.size());
  std::vector<std::optional<load_failure>> failures(paths.size());
  const cv::Size expected = first.size();
  slices[0] = std::move(first);

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
