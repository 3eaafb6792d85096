#pragma once

#include <cstddef>
#include <functional>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <vector>

#include "triview/render.hpp"

namespace triview {

// What became of one listed slice.
struct slice_outcome {
  enum class kind {
    ok,
    unreadable,    // cannot be read or decoded; `reason` says why when known
    implausible,   // declares more pixels than its file can hold
    size_differs,  // of another size than the first slice
    needs_colour,  // a colour slice in a stack held as grey
    too_large,     // the first slice's declared size was not acceptable; `size` holds it
  };
  kind what = kind::ok;
  std::string reason;
  cv::Size size;               // declared or decoded size, for implausible and size_differs
  std::size_t file_bytes = 0;  // for implausible
  bool incomplete = false;     // the data ended early; the rest is grey
};

// Decodes one listed slice into `slice`, a view into the stack's storage of
// the first slice's size and the stack's channel count, which it never
// reallocates. Sizes are checked before any pixel is decoded.
using slice_decoder = std::function<slice_outcome(const std::string& listed_path, cv::Mat& slice)>;

// The largest slice file read: far above any real slice, far below memory.
inline constexpr std::size_t max_slice_file_bytes = std::size_t{1} << 30;

// The real decoders: the listed path with '/' for '\', only a regular file.
// JPEGs are decoded directly (grey ones as one channel), anything else
// through imread's module; the pixels are imread's colour pixels, or the one
// sample of a grey image. The first slice is grey when its pixels are.
struct first_slice {
  cv::Mat image;
  slice_outcome outcome;
};
// Asked with the first slice's declared size before any pixel buffer is
// allocated: false stops there with kind::too_large.
using size_check = std::function<bool(cv::Size)>;
first_slice decode_first_slice(const std::string& listed_path, const size_check& acceptable = {});
slice_outcome decode_slice_file_into(const std::string& listed_path, cv::Mat& slice);

// Bytes of a stack of `count` slices: nothing when it cannot be addressed.
std::optional<std::size_t> stack_bytes(std::size_t count, cv::Size size, int channels);

struct load_failure {
  enum class kind { slice, no_memory };
  kind what = kind::slice;
  std::string path;  // as listed
  slice_outcome outcome;
  std::size_t bytes = 0;  // for no_memory: what the stack needs
};

struct load_result {
  slice_stack stack;
  std::optional<load_failure> failure;  // the first failure in list order
  std::vector<std::string> incomplete;  // listed paths whose data ended early, in list order
};

struct load_options {
  unsigned threads = 1;
  // Called now and then on the calling thread with the count of slices done.
  std::function<void(std::size_t done)> progress;
};

// Loads paths[1..] beside the already decoded first slice, which fixes the
// size and, grey or colour, the channels. All slices share one block of
// storage, filled in place; decoding runs on up to `threads` threads. A
// colour slice in a grey stack makes the whole stack colour.
load_result load_stack(const std::vector<std::string>& paths, const cv::Mat& first,
                       const slice_decoder& decode, const load_options& options);

}  // namespace triview
