#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "common/console_text.hpp"
#include "dirsort/messages.hpp"
#include "dirsort/run.hpp"

namespace {

void write_out(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

// Standard output up to each error line goes out first, so both streams keep their order.
bool print(const dirsort::transcript& console) {
  std::size_t printed = 0;
  for (const auto& error : console.errors) {
    write_out(std::string_view(console.out).substr(printed, error.after - printed));
    printed = error.after;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", error.text.c_str());
  }
  write_out(std::string_view(console.out).substr(printed));
  return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "-h" || std::string_view(argv[1]) == "--help")) {
    write_out(dirsort::usage_text());
    return dirsort::exit_ok;
  }
  const std::optional<std::string> argument =
      argc > 1 ? std::optional<std::string>(argv[1]) : std::nullopt;
  const auto result = dirsort::run(argument, dirsort::labels_for(common::console_codeset()),
                                   dirsort::real_file_system());
  if (!print(result.console)) {
    std::string reason = std::strerror(errno);
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    std::fprintf(stderr, "%s\n",
                 dirsort::error_text("standard output", "cannot write: " + reason).c_str());
    return dirsort::exit_failed;
  }
  return result.exit_status;
}
