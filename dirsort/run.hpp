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
  // At most the first `bytes` of a regular file; "" when it cannot be read.
  std::function<std::string(const std::string& path, std::size_t bytes)> read_head;
  // True when the folder of the existing file `path` takes names that differ
  // only in letter case for one; unset means never.
  std::function<bool(const std::string& path)> names_ignore_case;
  std::string_view line_end = "\n";  // of the lists written
};

file_system real_file_system();

// Where a run's console text goes, as it is produced.
class console_sink {
 public:
  virtual ~console_sink() = default;
  virtual void out(std::string_view text) = 0;
  virtual void error(const std::string& line) = 0;  // one line for standard error, no line feed
};

struct error_line {
  std::size_t after;  // comes once this much standard output is out
  std::string text;
};

// Records the console text in memory.
class transcript : public console_sink {
 public:
  void out(std::string_view text) override { out_ += text; }
  void error(const std::string& line) override { errors_.push_back({out_.size(), line}); }

  const std::string& out_text() const { return out_; }
  const std::vector<error_line>& errors() const { return errors_; }

 private:
  std::string out_;
  std::vector<error_line> errors_;
};

// The whole program: searches, writes the sorted lists, removes an empty
// main list; returns the exit status.
int run(const std::optional<std::string>& argument, const console_labels& labels,
        const file_system& files, console_sink& console);

struct run_result {
  transcript console;
  int exit_status = exit_ok;
};

// The same run, with its console text kept.
run_result run(const std::optional<std::string>& argument, const console_labels& labels,
               const file_system& files);

}  // namespace dirsort
