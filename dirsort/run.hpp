#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/dir_search.hpp"
#include "dirsort/messages.hpp"

namespace dirsort {

// Everything a run does to the file system, replaceable in tests.
struct file_system {
  std::function<common::search_result(std::string_view pattern)> search;
  std::function<std::optional<common::dir_entry>(const std::string& path)> find_exact;
  // Each returns an error text, or nothing on success.
  std::function<std::optional<std::string>(const std::string& path, std::string_view content)>
      replace_file;
  std::function<std::optional<std::string>(const std::string& path)> remove_file;
};

file_system real_file_system();

struct error_line {
  std::size_t after;  // printed once this much standard output is out
  std::string text;   // without the line feed
};

struct transcript {
  std::string out;
  std::vector<error_line> errors;
};

struct run_result {
  transcript console;
  int exit_status = exit_ok;
};

// The whole program: searches, writes the sorted lists, removes an empty
// main list, and returns the console text and exit status.
run_result run(const std::optional<std::string>& argument, const console_labels& labels,
               const file_system& files);

}  // namespace dirsort
