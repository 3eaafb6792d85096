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

bool has_space(const std::string& token) {
  for (char c : token)
    if (is_space(c)) return true;
  return false;
}

// Tokens are whole: none is empty or holds a line break; one with white
// space came from double quotes and holds none.
void check_token(const std::string& token) {
  require(!token.empty());
  require(token.find_first_of("\r\n") == std::string::npos);
  if (has_space(token)) require(token.find('"') == std::string::npos);
}

// A list written from these tokens, as dirsort writes lines, reads back as the same paths.
void check_round_trip(const std::vector<std::string>& tokens) {
  std::vector<std::string> lines;
  for (const auto& token : tokens) lines.push_back(common::list_line(token));
  const std::string list = common::list_text(lines);
  require(common::all_tokens(list) == tokens);
  bool has_nul = false;
  for (const auto& token : tokens) has_nul = has_nul || token.find('\0') != std::string::npos;
  if (!has_nul) require(common::first_tokens(list) == tokens);
}

void check_all_tokens(std::string_view text) {
  const auto tokens = common::all_tokens(text);
  for (const auto& token : tokens) check_token(token);
  check_round_trip(tokens);
}

void check_first_tokens(std::string_view text) {
  const auto tokens = common::first_tokens(text);
  std::size_t lines = 1;
  for (char c : text) lines += c == '\n';
  require(tokens.size() <= lines);
  for (const auto& token : tokens) {
    check_token(token);
    require(token.find('\0') == std::string::npos);
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
