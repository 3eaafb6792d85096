#include "common/path_list.hpp"

#include <algorithm>

namespace common {
namespace {

// White space as the C library's isspace sees it in the "C" locale.
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool has_space(std::string_view text) {
  return std::any_of(text.begin(), text.end(), is_space);
}

// The token that starts at `pos` in `text` (not white space there), and
// where the text after it starts; a quoted token ends at its closing quote
// or at the end of the line.
std::string_view token_at(std::string_view text, std::size_t& pos) {
  if (text[pos] == '"') {
    const std::size_t start = pos + 1;
    std::size_t end = text.find('"', start);
    const std::size_t line_end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos || end > line_end) {
      end = line_end == std::string_view::npos ? text.size() : line_end;
      pos = end;
    } else {
      pos = end + 1;
    }
    return text.substr(start, end - start);
  }
  const std::size_t start = pos;
  while (pos < text.size() && !is_space(text[pos])) ++pos;
  return text.substr(start, pos - start);
}

}  // namespace

// White space, or a quote where a reader would take one as opening.
bool needs_quotes(std::string_view path) {
  return has_space(path) || (!path.empty() && path.front() == '"');
}

bool listable(std::string_view path) {
  return !needs_quotes(path) || path.find('"') == std::string_view::npos;
}

std::string list_line(std::string_view path) {
  if (!needs_quotes(path)) return std::string(path);
  std::string line;
  line.reserve(path.size() + 2);
  line += '"';
  line += path;
  line += '"';
  return line;
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

std::string list_text(const std::vector<std::string>& lines, std::string_view line_end) {
  std::size_t size = 0;
  for (const auto& line : lines) size += line.size() + line_end.size();
  std::string text;
  text.reserve(size);
  for (const auto& line : lines) {
    text += line;
    text += line_end;
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
    std::size_t pos = 0;
    while (pos < line.size() && is_space(line[pos])) ++pos;
    if (pos == line.size()) continue;
    const std::string_view token = token_at(line, pos);
    if (!token.empty()) tokens.emplace_back(token);
  }
  return tokens;
}

std::vector<std::string> all_tokens(std::string_view text) {
  std::vector<std::string> tokens;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && is_space(text[pos])) ++pos;
    if (pos == text.size()) break;
    const std::string_view token = token_at(text, pos);
    if (!token.empty()) tokens.emplace_back(token);
  }
  return tokens;
}

}  // namespace common
