#include "slicejpeg/compressed_pixels.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <vector>

#include "common/diagnostic.hpp"
#include "common/module_loader.hpp"
#include "slicejpeg/dicom_codec_module.hpp"

namespace slicejpeg {
namespace {

// Every transfer syntax whose pixel data is a sequence of compressed
// fragments: the JPEG family (with the retired processes), JPEG-LS, JPEG 2000,
// MPEG and HTJ2K, and RLE. JPIP referenced (.94, .95) carries no pixel data;
// deflate (1.2.840.10008.1.2.1.99) compresses the data set, not the pixels.
constexpr std::string_view encapsulated_root = "1.2.840.10008.1.2.4.";
constexpr std::array<std::string_view, 38> encapsulated_suffixes = {
    "50",  "51",  "52",  "53",  "54",  "55",  "56",  "57",  "58",  "59",  "60",  "61",  "62",
    "63",  "64",  "65",  "66",  "70",  "80",  "81",  "90",  "91",  "92",  "93",  "100", "101",
    "102", "103", "104", "105", "106", "107", "108", "110", "111", "201", "202", "203"};
constexpr std::string_view rle_lossless = "1.2.840.10008.1.2.5";

// A decode that takes longer than this is stuck (GDCM loops on some damaged
// JPEG streams); a 512 x 512 slice takes milliseconds.
constexpr std::chrono::milliseconds decode_time_base{20000};
constexpr std::chrono::milliseconds decode_time_per_mib{2000};

// UI values are padded to even length with NUL; some writers pad with a space.
std::string_view without_padding(std::string_view uid) {
  while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) uid.remove_suffix(1);
  return uid;
}

const detail::codec_module& codec() {
  static const detail::codec_module loaded = detail::load_codec_module(
      common::module_dirs(SLICEJPEG_CODEC_INSTALL_DIR), SLICEJPEG_CODEC_MODULE);
  return loaded;
}

// What the decoding child sends ahead of the problem text and the samples.
struct result_header {
  std::int32_t rows, columns, bits_allocated, samples_per_pixel, pixel_representation;
  std::uint64_t frames, problem_size, samples_size;
};

bool write_all(int fd, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// GDCM allocates what a header declares before reading it (a fragment that
// claims 4 GiB takes 4 GiB); a bound on the child's address space turns that
// into bad_alloc. Sanitizers reserve terabytes of shadow memory, so their
// builds go without.
void limit_memory(std::size_t file_size) {
#if !defined(__SANITIZE_ADDRESS__)
  std::ifstream statm("/proc/self/statm");
  rlim_t pages = 0;
  if (!(statm >> pages)) return;
  const rlim_t limit = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) +
                       detail::decode_memory_budget(file_size);
  const rlimit bound{limit, limit};
  ::setrlimit(RLIMIT_AS, &bound);
#else
  (void)file_size;
#endif
}

[[noreturn]] void run_child(detail::decode_function decode, std::span<const std::uint8_t> bytes,
                            int out) {
  // The codecs' own complaints would garble the console lines; the problem
  // text says what failed.
  const int null = ::open("/dev/null", O_WRONLY);
  if (null >= 0) {
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
  }
  limit_memory(bytes.size());
  compressed_frames frames;
  decode(bytes.data(), bytes.size(), &frames);
  const result_header header{frames.rows,
                             frames.columns,
                             frames.bits_allocated,
                             frames.samples_per_pixel,
                             frames.pixel_representation,
                             frames.frames,
                             frames.problem.size(),
                             frames.samples.size()};
  const bool sent = write_all(out, &header, sizeof header) &&
                    write_all(out, frames.problem.data(), frames.problem.size()) &&
                    write_all(out, frames.samples.data(), frames.samples.size());
  ::_exit(sent ? 0 : 1);
}

enum class received { complete, cut_short, timed_out };

received read_exact(int in, void* data, std::size_t size,
                    std::chrono::steady_clock::time_point deadline) {
  char* bytes = static_cast<char*>(data);
  while (size > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return received::timed_out;
    pollfd ready{in, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled == 0) return received::timed_out;
    const ssize_t got = polled < 0 ? -1 : ::read(in, bytes, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return received::cut_short;
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return received::complete;
}

// A problem and no samples, or exactly the samples of the image size: a
// garbled header cannot make us allocate at will.
bool consistent(const result_header& header) {
  std::uint64_t size = header.frames;
  for (const std::int32_t factor :
       {header.rows, header.columns, header.samples_per_pixel, header.bits_allocated / 8}) {
    if (factor < 0 || __builtin_mul_overflow(size, static_cast<std::uint64_t>(factor), &size))
      return false;
  }
  if (header.problem_size > 0) return header.problem_size < 4096 && header.samples_size == 0;
  return size == header.samples_size;
}

received receive(int in, compressed_frames& frames,
                 std::chrono::steady_clock::time_point deadline) {
  result_header header{};
  received got = read_exact(in, &header, sizeof header, deadline);
  if (got != received::complete) return got;
  if (!consistent(header)) return received::cut_short;
  frames.problem.resize(header.problem_size);
  got = read_exact(in, frames.problem.data(), frames.problem.size(), deadline);
  if (got != received::complete) return got;
  frames.samples.resize(header.samples_size);
  got = read_exact(in, frames.samples.data(), frames.samples.size(), deadline);
  frames.rows = header.rows;
  frames.columns = header.columns;
  frames.bits_allocated = header.bits_allocated;
  frames.samples_per_pixel = header.samples_per_pixel;
  frames.pixel_representation = header.pixel_representation;
  frames.frames = header.frames;
  return got;
}

int wait_for(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

std::string failure_text(received got, int status) {
  if (got == received::timed_out) return "the decoder took too long on this pixel data";
  if (WIFSIGNALED(status)) {
    const char* signal_name = ::sigdescr_np(WTERMSIG(status));
    return std::string("the decoder failed on this pixel data (") +
           (signal_name != nullptr ? signal_name : "killed") + ")";
  }
  return "the decoder module could not send its result";
}

// GDCM asserts, loops or crashes on some damaged files, so it decodes in a
// child process: a bad file costs its own slice, never the run.
compressed_frames decode_in_child(detail::decode_function decode,
                                  std::span<const std::uint8_t> bytes) {
  compressed_frames frames;
  int pipe_ends[2];
  if (::pipe2(pipe_ends, O_CLOEXEC) != 0) {
    frames.problem = "cannot start the decoder: " + common::system_reason(errno);
    return frames;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe_ends[0]);
    run_child(decode, bytes, pipe_ends[1]);
  }
  const int fork_error = errno;
  ::close(pipe_ends[1]);
  if (child < 0) {
    ::close(pipe_ends[0]);
    frames.problem = "cannot start the decoder: " + common::system_reason(fork_error);
    return frames;
  }
  const auto deadline = std::chrono::steady_clock::now() + decode_time_base +
                        decode_time_per_mib * static_cast<long>(bytes.size() >> 20);
  const received got = receive(pipe_ends[0], frames, deadline);
  ::close(pipe_ends[0]);
  if (got == received::timed_out) ::kill(child, SIGKILL);
  const int status = wait_for(child);
  if (got == received::complete && WIFEXITED(status) && WEXITSTATUS(status) == 0) return frames;
  frames = {};
  frames.problem = failure_text(got, status);
  return frames;
}

}  // namespace

bool is_encapsulated_syntax(std::string_view transfer_syntax_uid) {
  const std::string_view uid = without_padding(transfer_syntax_uid);
  if (uid == rle_lossless) return true;
  if (!uid.starts_with(encapsulated_root)) return false;
  const std::string_view suffix = uid.substr(encapsulated_root.size());
  return std::find(encapsulated_suffixes.begin(), encapsulated_suffixes.end(), suffix) !=
         encapsulated_suffixes.end();
}

compressed_frames decode_compressed(std::span<const std::uint8_t> file_bytes) {
  const detail::codec_module& module = codec();
  if (module.decode == nullptr) {
    compressed_frames frames;
    frames.problem = std::string("cannot load the decoder module ") + SLICEJPEG_CODEC_MODULE +
                     ": " + module.problem;
    return frames;
  }
  return decode_in_child(module.decode, file_bytes);
}

namespace detail {

codec_module load_codec_module(std::span<const std::filesystem::path> dirs,
                               const std::string& file_name) {
  const common::module_entry found =
      common::load_module_entry(dirs, file_name, "slicejpeg_decode_compressed");
  return {reinterpret_cast<decode_function>(found.entry), found.problem};
}

}  // namespace detail
}  // namespace slicejpeg
