#include "common/path_text.hpp"

#include <algorithm>

namespace common {

std::string to_native_path(std::string_view listed_path) {
  std::string native(listed_path);
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

std::size_t last_separator(std::string_view path) {
  return path.find_last_of("\\/");
}

std::string_view directory_part(std::string_view path) {
  const std::size_t cut = last_separator(path);
  return cut == std::string_view::npos ? std::string_view{} : path.substr(0, cut);
}

std::string_view file_name_part(std::string_view path) {
  const std::size_t cut = last_separator(path);
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace common
