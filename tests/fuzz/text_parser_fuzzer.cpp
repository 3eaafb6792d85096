// libFuzzer target: the text parsers, the path list readers and the max file.
// Besides crashes it checks that what the programs write reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/path_list.hpp"
#include "slicejpeg/max_file.hpp"

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void require(bool condition) {
  if (!condition) std::abort();
}

// Tokens are whole: none is empty or holds white space, and together they
// hold every other byte of the text.
void check_all_tokens(std::string_view text) {
  const auto tokens = common::all_tokens(text);
  std::string joined, expected;
  for (const auto& token : tokens) {
    require(!token.empty());
    for (char c : token) require(!is_space(c));
    joined += token;
  }
  for (char c : text)
    if (!is_space(c)) expected += c;
  require(joined == expected);
  // A list written from these tokens reads back as the same paths.
  const std::string list = common::list_text(tokens);
  require(common::all_tokens(list) == tokens);
  if (text.find('\0') == std::string_view::npos) require(common::first_tokens(list) == tokens);
}

void check_first_tokens(std::string_view text) {
  const auto tokens = common::first_tokens(text);
  std::size_t lines = 1;
  for (char c : text) lines += c == '\n';
  require(tokens.size() <= lines);
  for (const auto& token : tokens) {
    require(!token.empty());
    for (char c : token) require(!is_space(c) && c != '\0');
  }
}

// A max file the program wrote is read back to the same values.
void check_max_file(std::string_view text) {
  const auto range = slicejpeg::parse_max_file(text);
  if (!range) return;
  const std::string written = slicejpeg::format_max_file(*range);
  const auto again = slicejpeg::parse_max_file(written);
  require(again.has_value());
  require(slicejpeg::format_max_file(*again) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_first_tokens(text);
  check_all_tokens(text);
  check_max_file(text);
  return 0;
}
