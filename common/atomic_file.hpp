#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace common {

// Replaces the file's content as a whole: the text goes to a temporary file
// beside it, which is then renamed over the old one, so a failed run never
// leaves a kept file truncated. Returns an error text, or nothing on success.
std::optional<std::string> replace_file_contents(const std::string& path, std::string_view content);

// Temporary files are named "NAME.ctview-tmp-XXXXXX" beside the file they
// replace, so leftovers of a killed run are known as such: the next run
// removes its own, and dirsort lists none.
inline constexpr std::string_view temporary_marker = ".ctview-tmp-";

// "s001.jpg.ctview-tmp-a1B2c3" => true; "s001.jpg" => false
bool is_temporary_name(std::string_view name);

// The file a temporary name stands for: "s001.jpg.ctview-tmp-a1B2c3" => "s001.jpg".
std::string_view replaced_name(std::string_view temporary_name);

// The whole file, or nothing when it cannot be opened or read.
std::optional<std::string> read_whole_file(const std::string& path);

}  // namespace common
