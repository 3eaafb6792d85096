// ctview-decoder: decodes the compressed pixel data of the files its parent
// sends, one request after the other, until the channel closes. Started by
// the programs' decoder client with the parent's process id as its argument.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "dicom/decoder_helper/gdcm_decode.hpp"
#include "dicom/decoder_protocol.hpp"

namespace {

constexpr int channel_in = STDIN_FILENO;
constexpr int channel_out = STDOUT_FILENO;
// CPU seconds one file may take beyond those used so far: the parent's
// deadline is the first bound, this one holds if the parent cannot act.
constexpr rlim_t cpu_seconds_base = 30;
constexpr rlim_t cpu_seconds_per_mib = 3;

bool read_all(void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = ::read(channel_in, bytes, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool write_all(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(channel_out, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// GDCM allocates what a header declares before reading it (a fragment that
// claims 4 GiB takes 4 GiB); a bound on the address space turns that into
// bad_alloc. Sanitizers reserve terabytes of shadow memory, so their builds
// go without.
void limit_memory(std::size_t file_size) {
#if !defined(__SANITIZE_ADDRESS__)
  std::ifstream statm("/proc/self/statm");
  rlim_t pages = 0;
  if (!(statm >> pages)) return;
  rlimit bound{};
  ::getrlimit(RLIMIT_AS, &bound);
  bound.rlim_cur = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) +
                   dicom::helper::decode_memory_budget(file_size);
  if (bound.rlim_max != RLIM_INFINITY && bound.rlim_cur > bound.rlim_max)
    bound.rlim_cur = bound.rlim_max;
  ::setrlimit(RLIMIT_AS, &bound);
#else
  (void)file_size;
#endif
}

void limit_cpu(std::size_t file_size) {
  rusage used{};
  ::getrusage(RUSAGE_SELF, &used);
  rlimit bound{};
  ::getrlimit(RLIMIT_CPU, &bound);
  bound.rlim_cur = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) + 1 +
                   cpu_seconds_base + cpu_seconds_per_mib * (file_size >> 20);
  if (bound.rlim_max != RLIM_INFINITY && bound.rlim_cur > bound.rlim_max)
    bound.rlim_cur = bound.rlim_max;
  ::setrlimit(RLIMIT_CPU, &bound);
}

// One request: false when the channel closed or the request is garbled.
bool serve_one() {
  std::uint8_t request[dicom::protocol::request_header_size];
  if (!read_all(request, sizeof request)) return false;
  const auto size = dicom::protocol::parse_request_header(request);
  if (!size || *size > (std::uint64_t{1} << 33)) return false;
  std::vector<std::uint8_t> file(static_cast<std::size_t>(*size));
  if (!read_all(file.data(), file.size())) return false;
  limit_memory(file.size());
  limit_cpu(file.size());
  dicom::compressed_frames frames = dicom::helper::decode_with_gdcm(file);
  file = {};
  const auto header = dicom::protocol::encode(dicom::protocol::header_of(frames));
  return write_all(header.data(), header.size()) &&
         write_all(frames.problem.data(), frames.problem.size()) &&
         write_all(frames.samples.data(), frames.samples.size());
}

}  // namespace

int main(int argc, char** argv) {
  // Die with the parent, even when it is killed; the check after closes the
  // window in which it may already have gone.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (argc > 1 && std::to_string(::getppid()) != argv[1]) return 1;
  while (serve_one()) {
  }
  return 0;
}
