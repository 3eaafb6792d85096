#pragma once

#include <string_view>

namespace dirsort {

enum class list_kind {
  none,   // nothing after the last dot, or no dot and no final digit: echoed, listed nowhere
  slice,  // goes into the main list
  other,  // goes into the list of its extension
};

struct classified {
  list_kind kind = list_kind::none;
  std::string_view extension;  // text after the last dot, for other files
};

// "IM.12" => "12"; "a.b.txt" => "txt"; "x." => ""; "README" => ""
std::string_view extension_of(std::string_view name);

// "12", "001", "dcm", "DiCm" => true; "d1", "jpg", "dcm5" => false
bool is_slice_extension(std::string_view extension);

// "IM.12", "a.DCM", "IM000001", "1" => slice; "b.txt" => other "txt"; "README", "x." => none
classified classify(std::string_view name);

}  // namespace dirsort
