#pragma once

#include <functional>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "triview/render.hpp"

namespace triview {

// Decodes one listed slice into `slice`, which arrives as a view into the
// stack's storage with the size of the first slice. A file of another size
// leaves `slice` reallocated to that size. False when the file cannot be read
// or decoded.
using slice_decoder = std::function<bool(const std::string& listed_path, cv::Mat& slice)>;

// The real decoders: the listed path with '/' for '\', read with imread's
// colour pixels; JPEGs directly, what the JPEG path refuses through imread.
// decode_slice_file gives an empty image when the file cannot be read.
cv::Mat decode_slice_file(const std::string& listed_path);
bool decode_slice_file_into(const std::string& listed_path, cv::Mat& slice);

struct load_failure {
  enum class kind { unreadable, size_differs };
  kind what = kind::unreadable;
  std::string path;  // as listed
  cv::Size size;     // of the offending slice when its size differs
};

struct load_result {
  slice_stack stack;
  std::optional<load_failure> failure;  // the first failure in list order
};

// Loads paths[1..] beside the already decoded first slice, which fixes the
// size. All slices share one block of storage, filled in place; decoding runs
// on up to `threads` threads, and every slice is decoded once.
load_result load_stack(const std::vector<std::string>& paths, const cv::Mat& first,
                       const slice_decoder& decode, unsigned threads);

}  // namespace triview
