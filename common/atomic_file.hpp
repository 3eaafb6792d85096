#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace common {

// Replaces the file's content as a whole: the text goes to a temporary file
// beside it, which is then renamed over the old one, so a failed run never
// leaves a kept file truncated. Returns an error text, or nothing on success.
std::optional<std::string> replace_file_contents(const std::string& path, std::string_view content);

// The whole file, or nothing when it cannot be opened or read.
std::optional<std::string> read_whole_file(const std::string& path);

}  // namespace common
