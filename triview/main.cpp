// triview: loads a path list of JPEG slices and shows the stack in three
// planes, "x-y", "x-z" and "y-z", driven by trackbars, hot keys and clicks.
#include <unistd.h>

#include <chrono>
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
#include "common/file_read.hpp"
#include "common/path_list.hpp"
#include "triview/highgui_ui.hpp"
#include "triview/imread_fallback.hpp"
#include "triview/memory_room.hpp"
#include "triview/messages.hpp"
#include "triview/options.hpp"
#include "triview/stack_loader.hpp"
#include "triview/view_file.hpp"
#include "triview/viewer.hpp"

namespace {

namespace msg = triview::messages;

// A path list longer than this names more slices than any memory holds.
constexpr std::size_t max_list_bytes = std::size_t{1} << 30;
// What the window toolkit maps after the stack is loaded (threads with their
// stacks, X shared-memory segments, fonts): about 60 MiB measured, twice
// that kept free. The views and their copies in the toolkit come on top.
constexpr std::size_t window_toolkit_bytes = std::size_t{128} << 20;

// Console lines are flushed at once so a pipe or log sees them as they happen.
void print_line(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

void report(const std::string& subject, const std::string& problem) {
  std::fprintf(stderr, "%s\n", common::diagnostic(msg::program, subject, problem).c_str());
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
  const int length = std::snprintf(nullptr, 0, pattern, args...);
  std::string text(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
  std::snprintf(text.data(), text.size(), pattern, args...);
  text.pop_back();
  return text;
}

std::string size_text(cv::Size size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// A file only imread reads fails too when imread's module cannot be loaded:
// that reason comes first.
int report_unreadable(const std::string& path, const triview::slice_outcome& outcome) {
  using kind = triview::slice_outcome::kind;
  if (outcome.what == kind::implausible) {
    report(path, std::string(msg::cannot_load_image) + ": " +
                     format(msg::implausible_size, outcome.size.width, outcome.size.height,
                            outcome.file_bytes));
    return msg::exit_unreadable_image;
  }
  if (const auto problem = triview::fallback_problem())
    report(triview::fallback_module_name(), msg::no_fallback_module + *problem);
  report(path, outcome.reason.empty()
                   ? msg::cannot_load_image
                   : std::string(msg::cannot_load_image) + ": " + outcome.reason);
  return msg::exit_unreadable_image;
}

int report_load_failure(const triview::load_failure& failure, const std::string& list_name,
                        std::size_t count, cv::Size size) {
  if (failure.what == triview::load_failure::kind::no_memory) {
    report(list_name, format(msg::stack_needs_memory, count, size.width, size.height,
                             triview::memory_text(failure.bytes).c_str()));
    return msg::exit_failure;
  }
  if (failure.outcome.what == triview::slice_outcome::kind::size_differs) {
    report(failure.path, format(msg::size_differs, size_text(failure.outcome.size).c_str(),
                                size_text(size).c_str()));
    return msg::exit_failure;
  }
  return report_unreadable(failure.path, failure.outcome);
}

// "loading slices: 120 of 2000", rewritten in place on a terminal only and
// at most every tenth of a second.
class progress_line {
 public:
  explicit progress_line(std::size_t total) : total_(total), shown_(::isatty(STDERR_FILENO) == 1) {}
  ~progress_line() { clear(); }

  void update(std::size_t done) {
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (written_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    written_ = true;
    std::fprintf(stderr, "\r%s: %s", msg::program,
                 format(msg::loading_progress, done, total_).c_str());
    std::fflush(stderr);
  }
  void clear() {
    if (!written_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    written_ = false;
  }

 private:
  std::size_t total_;
  bool shown_;
  bool written_ = false;
  std::chrono::steady_clock::time_point last_;
};

void print_save(const triview::save_request& save) {
  std::optional<std::string> problem;
  if (save.view != nullptr) problem = triview::save_view(save.file_name, *save.view);
  print_line(format(msg::save_line, save.last_id, save.file_name.c_str()));
  if (problem) report(save.file_name, std::string(msg::cannot_write_file) + ": " + *problem);
}

int run_viewer(triview::slice_stack stack, double z_scale) {
  if (!triview::display_available()) {
    const char* display = std::getenv("DISPLAY");
    report(display != nullptr && *display != '\0' ? display : msg::display_not_set,
           msg::cannot_open_display);
    return msg::exit_failure;
  }
  triview::highgui_ui ui;
  try {
    triview::viewer_state state = triview::make_viewer(std::move(stack), ui, z_scale);
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

std::optional<std::vector<std::string>> read_path_list(const std::string& list_name) {
  const common::file_read list = common::read_regular_file(list_name, max_list_bytes);
  if (!list) {
    report(list_name, std::string(msg::cannot_open_list) + ": " + list.reason);
    return std::nullopt;
  }
  std::vector<std::string> paths = common::all_tokens(
      std::string_view(reinterpret_cast<const char*>(list.bytes.data()), list.bytes.size()));
  if (paths.empty()) {
    report(list_name, msg::list_holds_no_name);
    return std::nullopt;
  }
  return paths;
}

int run(const triview::options& options) {
  const auto paths = read_path_list(options.list_name);
  if (!paths) return msg::exit_failure;
  // Views too large to show are refused from the first slice's header,
  // before its pixels take memory.
  triview::first_slice first = triview::decode_first_slice(paths->front(), [&](cv::Size declared) {
    return !triview::find_oversized_view(paths->size(), declared, options.z_scale);
  });
  const bool too_large = first.outcome.what == triview::slice_outcome::kind::too_large;
  if (first.image.empty() && !too_large) return report_unreadable(paths->front(), first.outcome);
  print_line(format(msg::slice_count, static_cast<int>(std::min<std::size_t>(
                                          paths->size(), std::numeric_limits<int>::max()))));
  const cv::Size size = too_large ? first.outcome.size : first.image.size();
  if (const auto view = triview::find_oversized_view(paths->size(), size, options.z_scale)) {
    report(options.list_name,
           format(msg::too_large_to_address, paths->size(), size.width, size.height, view->window,
                  triview::memory_text(view->bytes).c_str()));
    return msg::exit_failure;
  }
  triview::load_result loaded;
  {
    progress_line progress(paths->size());
    triview::load_options load_options{std::thread::hardware_concurrency(),
                                       [&progress](std::size_t done) { progress.update(done); }};
    loaded =
        triview::load_stack(*paths, first.image, triview::decode_slice_file_into, load_options);
  }
  first.image.release();
  if (loaded.failure)
    return report_load_failure(*loaded.failure, options.list_name, paths->size(), size);
  if (first.outcome.incomplete) loaded.incomplete.insert(loaded.incomplete.begin(), paths->front());
  for (const std::string& path : loaded.incomplete) report(path, msg::incomplete_file);
  const std::uint64_t room =
      window_toolkit_bytes + 2 * triview::view_bytes(paths->size(), size, options.z_scale);
  if (!triview::address_space_left(static_cast<std::size_t>(room))) {
    const std::size_t stack =
        triview::stack_bytes(paths->size(), size, loaded.stack.channels).value_or(0);
    report(options.list_name,
           format(msg::no_memory_for_windows, triview::memory_text(stack).c_str(),
                  triview::memory_text(room).c_str()));
    return msg::exit_failure;
  }
  print_line(msg::hot_key_text);
  return run_viewer(std::move(loaded.stack), options.z_scale);
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
  // Failures reach the user as this program's own one-line messages.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
  return run(*parsed.values);
}
