#include "triview/view_file.hpp"

#include <string_view>
#include <vector>

#include "common/atomic_file.hpp"
#include "common/jpeg_codec.hpp"
#include "common/platform.hpp"

namespace triview {

std::optional<std::string> save_view(const std::string& file_name, const cv::Mat& view) {
  // A directory of that name would otherwise only show as a failed rename.
  if (common::platform::is_directory(file_name)) return "is a directory";
  const std::vector<std::uint8_t> jpeg = common::encode_jpeg(view);
  if (jpeg.empty()) return "cannot encode the view as a JPEG";
  const std::string_view content(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
  return common::replace_file_contents(file_name, content);
}

}  // namespace triview
