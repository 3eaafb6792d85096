#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "slicejpeg/conversion.hpp"

// The max file: the series' running maximum and minimum, two text lines.
namespace slicejpeg {

// "sample" => "sample_max.txt"
std::string max_file_name(std::string_view prefix);

// {3071, -1024} => "max :3071.000000\nmin :-1024.000000\n"; with "\r\n" as line end
// (Windows), "max :3071.000000\r\nmin :-1024.000000\r\n"
std::string format_max_file(const series_range& range, std::string_view line_end = "\n");

// The two lines format_max_file writes (CRLF line ends and blanks around the
// numbers accepted), or nothing when the text is not in that form.
std::optional<series_range> parse_max_file(std::string_view text);

}  // namespace slicejpeg
