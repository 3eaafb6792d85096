#pragma once

#include <string>
#include <string_view>

// The programs keep their own texts in UTF-8; the console may expect another
// encoding (Shift_JIS under a Shift_JIS locale).
namespace common {

// Codeset of the user's locale (LC_ALL, LC_CTYPE, LANG), e.g. "UTF-8" or
// "SHIFT_JIS"; "UTF-8" when the locale cannot be loaded.
std::string console_codeset();

// The UTF-8 text in the given codeset; the text unchanged when the codeset is
// UTF-8, unknown, or cannot hold the text (the C locale's ASCII, for one).
std::string encode_for_console(std::string_view utf8_text, const std::string& codeset);

}  // namespace common
