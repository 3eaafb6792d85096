#include "common/module_loader.hpp"

#include <dlfcn.h>

namespace common {

std::vector<std::filesystem::path> module_dirs(const std::filesystem::path& installed_dir) {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  const std::filesystem::path dir = program.parent_path();
  return {(dir / installed_dir).lexically_normal(), (dir / ".." / "lib").lexically_normal()};
}

module_entry load_module_entry(std::span<const std::filesystem::path> dirs,
                               const std::string& file_name, const char* entry_name) {
  module_entry module;
  module.problem = "not found";
  for (std::size_t i = 0; i < dirs.size(); ++i)
    module.problem += (i == 0 ? " in " : " nor in ") + dirs[i].string();
  for (const std::filesystem::path& dir : dirs) {
    const std::filesystem::path candidate = dir / file_name;
    std::error_code error;
    if (!std::filesystem::exists(candidate, error)) continue;
    void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = ::dlerror();
      module.problem = reason != nullptr ? reason : candidate.string() + ": cannot be loaded";
      continue;
    }
    void* entry = ::dlsym(handle, entry_name);
    if (entry == nullptr) {
      module.problem = candidate.string() + ": no entry " + entry_name;
      ::dlclose(handle);
      continue;
    }
    module.entry = entry;
    module.problem.clear();
    return module;
  }
  return module;
}

}  // namespace common
