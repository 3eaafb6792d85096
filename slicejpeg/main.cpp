// slicejpeg: converts the slice files of a path list into 8-bit JPEG slices
// and keeps the series' extremes in the max file.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "common/diagnostic.hpp"
#include "common/platform.hpp"
#include "slicejpeg/batch.hpp"
#include "slicejpeg/command_line.hpp"
#include "slicejpeg/window.hpp"

namespace {

void print_usage() {
  const std::string usage = slicejpeg::text::usage();
  std::fwrite(usage.data(), 1, usage.size(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto parsed = slicejpeg::parse_command_line(args);
  if (!parsed.options) {
    const auto& problem = parsed.problem;
    std::fprintf(
        stderr, "%s\n",
        common::diagnostic(slicejpeg::text::program, problem.subject, problem.what).c_str());
    return slicejpeg::exit_status::usage_error;
  }
  if (parsed.options->help) {
    print_usage();
    return slicejpeg::exit_status::ok;
  }
  common::platform::catch_interrupts();
  slicejpeg::batch_options options;
  options.list_name = parsed.options->list_name;
  options.window = parsed.options->window;
  options.order = parsed.options->order;
  options.series = parsed.options->series;
  options.jobs = common::platform::available_processors();
  // Saves about fifty page faults per slice.
  common::platform::keep_freed_memory_for_reuse();
  try {
    return slicejpeg::run_batch(options, stdout, stderr);
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "\n%s: %s\n", slicejpeg::text::program.data(), error.what());
    return slicejpeg::exit_status::no_memory;
  }
}
