#pragma once

#include <functional>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "triview/render.hpp"

namespace triview {

// White-space separated tokens of a path list: "a.jpg b.jpg\r\nc.jpg" => 3 tokens.
std::vector<std::string> read_tokens(std::string_view list_text);

// Decodes one listed slice as an 8-bit three-channel image; empty when it cannot.
using slice_decoder = std::function<cv::Mat(const std::string& listed_path)>;

// The real decoder: the listed path with '/' for '\', read as a colour image.
cv::Mat decode_slice_file(const std::string& listed_path);

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
// size. Decoding runs on up to `threads` threads; every slice is decoded once.
load_result load_stack(const std::vector<std::string>& paths, cv::Mat first,
                       const slice_decoder& decode, unsigned threads);

}  // namespace triview
