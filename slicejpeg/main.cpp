// slicejpeg: converts the slice files of a path list into 8-bit JPEG slices
// and keeps the series' extremes in the max file.
#include <malloc.h>

#include <cstdio>
#include <exception>
#include <string_view>

#include "slicejpeg/batch.hpp"

namespace {

void print_usage() {
  const std::string usage = slicejpeg::text::usage();
  std::fwrite(usage.data(), 1, usage.size(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
  slicejpeg::batch_options options;
  if (argc >= 2) {
    const std::string_view first = argv[1];
    if (argc == 2 && (first == "-h" || first == "--help")) {
      print_usage();
      return 0;
    }
    options.list_name = first;
  }
  options.jobs = slicejpeg::available_processors();
  // Every slice allocates and frees buffers of the same few sizes; keeping
  // freed memory in the heap instead of returning it to the system saves
  // about fifty page faults per slice.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  try {
    return slicejpeg::run_batch(options, stdout, stderr);
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "\n%s: %s\n", slicejpeg::text::program.data(), error.what());
    return slicejpeg::exit_status::no_memory;
  }
}
