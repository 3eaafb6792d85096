#pragma once

#include <string>
#include <string_view>

// Names of the path lists dirsort writes; their lines and order are common::path_list's.
namespace dirsort {

// The argument without the separators tab completion leaves at its end:
// "sample/" => "sample"; "..\data\sample\" => "..\data\sample"; "/" => "/"
std::string search_pattern_of(std::string_view argument);

// "sample" => "sample_list.txt"
std::string main_list_name(std::string_view dir_name);

// ("sample", "jpg") => "sample_jpg_list.txt"
std::string extension_list_name(std::string_view dir_name, std::string_view extension);

}  // namespace dirsort
