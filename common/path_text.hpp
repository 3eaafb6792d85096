#pragma once

#include <string>
#include <string_view>

// Path lists keep backslash separators; the file system wants slashes.
namespace common {

// "sample\IM.12" => "sample/IM.12"
std::string to_native_path(std::string_view listed_path);

// Position of the last '\' or '/', or npos when the path has neither.
std::size_t last_separator(std::string_view path);

// "sample\IM.12" => "sample"; "IM.12" => ""
std::string_view directory_part(std::string_view path);

// "sample\IM.12" => "IM.12"
std::string_view file_name_part(std::string_view path);

}  // namespace common
