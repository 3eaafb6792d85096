#include "dirsort/path_list.hpp"

namespace dirsort {

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
