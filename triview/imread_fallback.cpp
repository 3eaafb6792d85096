#include "triview/imread_fallback.hpp"

#include <atomic>

#include "common/module_loader.hpp"

namespace triview {
namespace {

using imread_function = decltype(&triview_imdecode_color);

struct fallback_module {
  imread_function read = nullptr;
  std::string problem;  // why `read` is missing
  bool short_of_memory = false;
};

std::atomic<bool> load_tried{false};

fallback_module load_module() {
  load_tried = true;
  // Kept loaded for the rest of the run: imread may leave threads behind.
  const common::module_entry found =
      common::load_module_entry(common::module_dirs(TRIVIEW_FALLBACK_INSTALL_DIR),
                                TRIVIEW_FALLBACK_MODULE, "triview_imdecode_color");
  return {reinterpret_cast<imread_function>(found.entry), found.problem, found.short_of_memory};
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

bool fallback_short_of_memory() {
  return load_tried && module().short_of_memory;
}

const char* fallback_module_name() {
  return TRIVIEW_FALLBACK_MODULE;
}

}  // namespace triview
