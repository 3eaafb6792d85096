#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_read.hpp"
#include "common/platform.hpp"

// The batch's one way to the file system, so tests can stand in for it.
namespace slicejpeg {

// Held until destroyed.
using file_lock = common::platform::held_lock;

class file_system {
 public:
  virtual ~file_system() = default;
  // The whole of a regular file of at most `max_bytes` (lists, slices, the max file).
  virtual common::file_read read(const std::string& path, std::size_t max_bytes) const = 0;
  // At most the first `head_bytes` of a regular file (a slice's header).
  virtual common::file_read read_head(const std::string& path, std::size_t head_bytes) const = 0;
  virtual bool exists(const std::string& path) const = 0;
  // The names of the entries of a directory ("" is the working directory);
  // none when it cannot be read.
  virtual std::vector<std::string> names_in(const std::string& dir) const = 0;
  // Makes a directory unless there is one; an error text, or nothing.
  virtual std::optional<std::string> make_directory(const std::string& path) const = 0;
  // Removes a file the program wrote earlier; an error text, or nothing
  // (also when there was none).
  virtual std::optional<std::string> remove(const std::string& path) const = 0;
  // Replaces a kept file (a JPEG, the max file) as a whole; an error text, or nothing.
  virtual std::optional<std::string> replace(const std::string& path,
                                             std::string_view content) const = 0;
  // Waits until no other run holds `path`, then holds it; nothing, with the
  // reason in `problem`, when the lock cannot be taken (a directory of the
  // lock's name, another user's lock): a run without it could lose another
  // run's extremes.
  virtual std::unique_ptr<file_lock> hold(const std::string& path, std::string& problem) const = 0;
};

// The real one: regular files only, kept files replaced through a temporary
// file, locks as flock on a lock file beside the held file.
const file_system& real_file_system();

}  // namespace slicejpeg
