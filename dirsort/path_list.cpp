#include "dirsort/path_list.hpp"

namespace dirsort {

std::string search_pattern_of(std::string_view argument) {
  const std::size_t last_kept = argument.find_last_not_of("/\\");
  if (last_kept == std::string_view::npos) return std::string(argument);  // only separators
  return std::string(argument.substr(0, last_kept + 1));
}

std::string main_list_name(std::string_view dir_name) {
  std::string name(dir_name);
  name += "_list.txt";
  return name;
}

std::string extension_list_name(std::string_view dir_name, std::string_view extension) {
  std::string name(dir_name);
  name += '_';
  name += extension;
  name += "_list.txt";
  return name;
}

}  // namespace dirsort
