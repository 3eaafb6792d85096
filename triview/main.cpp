// triview: loads a path list of JPEG slices and shows the stack in three
// planes, "x-y", "x-z" and "y-z", driven by trackbars and hot keys.
#include <cstdio>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <string>
#include <string_view>
#include <thread>

#include "common/atomic_file.hpp"
#include "common/diagnostic.hpp"
#include "common/path_list.hpp"
#include "triview/highgui_ui.hpp"
#include "triview/imread_fallback.hpp"
#include "triview/stack_loader.hpp"
#include "triview/viewer.hpp"

namespace {

constexpr const char* default_list = "sample_jpg_list.txt";

constexpr const char* hot_key_text =
    "Hot keys: \n"
    "\tESC - quit the program\n"
    "\tl : move left(x-), r : move right(x+) r\n"
    "\tf : move forward(y+), b : move back(y-) ward\n"
    "\tu : move upper(z+), d : move down( z- )\n";

constexpr int exit_ok = 0;
constexpr int exit_failure = 1;
constexpr int exit_unreadable_image = -1;

// Console lines are flushed at once so a pipe or log sees them as they happen.
void print_line(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

void report(const std::string& subject, const std::string& problem) {
  std::fprintf(stderr, "%s\n", common::diagnostic("triview", subject, problem).c_str());
}

std::string size_text(cv::Size size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// A file only imread reads fails too when imread's module cannot be loaded:
// that reason comes first.
int report_unreadable(const std::string& path) {
  if (const auto problem = triview::fallback_problem())
    report(triview::fallback_module_name(), "cannot load the image reader module: " + *problem);
  report(path, "cannot load image");
  return exit_unreadable_image;
}

int report_load_failure(const triview::load_failure& failure, cv::Size expected) {
  if (failure.what == triview::load_failure::kind::unreadable)
    return report_unreadable(failure.path);
  report(failure.path, "size " + size_text(failure.size) + " differs from the first slice's " +
                           size_text(expected));
  return exit_failure;
}

int run_viewer(triview::slice_stack stack) {
  if (!triview::display_available()) {
    const char* display = std::getenv("DISPLAY");
    report(display != nullptr && *display != '\0' ? display : "DISPLAY is not set",
           "cannot open display");
    return exit_failure;
  }
  triview::highgui_ui ui;
  triview::viewer_state state = triview::make_viewer(std::move(stack), ui);
  try {
    ui.open(state);
    triview::draw(state, triview::view_id::xz);
    triview::draw(state, triview::view_id::yz);
    triview::draw(state, triview::view_id::xy);
    for (;;) {
      const int key = ui.wait_key();
      if (key == -1) break;  // every window was closed: end as on ESC
      const triview::key_outcome outcome = triview::handle_key(state, key);
      if (outcome.save) {
        char line[64];
        std::snprintf(line, sizeof line, "last_id:%d ", outcome.save->last_id);
        print_line(line + outcome.save->file_name + "\n");
        if (!outcome.save->written) report(outcome.save->file_name, "cannot write file");
      }
      if (outcome.quit) break;
    }
    ui.close();
  } catch (const cv::Exception& error) {
    report("highgui", error.what());
    return exit_failure;
  }
  return exit_ok;
}

int run(const std::string& list_name) {
  const auto list_text = common::read_whole_file(list_name);
  if (!list_text) {
    report(list_name, "cannot open path list");
    return exit_failure;
  }
  const std::vector<std::string> paths = common::all_tokens(*list_text);
  if (paths.empty()) {
    report(list_name, "path list holds no file name");
    return exit_failure;
  }
  cv::Mat first = triview::decode_slice_file(paths.front());
  if (first.empty()) return report_unreadable(paths.front());
  print_line("islice:" + std::to_string(paths.size()) + "\n");
  const cv::Size expected = first.size();
  triview::load_result loaded = triview::load_stack(paths, first, triview::decode_slice_file_into,
                                                    std::thread::hardware_concurrency());
  first.release();
  if (loaded.failure) return report_load_failure(*loaded.failure, expected);
  print_line(hot_key_text);
  return run_viewer(std::move(loaded.stack));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "-h" || std::string_view(argv[1]) == "--help")) {
    std::printf(
        "usage: triview [LIST]\n"
        "shows the JPEG slices named in the path list LIST (default %s)\n"
        "in the windows x-y, x-z and y-z; ESC quits\n",
        default_list);
    return exit_ok;
  }
  // Failures reach the user as this program's own one-line messages.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
  return run(argc > 1 ? argv[1] : default_list);
}
