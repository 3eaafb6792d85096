#pragma once

#include <string>

namespace slicejpeg {

// printf-style formatting into a string of whatever length the text needs.
__attribute__((format(printf, 1, 2))) std::string format(const char* pattern, ...);

}  // namespace slicejpeg
