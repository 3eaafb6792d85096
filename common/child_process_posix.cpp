#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "common/child_process.hpp"
#include "common/diagnostic.hpp"

extern char** environ;

namespace common {
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

child_process::~child_process() {
  if (running()) stop(false);
}

child_process::child_process(child_process&& other) noexcept
    : pid_(other.pid_), channel_(other.channel_) {
  other.pid_ = -1;
  other.channel_ = -1;
}

child_process& child_process::operator=(child_process&& other) noexcept {
  if (this != &other) {
    if (running()) stop(false);
    pid_ = std::exchange(other.pid_, -1);
    channel_ = std::exchange(other.channel_, -1);
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
  channel_ = ends[0];
  return std::nullopt;
}

child_process::transfer child_process::send(std::span<const std::uint8_t> bytes, deadline until) {
  while (!bytes.empty()) {
    if (!wait_ready(channel_, POLLOUT, until)) return transfer::timed_out;
    // MSG_NOSIGNAL: a helper that died is an error here, not SIGPIPE for the program.
    const ssize_t sent = ::send(channel_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return transfer::closed;
    bytes = bytes.subspan(static_cast<std::size_t>(sent));
  }
  return transfer::complete;
}

child_process::transfer child_process::receive(std::span<std::uint8_t> into, deadline until) {
  while (!into.empty()) {
    if (!wait_ready(channel_, POLLIN, until)) return transfer::timed_out;
    const ssize_t got = ::recv(channel_, into.data(), into.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return transfer::closed;
    into = into.subspan(static_cast<std::size_t>(got));
  }
  return transfer::complete;
}

std::string child_process::stop(bool force) {
  if (!running()) return "not running";
  if (force) ::kill(static_cast<pid_t>(pid_), SIGKILL);
  ::close(channel_);
  channel_ = -1;
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
