#include "slicejpeg/path_list.hpp"

namespace slicejpeg {
namespace {

// White space as the C library's isspace sees it in the "C" locale.
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::vector<std::string> list_tokens(std::string_view text) {
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

}  // namespace slicejpeg
