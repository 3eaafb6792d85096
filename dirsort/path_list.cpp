#include "dirsort/path_list.hpp"

#include <algorithm>

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

std::string path_line(std::string_view pattern, std::string_view name) {
  std::string line;
  line.reserve(pattern.size() + 1 + name.size());
  line += pattern;
  line += '\\';
  line += name;
  return line;
}

bool has_line_break(std::string_view name) {
  return name.find_first_of("\r\n") != std::string_view::npos;
}

// std::string compares through char_traits<char>, which orders bytes as unsigned char.
// The search delivers names in this order already, so the check usually ends it.
void sort_lines(std::vector<std::string>& lines) {
  if (!std::is_sorted(lines.begin(), lines.end())) std::sort(lines.begin(), lines.end());
}

std::string list_text(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const auto& line : lines) size += line.size() + 1;
  std::string text;
  text.reserve(size);
  for (const auto& line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}

}  // namespace dirsort
