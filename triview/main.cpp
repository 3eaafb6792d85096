// triview: loads a path list of JPEG slices and shows the stack in three
// planes, "x-y", "x-z" and "y-z", driven by trackbars, hot keys and clicks.
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/diagnostic.hpp"
#include "common/platform.hpp"
#include "triview/highgui_ui.hpp"
#include "triview/list_loader.hpp"
#include "triview/messages.hpp"
#include "triview/options.hpp"
#include "triview/view_file.hpp"
#include "triview/viewer.hpp"

namespace {

namespace msg = triview::messages;

// Console lines are flushed at once so a pipe or log sees them as they happen.
void print_line(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

void report(const std::string& subject, const std::string& problem) {
  std::fprintf(stderr, "%s\n", common::diagnostic(msg::program, subject, problem).c_str());
}

// "loading slices: 120 of 2000", rewritten in place on a terminal only and
// at most every tenth of a second.
class progress_line {
 public:
  progress_line() : shown_(common::platform::error_output_is_terminal()) {}
  ~progress_line() { clear(); }

  void update(std::size_t done, std::size_t total) {
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (written_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    written_ = true;
    std::fprintf(stderr, "\r%s: %s", msg::program,
                 msg::format(msg::loading_progress, done, total).c_str());
    std::fflush(stderr);
  }
  void clear() {
    if (!written_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    written_ = false;
  }

 private:
  bool shown_;
  bool written_ = false;
  std::chrono::steady_clock::time_point last_;
};

void print_save(const triview::save_request& save) {
  std::optional<std::string> problem;
  if (save.view != nullptr) problem = triview::save_view(save.file_name, *save.view);
  print_line(msg::format(msg::save_line, save.last_id, save.file_name.c_str()));
  if (problem) report(save.file_name, std::string(msg::cannot_write_file) + ": " + *problem);
}

int run_viewer(triview::slice_stack stack, const triview::viewer_settings& settings) {
  if (!triview::display_available()) {
    const char* display = std::getenv("DISPLAY");
    report(display != nullptr && *display != '\0' ? display : msg::display_not_set,
           msg::cannot_open_display);
    return msg::exit_failure;
  }
  triview::highgui_ui ui;
  try {
    triview::viewer_state state = triview::make_viewer(std::move(stack), ui, settings);
    ui.open(state);
    for (const triview::pane& p : triview::panes) triview::draw(state, p.id);
    for (;;) {
      const int key = ui.wait_key();
      if (key == -1) break;  // every window was closed: end as on ESC
      const triview::key_outcome outcome = triview::handle_key(state, key);
      if (outcome.save) print_save(*outcome.save);
      if (outcome.quit) break;
    }
    ui.close();
  } catch (const cv::Exception& error) {
    report("highgui", error.what());
    return msg::exit_failure;
  } catch (const std::bad_alloc&) {
    report("highgui", msg::windows_out_of_memory);
    return msg::exit_failure;
  }
  return msg::exit_ok;
}

int run(const triview::options& options) {
  triview::loaded_list loaded;
  {
    progress_line progress;
    const triview::load_events events{
        [](std::size_t slices) {
          print_line(msg::format(msg::slice_count,
                                 static_cast<int>(std::min<std::size_t>(slices, INT_MAX))));
        },
        [&progress](std::size_t done, std::size_t total) { progress.update(done, total); }};
    loaded = triview::load_list(options, events);
  }
  for (const auto& line : loaded.lines)
    report(line.subject.empty() ? options.list_name : line.subject, line.what);
  if (!loaded.stack) return loaded.exit_status;
  print_line(msg::hot_key_text);
  const triview::viewer_settings settings = triview::settings_for(options, loaded);
  return run_viewer(std::move(*loaded.stack), settings);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + std::min(argc, 1), argv + argc);
  const triview::parsed_options parsed = triview::parse_options(args);
  if (!parsed.values) {
    std::fprintf(stderr, "%s: %s\n", msg::program, parsed.error.c_str());
    return msg::exit_usage;
  }
  if (parsed.values->help) {
    std::printf(msg::usage, msg::default_list);
    return msg::exit_ok;
  }
  common::platform::use_little_address_space_per_thread();
  // Failures reach the user as this program's own one-line messages.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
  const int status = run(*parsed.values);
  if (status != msg::exit_ok) {
    // A refusal under a memory limit can leave a library's worker thread
    // stuck allocating (OpenBLAS, which OpenCV links, starts some), and the
    // library's exit handler would wait for it for ever: our lines are out,
    // so the process ends without those handlers.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
  }
  return status;
}
