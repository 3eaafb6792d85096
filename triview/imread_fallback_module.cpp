// The imread module: the one place triview links OpenCV's image codecs.
#include <limits>
#include <opencv2/imgcodecs.hpp>

#include "triview/imread_fallback.hpp"

extern "C" int triview_imdecode_color(const std::uint8_t* bytes, std::size_t size, cv::Mat* image) {
  try {
    if (size == 0 || size > static_cast<std::size_t>(std::numeric_limits<int>::max())) return 0;
    const cv::Mat buffer(1, static_cast<int>(size), CV_8UC1, const_cast<std::uint8_t*>(bytes));
    *image = cv::imdecode(buffer, cv::IMREAD_COLOR);
    return image->empty() ? 0 : 1;
  } catch (...) {
    // Nothing may leave a C entry point.
    return 0;
  }
}
