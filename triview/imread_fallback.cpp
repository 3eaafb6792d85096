#include "triview/imread_fallback.hpp"

#include <dlfcn.h>

#include <atomic>
#include <filesystem>
#include <vector>

namespace triview {
namespace {

using imread_function = decltype(&triview_imdecode_color);

struct fallback_module {
  imread_function read = nullptr;
  std::string problem;  // why `read` is missing
};

std::atomic<bool> load_tried{false};

// Directories that may hold the module: beside the program in the installed
// tree (bin/ and lib/ctview/, or whatever the install directories were) and
// in the build tree (bin/ and lib/).
std::vector<std::filesystem::path> module_dirs() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  const std::filesystem::path dir = program.parent_path();
  return {(dir / TRIVIEW_FALLBACK_INSTALL_DIR).lexically_normal(),
          (dir / ".." / "lib").lexically_normal()};
}

fallback_module load_module() {
  load_tried = true;
  fallback_module module;
  module.problem = "not found";
  const std::vector<std::filesystem::path> dirs = module_dirs();
  for (std::size_t i = 0; i < dirs.size(); ++i)
    module.problem += (i == 0 ? " in " : " nor in ") + dirs[i].string();
  for (const std::filesystem::path& dir : dirs) {
    const std::filesystem::path candidate = dir / TRIVIEW_FALLBACK_MODULE;
    std::error_code error;
    if (!std::filesystem::exists(candidate, error)) continue;
    void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = ::dlerror();
      module.problem = reason != nullptr ? reason : candidate.string() + ": cannot be loaded";
      continue;
    }
    // Kept loaded for the rest of the run: imread may leave threads behind.
    void* entry = ::dlsym(handle, "triview_imdecode_color");
    if (entry == nullptr) {
      module.problem = candidate.string() + ": no entry triview_imdecode_color";
      continue;
    }
    module.read = reinterpret_cast<imread_function>(entry);
    module.problem.clear();
    return module;
  }
  return module;
}

const fallback_module& module() {
  static const fallback_module loaded = load_module();
  return loaded;
}

}  // namespace

cv::Mat read_with_fallback(std::span<const std::uint8_t> bytes) {
  const fallback_module& reader = module();
  cv::Mat image;
  if (reader.read == nullptr || reader.read(bytes.data(), bytes.size(), &image) == 0) return {};
  return image;
}

std::optional<std::string> fallback_problem() {
  if (!load_tried || module().read != nullptr) return std::nullopt;
  return module().problem;
}

const char* fallback_module_name() {
  return TRIVIEW_FALLBACK_MODULE;
}

}  // namespace triview
