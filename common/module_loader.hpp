#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

// Heavy libraries (GDCM, OpenCV's image codecs) live in modules loaded on
// first need, so runs that never meet such a file do not pay for them.
namespace common {

// Where a program's modules may be: `installed_dir` relative to the program's
// own directory (bin/ => ../lib/ctview), then the build tree's ../lib.
std::vector<std::filesystem::path> module_dirs(const std::filesystem::path& installed_dir);

struct module_entry {
  void* entry = nullptr;  // the symbol, or nullptr
  std::string problem;    // why not: "not found in /a nor in /b", dlerror's text, "no entry f"
  bool short_of_memory = false;  // the reason is memory, not the module
};

// The symbol `entry_name` of the module `file_name` from the first of `dirs`
// that holds it loadably. The module stays loaded for the rest of the run,
// bound at once, so nothing is resolved lazily later (in a forked child, say).
module_entry load_module_entry(std::span<const std::filesystem::path> dirs,
                               const std::string& file_name, const char* entry_name);

}  // namespace common
