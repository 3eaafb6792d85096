// The load benchmark's reference: a bare single-threaded loop of colour
// imread calls over the files of a path list, each image dropped at once.
#include <cstdio>
#include <opencv2/imgcodecs.hpp>

#include "common/atomic_file.hpp"
#include "common/path_list.hpp"
#include "common/path_text.hpp"
#include "triview/stack_loader.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: triview_imread_loop LIST\n");
    return 2;
  }
  const auto text = common::read_whole_file(argv[1]);
  if (!text) return 1;
  int loaded = 0;
  for (const std::string& path : common::all_tokens(*text))
    loaded += cv::imread(common::to_native_path(path), cv::IMREAD_COLOR).empty() ? 0 : 1;
  std::printf("%d\n", loaded);
  return 0;
}
