#include "common/path_list.hpp"

#include <algorithm>

namespace common {
namespace {

// White space as the C library's isspace sees it in the "C" locale.
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

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

std::vector<std::string> first_tokens(std::string_view text) {
  std::vector<std::string> tokens;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    line = line.substr(0, line.find('\0'));
    std::size_t start = 0;
    while (start < line.size() && is_space(line[start])) ++start;
    std::size_t stop = start;
    while (stop < line.size() && !is_space(line[stop])) ++stop;
    if (stop > start) tokens.emplace_back(line.substr(start, stop - start));
  }
  return tokens;
}

std::vector<std::string> all_tokens(std::string_view text) {
  std::vector<std::string> tokens;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && is_space(text[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && !is_space(text[pos])) ++pos;
    if (pos > start) tokens.emplace_back(text.substr(start, pos - start));
  }
  return tokens;
}

}  // namespace common
