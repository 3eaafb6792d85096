#include "triview/options.hpp"

#include <cmath>
#include <cstdlib>

#include "triview/memory_room.hpp"
#include "triview/messages.hpp"

namespace triview {
namespace {

constexpr std::string_view z_scale_option = messages::z_scale_option;
constexpr std::string_view zoom_option = "--zoom";
constexpr std::string_view window_option = "--window";
constexpr std::string_view series_option = "--series";
constexpr double max_zoom = 16;

bool names_option(std::string_view arg, std::string_view name) {
  return arg == name ||
         (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=');
}

// Takes the value of the option at args[i] into `values`; an error text when malformed.
std::optional<std::string> take_value(std::string_view name, std::string_view text,
                                      options& values) {
  const std::string prefix = std::string(name) + ": ";
  if (name == z_scale_option || name == zoom_option) {
    const auto number = parse_z_scale(text);
    if (!number) return prefix + messages::z_scale_malformed + "'" + std::string(text) + "'";
    if (name == zoom_option && *number > max_zoom) return prefix + messages::zoom_too_large;
    if (name == z_scale_option && *number > max_window_side)
      return prefix + messages::z_scale_too_large;
    (name == zoom_option ? values.zoom : values.z_scale.emplace()) = *number;
    return std::nullopt;
  }
  if (name == window_option) {
    auto parsed = dicom::parse_window_value(text);
    if (!parsed.choice) return prefix + parsed.error;
    values.window = *parsed.choice;
    return std::nullopt;
  }
  if (text.empty()) return prefix + messages::series_missing;
  values.series = std::string(text);
  return std::nullopt;
}

}  // namespace

std::optional<double> parse_z_scale(std::string_view text) {
  const std::string copy(text);
  if (copy.empty() || std::isspace(static_cast<unsigned char>(copy.front()))) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value) || value <= 0) return std::nullopt;
  return value;
}

parsed_options parse_options(std::span<const std::string_view> args) {
  options values;
  std::optional<std::string> list;
  const auto malformed = [](std::string error) { return parsed_options{std::nullopt, error}; };
  for (std::size_t i = 0; i < args.size() && !list; ++i) {
    const std::string_view arg = args[i];
    if (arg == "-h" || arg == "--help") {
      values.help = true;
      continue;
    }
    if (arg == "--guides" || arg == "--grey" || arg == "--save-shown") {
      (arg == "--guides" ? values.guides
       : arg == "--grey" ? values.grey
                         : values.save_shown) = true;
      continue;
    }
    bool taken = false;
    for (const std::string_view name :
         {z_scale_option, zoom_option, window_option, series_option}) {
      if (!names_option(arg, name)) continue;
      std::string_view text;
      if (arg == name) {
        if (i + 1 == args.size())
          return malformed(std::string(name) + ": " +
                           (name == z_scale_option || name == zoom_option
                                ? messages::z_scale_missing
                                : messages::option_value_missing));
        text = args[++i];
      } else {
        text = arg.substr(name.size() + 1);
      }
      if (auto error = take_value(name, text, values)) return malformed(*error);
      taken = true;
    }
    if (taken) continue;
    if (arg == "--" && i + 1 < args.size()) {
      list = std::string(args[++i]);
    } else if (arg.size() > 1 && arg.front() == '-') {
      return malformed(std::string(arg) + ": " + messages::unknown_option);
    } else {
      list = std::string(arg);
    }
  }
  values.list_name = list.value_or(messages::default_list);
  return {values, {}};
}

}  // namespace triview
