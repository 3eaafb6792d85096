#pragma once

#include <string>
#include <string_view>
#include <vector>

// Naming, lines and byte-order sorting of the path lists dirsort writes.
namespace dirsort {

// "sample" => "sample_list.txt"
std::string main_list_name(std::string_view dir_name);

// ("sample", "jpg") => "sample_jpg_list.txt"
std::string extension_list_name(std::string_view dir_name, std::string_view extension);

// ("..\data\sample", "IM.1") => "..\data\sample\IM.1": the pattern as typed.
std::string path_line(std::string_view pattern, std::string_view name);

// A list holds one path per line, so a name with a line break has no line of its own.
bool has_line_break(std::string_view name);

// Unsigned byte order, as strcmp: "IM.10" < "IM.9" < "a.DCM"; bytes 0x80-0xFF after ASCII.
void sort_lines(std::vector<std::string>& lines);

// Every line followed by '\n'; no lines => "".
std::string list_text(const std::vector<std::string>& lines);

}  // namespace dirsort
