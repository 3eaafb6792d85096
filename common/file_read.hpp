#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reading the files a user names (path lists, slices): only regular files,
// never more than the caller can use, and a reason when it fails.
namespace common {

struct file_read {
  enum class status { ok, cannot_open, not_regular, too_large, cannot_read };
  status what = status::ok;
  std::string reason;  // "no such file or directory", "is a fifo", "size 9223372036854775807 ..."
  std::vector<std::uint8_t> bytes;
  bool whole = true;  // false: only the first bytes of a longer file were read
  explicit operator bool() const { return what == status::ok; }
};

// The whole of a regular file of at most `max_bytes`. A FIFO, a device or a
// directory is refused at once (opened without blocking), so a listed
// /dev/zero or a named pipe can neither hang a run nor fill memory.
file_read read_regular_file(const std::string& path, std::size_t max_bytes);

// At most the first `head_bytes` of a regular file of any size.
file_read read_regular_file_head(const std::string& path, std::size_t head_bytes);

// The reason a file of `size` bytes is refused where `max_bytes` is the most it can need.
std::string too_large_text(std::uint64_t size, std::size_t max_bytes);

}  // namespace common
