// The imread module: the one place triview links OpenCV's image codecs.
#include <opencv2/imgcodecs.hpp>

#include "triview/imread_fallback.hpp"

extern "C" int triview_imread_color(const char* path, cv::Mat* image) {
  try {
    *image = cv::imread(path, cv::IMREAD_COLOR);
    return image->empty() ? 0 : 1;
  } catch (...) {
    // Nothing may leave a C entry point.
    return 0;
  }
}
