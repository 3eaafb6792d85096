#include "slicejpeg/file_system.hpp"

#include "common/atomic_file.hpp"
#include "common/platform.hpp"

namespace slicejpeg {
namespace {

namespace platform = common::platform;

class real_files final : public file_system {
 public:
  common::file_read read(const std::string& path, std::size_t max_bytes) const override {
    return common::read_regular_file(path, max_bytes);
  }
  common::file_read read_head(const std::string& path, std::size_t head_bytes) const override {
    return common::read_regular_file_head(path, head_bytes);
  }
  std::vector<std::string> names_in(const std::string& dir) const override {
    return platform::names_in(dir);
  }
  std::optional<std::string> make_directory(const std::string& path) const override {
    return platform::make_directory(path);
  }
  bool exists(const std::string& path) const override { return platform::exists(path); }
  std::optional<std::string> remove(const std::string& path) const override {
    return platform::remove_file(path);
  }
  std::optional<std::string> replace(const std::string& path,
                                     std::string_view content) const override {
    return common::replace_file_contents(path, content);
  }
  std::unique_ptr<file_lock> hold(const std::string& path, std::string& problem) const override {
    return platform::hold_lock_file(path + ".lock", problem);
  }
};

}  // namespace

const file_system& real_file_system() {
  static const real_files files;
  return files;
}

}  // namespace slicejpeg
