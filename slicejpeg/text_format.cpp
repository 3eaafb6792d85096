#include "slicejpeg/text_format.hpp"

#include <cstdarg>
#include <cstdio>

namespace slicejpeg {

std::string format(const char* pattern, ...) {
  std::va_list args;
  va_start(args, pattern);
  std::va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, pattern, args);
  va_end(args);
  std::string text(static_cast<std::size_t>(size > 0 ? size : 0) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), pattern, again);
  va_end(again);
  text.resize(text.size() - 1);
  return text;
}

}  // namespace slicejpeg
