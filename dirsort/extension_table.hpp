#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dirsort {

// The path lines of the other files of one extension, gathered during a run.
struct extension_list {
  std::string extension;  // without its dot, case kept
  std::vector<std::string> lines;
};

// Extensions in order of first occurrence; exact byte comparison, so "txt"
// and "TXT" are two entries. No limit on their number or length.
class extension_table {
 public:
  struct slot {
    std::size_t index;
    bool added;  // true the first time the extension occurs
  };

  slot find_or_add(std::string_view extension);

  extension_list& operator[](std::size_t index) { return lists_[index]; }
  const std::vector<extension_list>& lists() const { return lists_; }
  std::vector<extension_list>& lists() { return lists_; }

 private:
  std::vector<extension_list> lists_;
  std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace dirsort
