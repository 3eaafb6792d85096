#include "common/diagnostic.hpp"

#include <cctype>
#include <cstring>

namespace common {

std::string diagnostic(std::string_view program, std::string_view subject, std::string_view what) {
  std::string text;
  text.reserve(program.size() + subject.size() + what.size() + 4);
  text += program;
  text += ": ";
  for (const char c : subject) {
    if (c == '\n')
      text += "\\n";
    else if (c == '\r')
      text += "\\r";
    else
      text += c;
  }
  text += ": ";
  text += what;
  return text;
}

std::string system_reason(int error_number) {
  std::string text = std::strerror(error_number);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace common
