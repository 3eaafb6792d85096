#include "common/file_read.hpp"

#include "common/platform.hpp"

namespace common {

std::string too_large_text(std::uint64_t size, std::size_t max_bytes) {
  return "size " + std::to_string(size) + " bytes is more than the " + std::to_string(max_bytes) +
         " bytes such a file can need";
}

file_read read_regular_file(const std::string& path, std::size_t max_bytes) {
  return platform::read_regular(path, max_bytes, false);
}

file_read read_regular_file_head(const std::string& path, std::size_t head_bytes) {
  return platform::read_regular(path, head_bytes, true);
}

}  // namespace common
