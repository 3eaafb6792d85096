#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "slicejpeg/messages.hpp"
#include "slicejpeg/stack_plan.hpp"
#include "slicejpeg/window.hpp"

namespace slicejpeg {

// The command line of slicejpeg: options, then the path list; a problem
// with it ends the run with exit_status::usage_error.
struct command_line {
  bool help = false;
  std::string list_name{text::default_list_name};
  window_choice window;
  dicom::order_rule order = dicom::order_rule::automatic;
  series_choice series;
};

// What is wrong on a command line, for "slicejpeg: SUBJECT: WHAT".
struct usage_problem {
  std::string subject;
  std::string what;
};

struct command_line_result {
  std::optional<command_line> options;
  usage_problem problem;
};

// `args` without the program name. {"--window", "soft", "a_list.txt"} =>
// fixed {40, 400} and a_list.txt; {"-h"} => help; {"--window"} => problem.
// Arguments after the list are ignored; "--" ends the options.
command_line_result parse_command_line(std::span<const std::string> args);

// The lines --help adds for the options.
std::string_view window_usage_text();

}  // namespace slicejpeg
