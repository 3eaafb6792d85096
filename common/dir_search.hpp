#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Directory search by a pattern with Windows wildcards, the way the programs
// enumerate files: "sample\*.*" lists every entry of sample, "sample" finds
// that one name in the working directory.
namespace common {

struct dir_entry {
  std::string name;
  bool is_directory = false;
  std::uint32_t size = 0;  // low 32 bits of the file size
};

struct search_result {
  std::vector<dir_entry> entries;  // in byte order of their names
  std::string error;               // why nothing was found; empty when entries were
  std::size_t unnamable = 0;       // names the system's code page cannot hold, left out
};

struct search_pattern {
  std::string directory;  // native path: "..\data\sample" => "../data/sample"
  std::string name_pattern;
};

// "sample\*.*" => {"sample", "*.*"}; "IM.1" => {".", "IM.1"}; "\x" => {"/", "x"}
search_pattern split_search_pattern(std::string_view pattern);

// '*' is any run of bytes, '?' exactly one byte, everything else itself, also
// a '*' or '?' in the name; "*.*" matches every name, also one without a dot.
// ("*.*", "README") => true; ("*.jpg", "*x.jpg") => true; ("IM.?", "IM.10") => false
bool matches_name_pattern(std::string_view name_pattern, std::string_view name);

// Reading sizes costs one stat per entry; a caller that needs only names and
// the directory flag skips them (sizes are then 0) and lists a large
// directory several times faster.
enum class entry_sizes { read, skip };

search_result find_entries(std::string_view pattern, entry_sizes sizes = entry_sizes::read);

// One entry by its exact native path, wildcards taken literally.
std::optional<dir_entry> find_exact_entry(const std::string& path);

// The folder that holds the existing file at native `path` takes names that
// differ only in letter case for one (a Windows volume, a FAT stick): the
// name in flipped case is found, yet no entry is spelt so.
bool names_ignore_case(const std::string& path);

}  // namespace common
