#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "common/console_text.hpp"
#include "common/diagnostic.hpp"
#include "dirsort/messages.hpp"
#include "dirsort/run.hpp"

namespace {

// errno of the first failed write to standard output, or 0.
int out_errno = 0;

void write_out(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && out_errno == 0)
    out_errno = errno;
}

bool flush_out() {
  if (std::fflush(stdout) != 0 && out_errno == 0) out_errno = errno;
  return out_errno == 0;
}

// Standard output goes out as the run produces it; before each error line it
// is flushed, so both streams keep their order on a terminal.
class stdio_console : public dirsort::console_sink {
 public:
  void out(std::string_view text) override { write_out(text); }
  void error(const std::string& line) override {
    flush_out();
    std::fprintf(stderr, "%s\n", line.c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "-h" || std::string_view(argv[1]) == "--help")) {
    write_out(dirsort::usage_text());
    return dirsort::exit_ok;
  }
  // "--" ends the options, so a directory named -x is still reachable.
  int first = 1;
  if (argc > 1 && std::string_view(argv[1]) == "--") {
    first = 2;
  } else if (argc > 1 && argv[1][0] == '-' && argv[1][1] != '\0') {
    std::fprintf(stderr, "%s\n", dirsort::error_text(argv[1], dirsort::unknown_option).c_str());
    return dirsort::exit_usage;
  }
  const std::optional<std::string> argument =
      argc > first ? std::optional<std::string>(argv[first]) : std::nullopt;
  static char out_buffer[1 << 16];  // a directory of 10,000 files echoes about 600 KB
  std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
  stdio_console console;
  const int status = dirsort::run(argument, dirsort::labels_for(common::console_codeset()),
                                  dirsort::real_file_system(), console);
  if (!flush_out()) {
    std::fprintf(
        stderr, "%s\n",
        dirsort::error_text("standard output", "cannot write: " + common::system_reason(out_errno))
            .c_str());
    return dirsort::exit_failed;
  }
  return status;
}
