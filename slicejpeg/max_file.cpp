#include "slicejpeg/max_file.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "slicejpeg/messages.hpp"

namespace slicejpeg {
namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// "max :3071.000000" with label "max :" => 3071.0
std::optional<double> labelled_number(std::string_view line, std::string_view label) {
  line = trimmed(line);
  if (line.substr(0, label.size()) != label) return std::nullopt;
  const std::string number(trimmed(line.substr(label.size())));
  if (number.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(number.c_str(), &end);
  if (end != number.c_str() + number.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::string max_file_name(std::string_view prefix) {
  return std::string(prefix) + std::string(text::max_file_suffix);
}

std::string format_max_file(const series_range& range, std::string_view line_end) {
  std::string text;
  for (const char c : text::max_file_text(range.run_max, range.run_min)) {
    if (c == '\n')
      text += line_end;
    else
      text += c;
  }
  return text;
}

std::optional<series_range> parse_max_file(std::string_view text) {
  const std::size_t line_end = text.find('\n');
  if (line_end == std::string_view::npos) return std::nullopt;
  const auto max = labelled_number(text.substr(0, line_end), text::max_label);
  const auto min = labelled_number(text.substr(line_end + 1), text::min_label);
  if (!max || !min) return std::nullopt;
  return series_range{*max, *min};
}

}  // namespace slicejpeg
