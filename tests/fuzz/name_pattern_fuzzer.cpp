// libFuzzer target: the wildcard matcher against the plain rules, and the
// split of a search pattern. The input is a pattern, a NUL byte and a name.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/dir_search.hpp"
#include "tests/fuzz/wildcard_reference.hpp"

namespace {

void check_split(std::string_view pattern) {
  const auto split = common::split_search_pattern(pattern);
  const std::size_t cut = pattern.find_last_of("\\/");
  const std::string_view after = cut == std::string_view::npos ? pattern : pattern.substr(cut + 1);
  if (split.directory.empty() || split.name_pattern != after) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 1024) return 0;  // the reference is quadratic; longer inputs find nothing new
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\0');
  const std::string_view pattern = input.substr(0, cut);
  const std::string_view name = cut == std::string_view::npos ? "" : input.substr(cut + 1);
  if (common::matches_name_pattern(pattern, name) != reference::matches(pattern, name))
    std::abort();
  check_split(input);
  return 0;
}
