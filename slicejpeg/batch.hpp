#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The batch: every slice of a path list converted to a JPEG, in list order,
// and the max file read before and rewritten after.
namespace slicejpeg {

namespace exit_status {
constexpr int ok = 0;
constexpr int cannot_open = 1;  // the path list or a slice file
constexpr int bad_slice = 2;    // a slice file that cannot be converted
constexpr int no_memory = 3;
constexpr int jpeg_not_written = 4;  // the batch went on; the max file was written
constexpr int max_file_failed = 5;   // unreadable, not a max file, or not written
constexpr int empty_list = 6;
}  // namespace exit_status

constexpr std::string_view default_list_name = "stomach_list.txt";

struct batch_options {
  std::string list_name{default_list_name};
  unsigned jobs = 1;  // slices converted at the same time
};

// The number of processors this process may run on.
unsigned available_processors();

// Runs the whole batch; console text goes to `out`, error lines to `err`.
// Returns the exit status.
int run_batch(const batch_options& options, std::FILE* out, std::FILE* err);

}  // namespace slicejpeg
