#include "common/atomic_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/diagnostic.hpp"

namespace common {
namespace {

std::string errno_text() {
  return system_reason(errno);
}

bool write_all(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// New files get the usual 0666 less umask; mkstemp alone would make them 0600.
mode_t default_file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

std::optional<std::string> replace_file_contents(const std::string& path,
                                                 std::string_view content) {
  std::string temp_name = path + std::string(temporary_marker) + "XXXXXX";
  std::vector<char> name_buffer(temp_name.begin(), temp_name.end());
  name_buffer.push_back('\0');
  const int fd = ::mkstemp(name_buffer.data());
  if (fd < 0) return "cannot create a temporary file beside it: " + errno_text();
  temp_name = name_buffer.data();

  struct stat old_stat {};
  const mode_t mode =
      ::stat(path.c_str(), &old_stat) == 0 ? (old_stat.st_mode & 07777) : default_file_mode();
  std::optional<std::string> error;
  if (!write_all(fd, content)) error = "cannot write: " + errno_text();
  if (!error && ::fchmod(fd, mode) != 0) error = "cannot set permissions: " + errno_text();
  if (::close(fd) != 0 && !error) error = "cannot write: " + errno_text();
  if (!error && std::rename(temp_name.c_str(), path.c_str()) != 0)
    error = "cannot replace: " + errno_text();
  if (error) ::unlink(temp_name.c_str());
  return error;
}

bool is_temporary_name(std::string_view name) {
  const std::size_t at = name.rfind(temporary_marker);
  return at != std::string_view::npos && at > 0 && name.size() == at + temporary_marker.size() + 6;
}

std::string_view replaced_name(std::string_view temporary_name) {
  return temporary_name.substr(0, temporary_name.rfind(temporary_marker));
}

std::optional<std::string> read_whole_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(content).str();
}

}  // namespace common
