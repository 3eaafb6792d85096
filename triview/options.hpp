#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace triview {

struct options {
  std::string list_name;  // the default list when none is given
  double z_scale = 1;
  bool help = false;
};

struct parsed_options {
  std::optional<options> values;  // nothing when the command line is malformed
  std::string error;              // then the message, without the program's name
};

// [--z-scale F | --z-scale=F] [-h | --help] [--] [LIST], LIST being the first
// other argument; later ones are ignored. F is a positive finite number.
parsed_options parse_options(std::span<const std::string_view> args);

// "2.5" => 2.5; "0", "-1", "abc", "2x", "nan", "inf", "" => nothing
std::optional<double> parse_z_scale(std::string_view text);

}  // namespace triview
