#include "common/console_text.hpp"

#include <algorithm>
#include <cctype>

#include "common/platform.hpp"

namespace common {
namespace {

bool is_utf8(std::string_view codeset) {
  std::string folded;
  for (const char c : codeset)
    if (c != '-' && c != '_')
      folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded == "utf8";
}

}  // namespace

std::string console_codeset() {
  return platform::console_codeset();
}

std::string encode_for_console(std::string_view utf8_text, const std::string& codeset) {
  if (codeset.empty() || is_utf8(codeset)) return std::string(utf8_text);
  return platform::convert_from_utf8(utf8_text, codeset).value_or(std::string(utf8_text));
}

}  // namespace common
