#include "common/module_loader.hpp"

#include "common/platform.hpp"

namespace common {

std::vector<std::filesystem::path> module_dirs(const std::filesystem::path& installed_dir) {
  const std::filesystem::path program = platform::program_file();
  if (program.empty()) return {};
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
    void* entry =
        platform::load_library_entry(candidate, entry_name, module.problem, module.short_of_memory);
    if (entry == nullptr) continue;
    module.entry = entry;
    module.problem.clear();
    return module;
  }
  return module;
}

}  // namespace common
