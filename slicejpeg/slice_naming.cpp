#include "slicejpeg/slice_naming.hpp"

#include <algorithm>

#include "common/path_text.hpp"

namespace slicejpeg {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool all_digits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), is_digit);
}

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Where ".dcm" first occurs in any mix of case, or npos.
std::size_t find_dcm(std::string_view path) {
  constexpr std::string_view suffix = ".dcm";
  for (std::size_t i = 0; i + suffix.size() <= path.size(); ++i)
    if (std::equal(suffix.begin(), suffix.end(), path.begin() + static_cast<std::ptrdiff_t>(i),
                   [](char want, char have) { return want == lower(have); }))
      return i;
  return std::string_view::npos;
}

// Only a ".dcm" that occurs first at the very end is dropped, in any case, as
// dirsort lists ".DCM" as a slice file too.
std::string_view without_dcm_suffix(std::string_view path) {
  const std::size_t found = find_dcm(path);
  if (found != std::string_view::npos && found + 4 == path.size()) return path.substr(0, found);
  return path;
}

}  // namespace

std::string list_prefix(std::string_view list_name) {
  const std::string_view file_name = common::file_name_part(list_name);
  const std::size_t directory_length = list_name.size() - file_name.size();
  std::size_t cut = file_name.rfind('_');
  if (cut == std::string_view::npos) {
    cut = file_name.rfind('.');
    if (cut == 0) cut = std::string_view::npos;
  }
  if (cut == std::string_view::npos) return std::string(list_name);
  return std::string(list_name.substr(0, directory_length + cut));
}

std::string output_directory(std::string_view first_path) {
  return std::string(common::directory_part(first_path));
}

std::optional<std::string> slice_number(std::string_view path) {
  const std::string_view base = common::file_name_part(without_dcm_suffix(path));
  const std::size_t dot = base.rfind('.');
  if (dot != std::string_view::npos) return std::string(base.substr(dot + 1));
  std::size_t start = base.size();
  while (start > 0 && is_digit(base[start - 1])) --start;
  if (start == base.size()) return std::nullopt;
  return std::string(base.substr(start));
}

std::size_t number_width(const std::vector<std::optional<std::string>>& numbers) {
  std::size_t width = 0;
  for (const auto& number : numbers)
    if (number && all_digits(*number)) width = std::max(width, number->size());
  return width;
}

std::string padded_number(std::string_view number, std::size_t width) {
  if (width > 3 && all_digits(number) && number.size() < width)
    return std::string(width - number.size(), '0') + std::string(number);
  // The fixed rule: one character gets "00", two get "0", longer ones nothing.
  const std::size_t zeros = number.size() < 2 ? 2 : number.size() == 2 ? 1 : 0;
  return std::string(zeros, '0') + std::string(number);
}

std::string output_name(std::string_view out_dir, std::string_view prefix,
                        std::string_view padded) {
  std::string name;
  if (!out_dir.empty()) {
    name += out_dir;
    name += '/';
  }
  name += prefix;
  name += padded;
  name += ".jpg";
  return name;
}

}  // namespace slicejpeg
