#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A helper program kept running beside this one, spoken to over one channel
// that is its standard input and output. Its standard error is discarded.
// Nothing else this process starts inherits the channel. Implemented with
// the rest of what differs between systems (platform_*.cpp).
namespace common {

class child_process {
 public:
  using deadline = std::chrono::steady_clock::time_point;

  child_process();
  ~child_process();
  child_process(child_process&& other) noexcept;
  child_process& operator=(child_process&& other) noexcept;
  child_process(const child_process&) = delete;
  child_process& operator=(const child_process&) = delete;

  // Starts `program` with `args` (argv[1]...); nothing on success, else why not.
  std::optional<std::string> start(const std::filesystem::path& program,
                                   const std::vector<std::string>& args);
  bool running() const { return connection_ != nullptr; }
  long pid() const { return pid_; }

  enum class transfer { complete, closed, timed_out };
  // All of `bytes`, or how it failed; a child that is gone is `closed`, never a signal here.
  transfer send(std::span<const std::uint8_t> bytes, deadline until);
  // Exactly into.size() bytes.
  transfer receive(std::span<std::uint8_t> into, deadline until);

  // Ends the child (killed when `force`, else once it ends on the closed
  // channel) and says how it ended: "exit status 0", or the signal's
  // description ("Killed", "Segmentation fault").
  std::string stop(bool force);

 private:
  struct connection;  // the system's handles of the child and its channel
  long pid_ = -1;
  std::unique_ptr<connection> connection_;
};

}  // namespace common
