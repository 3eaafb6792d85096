#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "dicom/voi_window.hpp"

namespace triview {

struct options {
  std::string list_name;          // the default list when none is given
  std::optional<double> z_scale;  // nothing: the slices' own proportions, else 1
  dicom::window_choice window;    // DICOM lists: none takes the files' own window
  std::optional<std::string> series;
  bool guides = false;      // lines where the other planes cut, orientation letters
  double zoom = 1;          // every view shown this many times larger
  bool grey = false;        // start with raw grey instead of pseudo-colour
  bool save_shown = false;  // s saves a view as its window shows it
  bool help = false;
};

struct parsed_options {
  std::optional<options> values;  // nothing when the command line is malformed
  std::string error;              // then the message, without the program's name
};

// Options, then [--] LIST, LIST being the first other argument; later ones
// are ignored. Values follow their option as the next argument or after "=".
parsed_options parse_options(std::span<const std::string_view> args);

// "2.5" => 2.5; "0", "-1", "abc", "2x", "nan", "inf", "" => nothing
std::optional<double> parse_z_scale(std::string_view text);

}  // namespace triview
