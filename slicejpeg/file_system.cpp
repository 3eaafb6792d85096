#include "slicejpeg/file_system.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/atomic_file.hpp"
#include "common/diagnostic.hpp"

namespace slicejpeg {
namespace {

// The lock file is removed before the lock is released; a run that was
// waiting on it then finds the name gone or taken by a newer file, and
// starts over on that one.
class lock_file final : public file_lock {
 public:
  lock_file(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~lock_file() override {
    ::unlink(path_.c_str());
    ::close(fd_);
  }
  lock_file(const lock_file&) = delete;
  lock_file& operator=(const lock_file&) = delete;

 private:
  std::string path_;
  int fd_;
};

bool same_file(int fd, const std::string& path) {
  struct stat held {
  }, named{};
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

class real_files final : public file_system {
 public:
  common::file_read read(const std::string& path, std::size_t max_bytes) const override {
    return common::read_regular_file(path, max_bytes);
  }
  common::file_read read_head(const std::string& path, std::size_t head_bytes) const override {
    return common::read_regular_file_head(path, head_bytes);
  }
  std::vector<std::string> names_in(const std::string& dir) const override {
    std::vector<std::string> names;
    DIR* stream = ::opendir(dir.empty() ? "." : dir.c_str());
    if (stream == nullptr) return names;
    while (const dirent* entry = ::readdir(stream)) names.emplace_back(entry->d_name);
    ::closedir(stream);
    return names;
  }
  std::optional<std::string> make_directory(const std::string& path) const override {
    if (::mkdir(path.c_str(), 0777) == 0) return std::nullopt;
    const int error = errno;
    struct stat info {};
    if (error == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
      return std::nullopt;
    return common::system_reason(error);
  }
  bool exists(const std::string& path) const override {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 || errno != ENOENT;
  }
  std::optional<std::string> remove(const std::string& path) const override {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return std::nullopt;
    return common::system_reason(errno);
  }
  std::optional<std::string> replace(const std::string& path,
                                     std::string_view content) const override {
    return common::replace_file_contents(path, content);
  }
  std::unique_ptr<file_lock> hold(const std::string& path, std::string& problem) const override {
    const std::string name = path + ".lock";
    while (true) {
      const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      if (fd < 0) {
        problem = common::system_reason(errno);
        return nullptr;
      }
      int locked;
      do {
        locked = ::flock(fd, LOCK_EX);
      } while (locked != 0 && errno == EINTR);
      if (locked != 0) {
        problem = common::system_reason(errno);
        ::close(fd);
        return nullptr;
      }
      if (same_file(fd, name)) return std::make_unique<lock_file>(name, fd);
      ::close(fd);
    }
  }
};

}  // namespace

const file_system& real_file_system() {
  static const real_files files;
  return files;
}

}  // namespace slicejpeg
