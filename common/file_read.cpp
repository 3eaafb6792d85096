#include "common/file_read.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/diagnostic.hpp"

namespace common {
namespace {

struct descriptor {
  int fd;
  ~descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

std::string kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "is a directory";
  if (S_ISFIFO(mode)) return "is a fifo, not a regular file";
  if (S_ISSOCK(mode)) return "is a socket, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
  return "is not a regular file";
}

file_read failure(file_read::status what, std::string reason) {
  file_read result;
  result.what = what;
  result.reason = std::move(reason);
  return result;
}

file_read read_regular(const std::string& path, std::size_t max_bytes, bool head) {
  // O_NONBLOCK: opening a FIFO without a writer would otherwise wait forever.
  const descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) return failure(file_read::status::cannot_open, system_reason(errno));
  struct stat info {};
  if (::fstat(file.fd, &info) != 0)
    return failure(file_read::status::cannot_read, system_reason(errno));
  if (!S_ISREG(info.st_mode)) return failure(file_read::status::not_regular, kind_of(info.st_mode));
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size > max_bytes && !head)
    return failure(file_read::status::too_large,
                   "size " + std::to_string(size) + " bytes is more than the " +
                       std::to_string(max_bytes) + " bytes such a file can need");
  file_read result;
  result.whole = size <= max_bytes;
  result.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, max_bytes)));
  std::size_t done = 0;
  while (done < result.bytes.size()) {
    const ssize_t got = ::read(file.fd, result.bytes.data() + done, result.bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failure(file_read::status::cannot_read, system_reason(errno));
    if (got == 0) break;  // shrank while read: keep what is there
    done += static_cast<std::size_t>(got);
  }
  result.bytes.resize(done);
  return result;
}

}  // namespace

file_read read_regular_file(const std::string& path, std::size_t max_bytes) {
  return read_regular(path, max_bytes, false);
}

file_read read_regular_file_head(const std::string& path, std::size_t head_bytes) {
  return read_regular(path, head_bytes, true);
}

}  // namespace common
