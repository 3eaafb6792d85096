#include "dirsort/classify.hpp"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "common/atomic_file.hpp"

namespace dirsort {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

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
  return is_digit(extension.front()) || equals_ignoring_case(extension, "dcm") ||
         equals_ignoring_case(extension, "dicm") || equals_ignoring_case(extension, "ima");
}

classified classify(std::string_view name) {
  // A killed slicejpeg's temporary file or max-file lock is no file of the series.
  if (common::is_temporary_name(name) || name.ends_with("_max.txt.lock")) return {};
  // Copying to a non-Mac file system leaves one "._" file of resources per file.
  if (name.starts_with("._")) return {list_kind::companion, {}};
  // Scanner exports and CD layouts name their slices 1, 2, 10 or IM000001.
  if (name.find('.') == std::string_view::npos)
    return {!name.empty() && is_digit(name.back()) ? list_kind::slice : list_kind::none, {}};
  const std::string_view extension = extension_of(name);
  if (extension.empty()) return {};
  if (is_slice_extension(extension)) return {list_kind::slice, {}};
  return {list_kind::other, extension};
}

}  // namespace dirsort

namespace dirsort {

bool is_dicom_index(std::string_view name) {
  return name.size() == 8 && std::equal(name.begin(), name.end(), "dicomdir", [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

bool starts_as_dicom(std::string_view head) {
  return head.size() >= dicom_head_bytes && head.substr(128, 4) == "DICM";
}

}  // namespace dirsort
