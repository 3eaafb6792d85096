// The load benchmark's colour twin of a grey series: every slice of a path
// list decoded, tinted (blue v, green 7/8 v, red 3/4 v) and written as a colour
// JPEG into DIR, whose path list goes to standard output.
#include <cstdio>
#include <filesystem>
#include <opencv2/core.hpp>
#include <string>

#include "common/atomic_file.hpp"
#include "common/jpeg_codec.hpp"
#include "common/path_list.hpp"
#include "common/path_text.hpp"
#include "triview/stack_loader.hpp"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: triview_tint_series LIST DIR\n");
    return 2;
  }
  const auto text = common::read_whole_file(argv[1]);
  if (!text) return 1;
  const std::filesystem::path dir = argv[2];
  std::filesystem::create_directories(dir);
  for (const std::string& path : common::all_tokens(*text)) {
    const cv::Mat grey = triview::decode_first_slice(path).image;
    if (grey.empty() || grey.channels() != 1) return 1;
    cv::Mat colour;
    cv::merge(std::vector<cv::Mat>{grey, grey * 7 / 8, grey * 3 / 4}, colour);
    const std::string name =
        (dir / std::filesystem::path(common::to_native_path(path)).filename()).string();
    const std::vector<std::uint8_t> jpeg = common::encode_jpeg(colour);
    if (common::replace_file_contents(name,
                                      {reinterpret_cast<const char*>(jpeg.data()), jpeg.size()}))
      return 1;
    std::printf("%s\n", name.c_str());
  }
  return 0;
}
