#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/temp_dir.hpp"

// Runs a command line in a directory through the shell and keeps its standard
// output, standard error and exit status.
struct program_run {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string shell_quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// A whole file, bytes as they are; empty when it cannot be read.
inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline program_run run_in(const std::filesystem::path& dir, const std::string& command_line) {
  const auto out_file = dir / ".run-out", err_file = dir / ".run-err";
  const std::string command = "cd " + shell_quote(dir.string()) + " && { " + command_line +
                              "; } >" + shell_quote(out_file.string()) + " 2>" +
                              shell_quote(err_file.string()) + " </dev/null";
  const int raw = std::system(command.c_str());
  program_run run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  run.out = read_file(out_file);
  run.err = read_file(err_file);
  std::filesystem::remove(out_file);
  std::filesystem::remove(err_file);
  return run;
}

// The folder of the DICOM files python3-pydicom ships, or empty without it.
inline const std::string& pydicom_test_files() {
  static const std::string dir = [] {
    temp_dir scratch;
    const auto run = run_in(scratch.path(),
                            "/usr/bin/python3 -c 'import pydicom.data, os; "
                            "print(os.path.dirname(pydicom.data.__file__))'");
    if (run.status != 0 || run.out.empty()) return std::string();
    return run.out.substr(0, run.out.find('\n')) + "/test_files";
  }();
  return dir;
}

#ifdef SLICEJPEG_BIN
inline program_run run_slicejpeg(const std::filesystem::path& dir, const std::string& args = "") {
  return run_in(dir, shell_quote(SLICEJPEG_BIN) + (args.empty() ? "" : " " + args));
}
#endif
