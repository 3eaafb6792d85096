#include "dirsort/classify.hpp"

#include <algorithm>
#include <cctype>

namespace dirsort {
namespace {

bool equals_ignoring_case(std::string_view text, std::string_view lower) {
  return text.size() == lower.size() &&
         std::equal(text.begin(), text.end(), lower.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

}  // namespace

std::string_view extension_of(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
}

bool is_slice_extension(std::string_view extension) {
  if (extension.empty()) return false;
  const char first = extension.front();
  return (first >= '0' && first <= '9') || equals_ignoring_case(extension, "dcm") ||
         equals_ignoring_case(extension, "dicm");
}

classified classify(std::string_view name) {
  const std::string_view extension = extension_of(name);
  if (extension.empty()) return {};
  if (is_slice_extension(extension)) return {list_kind::slice, {}};
  return {list_kind::other, extension};
}

}  // namespace dirsort
