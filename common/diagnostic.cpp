#include "common/diagnostic.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace common {

namespace {

// A file's strings (a UID, a file name) reach the terminal through these
// lines: control bytes would move the cursor or forge a second line, and a
// value of megabytes would flood it.
constexpr std::size_t max_part_bytes = 1024;

void append_escaped(std::string& text, std::string_view part) {
  const std::string_view kept = part.substr(0, max_part_bytes);
  for (const char c : kept) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      constexpr char hex[] = "0123456789abcdef";
      text += "\\x";
      text += hex[byte >> 4];
      text += hex[byte & 0xF];
    } else {
      text += c;
    }
  }
  if (part.size() > kept.size())
    text += "... (" + std::to_string(part.size()) + " bytes, cut at " +
            std::to_string(max_part_bytes) + ")";
}

}  // namespace

std::string diagnostic(std::string_view program, std::string_view subject, std::string_view what) {
  std::string text;
  text.reserve(program.size() + std::min(subject.size() + what.size(), 2 * max_part_bytes) + 64);
  text += program;
  text += ": ";
  append_escaped(text, subject);
  text += ": ";
  append_escaped(text, what);
  return text;
}

std::string system_reason(int error_number) {
  std::string text = std::strerror(error_number);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace common
