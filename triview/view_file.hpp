#pragma once

#include <opencv2/core.hpp>
#include <optional>
#include <string>

namespace triview {

// Writes a view as a JPEG with OpenCV's default encoding, replacing a file of
// that name as a whole. Nothing on success, else why not: "is a directory",
// "cannot create a temporary file beside it: permission denied", ...
std::optional<std::string> save_view(const std::string& file_name, const cv::Mat& view);

}  // namespace triview
