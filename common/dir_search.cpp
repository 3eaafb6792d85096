#include "common/dir_search.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/diagnostic.hpp"
#include "common/path_text.hpp"
#include "common/platform.hpp"

namespace common {
namespace {

bool has_wildcard(std::string_view name_pattern) {
  return name_pattern.find_first_of("*?") != std::string_view::npos;
}

search_result find_one(const search_pattern& split) {
  const std::string path = split.directory == "/" ? "/" + split.name_pattern
                                                  : split.directory + "/" + split.name_pattern;
  std::string problem;
  auto entry = platform::look_up_entry(path, problem);
  if (!entry) return {{}, problem};
  entry->name = std::string(file_name_part(path));
  return {{std::move(*entry)}, {}};
}

search_result list_sorted(const search_pattern& split, entry_sizes sizes) {
  search_result result = platform::list_matching(split.directory, split.name_pattern, sizes);
  if (!result.error.empty()) return result;
  std::sort(result.entries.begin(), result.entries.end(),
            [](const dir_entry& a, const dir_entry& b) { return a.name < b.name; });
  if (result.entries.empty()) result.error = "no entry matches";
  return result;
}

}  // namespace

search_pattern split_search_pattern(std::string_view pattern) {
  const std::size_t cut = last_separator(pattern);
  if (cut == std::string_view::npos) return {".", std::string(pattern)};
  if (cut == 0) return {"/", std::string(pattern.substr(1))};
  return {to_native_path(pattern.substr(0, cut)), std::string(pattern.substr(cut + 1))};
}

bool matches_name_pattern(std::string_view name_pattern, std::string_view name) {
  if (name_pattern == "*.*") return true;
  // Greedy, backtracking to the last '*' only: that is enough for '*' and '?'
  // and stays linear in practice, without recursion. A '*' in the pattern is
  // always a wildcard, also where the name holds a '*'.
  std::size_t p = 0, n = 0;
  std::size_t star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < name_pattern.size() && name_pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < name_pattern.size() && (name_pattern[p] == '?' || name_pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < name_pattern.size() && name_pattern[p] == '*') ++p;
  return p == name_pattern.size();
}

search_result find_entries(std::string_view pattern, entry_sizes sizes) {
  const search_pattern split = split_search_pattern(pattern);
  if (split.name_pattern.empty()) return {{}, "no name after the last separator"};
  return has_wildcard(split.name_pattern) ? list_sorted(split, sizes) : find_one(split);
}

std::optional<dir_entry> find_exact_entry(const std::string& path) {
  std::string problem;
  auto entry = platform::look_up_entry(path, problem);
  if (entry) entry->name = std::string(file_name_part(path));
  return entry;
}

bool names_ignore_case(const std::string& path) {
  const std::string_view name = file_name_part(path);
  std::string flipped(name);
  for (char& c : flipped)  // ASCII only: what a locale does with other bytes is no proof
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) c = static_cast<char>(c ^ 0x20);
  if (flipped == name) return false;  // no letters to tell by
  const std::string dir(path.substr(0, path.size() - name.size()));
  const std::string flipped_path = dir + flipped;
  if (!platform::exists(flipped_path)) return false;
  const std::vector<std::string> names = platform::names_in(dir);
  return std::find(names.begin(), names.end(), flipped) == names.end();
}

}  // namespace common
