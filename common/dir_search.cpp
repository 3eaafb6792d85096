#include "common/dir_search.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/diagnostic.hpp"
#include "common/path_text.hpp"

namespace common {
namespace {

bool has_wildcard(std::string_view name_pattern) {
  return name_pattern.find_first_of("*?") != std::string_view::npos;
}

// A dangling symbolic link still counts as an entry, described by the link itself.
std::optional<dir_entry> describe(int dir_fd, const char* name) {
  struct stat info {};
  if (::fstatat(dir_fd, name, &info, 0) != 0 &&
      ::fstatat(dir_fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
    return std::nullopt;
  return dir_entry{name, S_ISDIR(info.st_mode),
                   static_cast<std::uint32_t>(static_cast<std::uint64_t>(info.st_size))};
}

search_result find_one(const search_pattern& split) {
  const std::string path = split.directory == "/" ? "/" + split.name_pattern
                                                  : split.directory + "/" + split.name_pattern;
  auto entry = find_exact_entry(path);
  if (!entry) return {{}, system_reason(errno)};
  return {{std::move(*entry)}, {}};
}

// The directory flag from the listing itself where the file system gives it.
std::optional<dir_entry> describe_listed(int dir_fd, const dirent& item, entry_sizes sizes) {
  if (sizes == entry_sizes::skip && (item.d_type == DT_DIR || item.d_type == DT_REG))
    return dir_entry{item.d_name, item.d_type == DT_DIR, 0};
  return describe(dir_fd, item.d_name);
}

search_result list_matching(const search_pattern& split, entry_sizes sizes) {
  DIR* dir = ::opendir(split.directory.c_str());
  if (dir == nullptr)
    return {{}, "cannot open directory " + split.directory + ": " + system_reason(errno)};
  search_result result;
  // readdir gives null both at the end and on a read error; only errno tells
  // them apart, and a listing cut short must not pass for a whole one.
  int read_error = 0;
  for (;;) {
    errno = 0;
    const dirent* item = ::readdir(dir);
    if (item == nullptr) {
      read_error = errno;
      break;
    }
    if (!matches_name_pattern(split.name_pattern, item->d_name)) continue;
    if (auto entry = describe_listed(::dirfd(dir), *item, sizes)) {
      result.entries.push_back(std::move(*entry));
      continue;
    }
    // An entry removed since it was listed is gone; one that cannot be looked at is not.
    if (errno != ENOENT) {
      read_error = errno;
      break;
    }
  }
  ::closedir(dir);
  if (read_error != 0)
    return {{}, "cannot read directory " + split.directory + ": " + system_reason(read_error)};
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
  return has_wildcard(split.name_pattern) ? list_matching(split, sizes) : find_one(split);
}

std::optional<dir_entry> find_exact_entry(const std::string& path) {
  auto entry = describe(AT_FDCWD, path.c_str());
  if (entry) entry->name = std::string(file_name_part(path));
  return entry;
}

}  // namespace common
