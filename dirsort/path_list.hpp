#pragma once

#include <string>
#include <string_view>

// Names of the path lists dirsort writes; their lines and order are common::path_list's.
namespace dirsort {

// "sample" => "sample_list.txt"
std::string main_list_name(std::string_view dir_name);

// ("sample", "jpg") => "sample_jpg_list.txt"
std::string extension_list_name(std::string_view dir_name, std::string_view extension);

}  // namespace dirsort
