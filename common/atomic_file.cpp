#include "common/atomic_file.hpp"

#include <fstream>
#include <sstream>

#include "common/platform.hpp"

namespace common {

std::optional<std::string> replace_file_contents(const std::string& path,
                                                 std::string_view content) {
  return platform::replace_atomically(path, content);
}

bool is_temporary_name(std::string_view name) {
  const std::size_t at = name.rfind(temporary_marker);
  return at != std::string_view::npos && at > 0 && name.size() == at + temporary_marker.size() + 6;
}

std::string_view replaced_name(std::string_view temporary_name) {
  return temporary_name.substr(0, temporary_name.rfind(temporary_marker));
}

std::optional<std::string> read_whole_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(content).str();
}

}  // namespace common
