#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "common/diagnostic.hpp"
#include "common/platform.hpp"

namespace common::platform {

unsigned available_processors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  const int count = CPU_COUNT(&set);
  return count > 0 ? static_cast<unsigned>(count) : 1;
}

std::string process_id() {
  return std::to_string(::getpid());
}

bool error_output_is_terminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

void keep_freed_memory_for_reuse() {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
}

void use_little_address_space_per_thread() {
  mallopt(M_ARENA_MAX, 1);
  // Ample for the decoders and the toolkit: nothing here recurses deeply.
  constexpr std::size_t thread_stack_bytes = std::size_t{2} << 20;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return;
  if (pthread_attr_setstacksize(&attributes, thread_stack_bytes) == 0)
    pthread_setattr_default_np(&attributes);
  pthread_attr_destroy(&attributes);
}

bool address_space_left(std::size_t bytes) {
  // Mapped without access or backing: it costs nothing but counts against the limit.
  void* probe =
      ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (probe == MAP_FAILED) return false;
  ::munmap(probe, bytes);
  return true;
}

std::shared_ptr<void> map_zeroed_block(std::size_t bytes) {
  // Large pages spare the tens of thousands of page faults that filling a
  // series' worth of small pages costs.
  constexpr std::size_t huge_page = std::size_t{2} << 20;
  const std::size_t length = std::max<std::size_t>(bytes, 1);
  void* block = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  const auto begin = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (begin + huge_page - 1) & ~(huge_page - 1);
  const std::uintptr_t last = (begin + length) & ~(huge_page - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  return {block, [length](void* p) { ::munmap(p, length); }};
}

bool is_directory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 || errno != ENOENT;
}

std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> names;
  DIR* stream = ::opendir(dir.empty() ? "." : dir.c_str());
  if (stream == nullptr) return names;
  while (const dirent* entry = ::readdir(stream)) names.emplace_back(entry->d_name);
  ::closedir(stream);
  return names;
}

std::optional<std::string> make_directory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return std::nullopt;
  const int error = errno;
  if (error == EEXIST && is_directory(path)) return std::nullopt;
  return system_reason(error);
}

std::optional<std::string> remove_file(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return std::nullopt;
  return system_reason(errno);
}

namespace {

// The lock file is removed before the lock is released; a run that was
// waiting on it then finds the name gone or taken by a newer file, and
// starts over on that one.
class lock_file final : public held_lock {
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

}  // namespace

std::unique_ptr<held_lock> hold_lock_file(const std::string& name, std::string& problem) {
  while (true) {
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      problem = system_reason(errno);
      return nullptr;
    }
    int locked;
    do {
      locked = ::flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
      problem = system_reason(errno);
      ::close(fd);
      return nullptr;
    }
    if (same_file(fd, name)) return std::make_unique<lock_file>(name, fd);
    ::close(fd);
  }
}

bool can_open_display() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  // Opened at run time so the build needs no X headers; without the library
  // the toolkit cannot run either.
  void* xlib = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  if (xlib == nullptr) return false;
  using open_fn = void* (*)(const char*);
  using close_fn = int (*)(void*);
  auto open_display = reinterpret_cast<open_fn>(::dlsym(xlib, "XOpenDisplay"));
  auto close_display = reinterpret_cast<close_fn>(::dlsym(xlib, "XCloseDisplay"));
  void* display =
      open_display != nullptr && close_display != nullptr ? open_display(nullptr) : nullptr;
  if (display != nullptr) close_display(display);
  ::dlclose(xlib);
  return display != nullptr;
}

void prepare_window_toolkit() {
  ::setenv("QT_XCB_GL_INTEGRATION", "none", 0);
}

bool end_with_parent(const std::string& parent_id) {
  // The check after closes the window in which the parent may already have gone.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  return parent_id.empty() || std::to_string(::getppid()) == parent_id;
}

bool read_from_parent(void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = ::read(STDIN_FILENO, bytes, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool write_to_parent(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

namespace {

void lower_soft_limit(int resource, rlim_t wanted) {
  rlimit bound{};
  ::getrlimit(resource, &bound);
  bound.rlim_cur = bound.rlim_max != RLIM_INFINITY && wanted > bound.rlim_max ? bound.rlim_max
                                                                             : wanted;
  ::setrlimit(resource, &bound);
}

}  // namespace

void limit_further_memory(std::size_t bytes) {
  std::ifstream statm("/proc/self/statm");
  rlim_t pages = 0;
  if (!(statm >> pages)) return;
  lower_soft_limit(RLIMIT_AS, pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + bytes);
}

void limit_further_cpu_seconds(unsigned seconds) {
  rusage used{};
  ::getrusage(RUSAGE_SELF, &used);
  lower_soft_limit(RLIMIT_CPU,
                   static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) + 1 + seconds);
}

}  // namespace common::platform
