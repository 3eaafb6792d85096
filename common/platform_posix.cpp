#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <utility>

#include "common/atomic_file.hpp"
#include "common/child_process.hpp"
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

std::string_view text_line_end() {
  return "\n";
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

std::filesystem::path program_file() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : program;
}

void* load_library_entry(const std::filesystem::path& file, const char* entry_name,
                         std::string& problem, bool& short_of_memory) {
  void* library = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = ::dlerror();
    problem = reason != nullptr ? reason : file.string() + ": cannot be loaded";
    // dlopen has no error code; these are the loader's words for a failed mmap.
    short_of_memory = problem.find("failed to map segment") != std::string::npos ||
                      problem.find(std::strerror(ENOMEM)) != std::string::npos;
    return nullptr;
  }
  void* entry = ::dlsym(library, entry_name);
  if (entry == nullptr) {
    problem = file.string() + ": no entry " + entry_name;
    ::dlclose(library);
  }
  return entry;
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
  bound.rlim_cur =
      bound.rlim_max != RLIM_INFINITY && wanted > bound.rlim_max ? bound.rlim_max : wanted;
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

// --- Interrupts

namespace {

volatile std::sig_atomic_t first_signal = 0;

extern "C" void on_interrupt(int signal) {
  if (first_signal != 0) {
    // Asked twice: the user wants out now.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  first_signal = signal;
}

}  // namespace

void catch_interrupts() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // writes in progress finish; the flag is looked at after them
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

int interrupted() {
  return first_signal;
}

// --- Console text

namespace {

// Owns one conversion descriptor so every return path closes it.
class converter {
 public:
  explicit converter(const std::string& codeset) : cd_(::iconv_open(codeset.c_str(), "UTF-8")) {}
  ~converter() {
    if (valid()) ::iconv_close(cd_);
  }
  converter(const converter&) = delete;
  converter& operator=(const converter&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  bool convert(std::string_view text, std::string& out) {
    std::vector<char> input(text.begin(), text.end());
    char* in_ptr = input.data();
    std::size_t in_left = input.size();
    std::vector<char> buffer(text.size() * 2 + 16);
    while (true) {
      char* out_ptr = buffer.data();
      std::size_t out_left = buffer.size();
      const std::size_t done = ::iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
      out.append(buffer.data(), buffer.size() - out_left);
      if (done != static_cast<std::size_t>(-1)) break;
      if (errno != E2BIG) return false;
    }
    char* out_ptr = buffer.data();
    std::size_t out_left = buffer.size();
    if (::iconv(cd_, nullptr, nullptr, &out_ptr, &out_left) == static_cast<std::size_t>(-1))
      return false;
    out.append(buffer.data(), buffer.size() - out_left);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string console_codeset() {
  const locale_t user = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (user == static_cast<locale_t>(nullptr)) return "UTF-8";
  std::string codeset = ::nl_langinfo_l(CODESET, user);
  ::freelocale(user);
  return codeset.empty() ? "UTF-8" : codeset;
}

std::optional<std::string> convert_from_utf8(std::string_view utf8_text,
                                             const std::string& codeset) {
  converter conversion(codeset);
  std::string encoded;
  if (!conversion.valid() || !conversion.convert(utf8_text, encoded)) return std::nullopt;
  return encoded;
}

// --- Reading and replacing files

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

file_read read_failure(file_read::status what, std::string reason) {
  file_read result;
  result.what = what;
  result.reason = std::move(reason);
  return result;
}

}  // namespace

file_read read_regular(const std::string& path, std::size_t max_bytes, bool head_only) {
  // O_NONBLOCK: opening a FIFO without a writer would otherwise wait forever.
  const descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) return read_failure(file_read::status::cannot_open, system_reason(errno));
  struct stat info {};
  if (::fstat(file.fd, &info) != 0)
    return read_failure(file_read::status::cannot_read, system_reason(errno));
  if (!S_ISREG(info.st_mode))
    return read_failure(file_read::status::not_regular, kind_of(info.st_mode));
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size > max_bytes && !head_only)
    return read_failure(file_read::status::too_large, too_large_text(size, max_bytes));
  file_read result;
  result.whole = size <= max_bytes;
  result.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, max_bytes)));
  std::size_t done = 0;
  while (done < result.bytes.size()) {
    const ssize_t got = ::read(file.fd, result.bytes.data() + done, result.bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return read_failure(file_read::status::cannot_read, system_reason(errno));
    if (got == 0) break;  // shrank while read: keep what is there
    done += static_cast<std::size_t>(got);
  }
  result.bytes.resize(done);
  return result;
}

namespace {

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

std::optional<std::string> replace_atomically(const std::string& path, std::string_view content) {
  std::string temp_name = path + std::string(temporary_marker) + "XXXXXX";
  std::vector<char> name_buffer(temp_name.begin(), temp_name.end());
  name_buffer.push_back('\0');
  const int fd = ::mkstemp(name_buffer.data());
  if (fd < 0) return "cannot create a temporary file beside it: " + system_reason(errno);
  temp_name = name_buffer.data();

  struct stat old_stat {};
  const mode_t mode =
      ::stat(path.c_str(), &old_stat) == 0 ? (old_stat.st_mode & 07777) : default_file_mode();
  std::optional<std::string> error;
  if (!write_all(fd, content)) error = "cannot write: " + system_reason(errno);
  if (!error && ::fchmod(fd, mode) != 0) error = "cannot set permissions: " + system_reason(errno);
  if (::close(fd) != 0 && !error) error = "cannot write: " + system_reason(errno);
  if (!error && std::rename(temp_name.c_str(), path.c_str()) != 0)
    error = "cannot replace: " + system_reason(errno);
  if (error) ::unlink(temp_name.c_str());
  return error;
}

// --- Listing folders

namespace {

// A dangling symbolic link still counts as an entry, described by the link itself.
std::optional<dir_entry> describe(int dir_fd, const char* name) {
  struct stat info {};
  if (::fstatat(dir_fd, name, &info, 0) != 0 &&
      ::fstatat(dir_fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
    return std::nullopt;
  return dir_entry{name, S_ISDIR(info.st_mode),
                   static_cast<std::uint32_t>(static_cast<std::uint64_t>(info.st_size))};
}

// The directory flag from the listing itself where the file system gives it.
std::optional<dir_entry> describe_listed(int dir_fd, const dirent& item, entry_sizes sizes) {
  if (sizes == entry_sizes::skip && (item.d_type == DT_DIR || item.d_type == DT_REG))
    return dir_entry{item.d_name, item.d_type == DT_DIR, 0};
  return describe(dir_fd, item.d_name);
}

}  // namespace

std::optional<dir_entry> look_up_entry(const std::string& path, std::string& problem) {
  auto entry = describe(AT_FDCWD, path.c_str());
  if (!entry) problem = system_reason(errno);
  return entry;
}

search_result list_matching(const std::string& dir, std::string_view name_pattern,
                            entry_sizes sizes) {
  DIR* stream = ::opendir(dir.c_str());
  if (stream == nullptr) return {{}, "cannot open directory " + dir + ": " + system_reason(errno)};
  search_result result;
  // readdir gives null both at the end and on a read error; only errno tells
  // them apart, and a listing cut short must not pass for a whole one.
  int read_error = 0;
  for (;;) {
    errno = 0;
    const dirent* item = ::readdir(stream);
    if (item == nullptr) {
      read_error = errno;
      break;
    }
    if (!matches_name_pattern(name_pattern, item->d_name)) continue;
    if (auto entry = describe_listed(::dirfd(stream), *item, sizes)) {
      result.entries.push_back(std::move(*entry));
      continue;
    }
    // An entry removed since it was listed is gone; one that cannot be looked at is not.
    if (errno != ENOENT) {
      read_error = errno;
      break;
    }
  }
  ::closedir(stream);
  if (read_error != 0)
    return {{}, "cannot read directory " + dir + ": " + system_reason(read_error)};
  return result;
}

}  // namespace common::platform

// --- The helper process

extern char** environ;

namespace common {

struct child_process::connection {
  int channel;
};

namespace {

int remaining_ms(child_process::deadline until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      until - std::chrono::steady_clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
}

// Waits until `fd` is ready for `events`: true, or false at the deadline.
bool wait_ready(int fd, short events, child_process::deadline until) {
  for (;;) {
    pollfd ready{fd, events, 0};
    const int polled = ::poll(&ready, 1, remaining_ms(until));
    if (polled > 0) return true;
    if (polled == 0) return false;
    if (errno != EINTR) return true;  // the read or write that follows says what is wrong
  }
}

std::string ending_of(int status) {
  if (WIFSIGNALED(status)) {
    const char* name = ::sigdescr_np(WTERMSIG(status));
    return name != nullptr ? name : "killed";
  }
  return "exit status " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

child_process::child_process() = default;

child_process::~child_process() {
  if (running()) stop(false);
}

child_process::child_process(child_process&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), connection_(std::move(other.connection_)) {}

child_process& child_process::operator=(child_process&& other) noexcept {
  if (this != &other) {
    if (running()) stop(false);
    pid_ = std::exchange(other.pid_, -1);
    connection_ = std::move(other.connection_);
  }
  return *this;
}

std::optional<std::string> child_process::start(const std::filesystem::path& program,
                                                const std::vector<std::string>& args) {
  if (running()) stop(true);
  int ends[2];
  // Close-on-exec: the next helper started must not hold this one's channel open.
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return system_reason(errno);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = -1;
  const int error = ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  if (error != 0) {
    ::close(ends[0]);
    return system_reason(error);
  }
  pid_ = child;
  connection_ = std::make_unique<connection>(connection{ends[0]});
  return std::nullopt;
}

child_process::transfer child_process::send(std::span<const std::uint8_t> bytes, deadline until) {
  if (!running()) return transfer::closed;
  while (!bytes.empty()) {
    if (!wait_ready(connection_->channel, POLLOUT, until)) return transfer::timed_out;
    // MSG_NOSIGNAL: a helper that died is an error here, not SIGPIPE for the program.
    const ssize_t sent = ::send(connection_->channel, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return transfer::closed;
    bytes = bytes.subspan(static_cast<std::size_t>(sent));
  }
  return transfer::complete;
}

child_process::transfer child_process::receive(std::span<std::uint8_t> into, deadline until) {
  if (!running()) return transfer::closed;
  while (!into.empty()) {
    if (!wait_ready(connection_->channel, POLLIN, until)) return transfer::timed_out;
    const ssize_t got = ::recv(connection_->channel, into.data(), into.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return transfer::closed;
    into = into.subspan(static_cast<std::size_t>(got));
  }
  return transfer::complete;
}

std::string child_process::stop(bool force) {
  if (!running()) return "not running";
  if (force) ::kill(static_cast<pid_t>(pid_), SIGKILL);
  ::close(connection_->channel);
  connection_.reset();
  int status = 0;
  // A helper ends on the closed channel at once; one that does not is killed.
  for (int tries = 0;; ++tries) {
    const pid_t done = ::waitpid(static_cast<pid_t>(pid_), &status, tries < 200 ? WNOHANG : 0);
    if (done == static_cast<pid_t>(pid_)) break;
    if (done < 0 && errno != EINTR) break;
    if (tries == 200) ::kill(static_cast<pid_t>(pid_), SIGKILL);
    if (done == 0) ::usleep(1000);
  }
  pid_ = -1;
  return ending_of(status);
}

}  // namespace common
