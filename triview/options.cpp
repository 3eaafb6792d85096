#include "triview/options.hpp"

#include <cmath>
#include <cstdlib>

#include "triview/messages.hpp"

namespace triview {

std::optional<double> parse_z_scale(std::string_view text) {
  const std::string copy(text);
  if (copy.empty() || std::isspace(static_cast<unsigned char>(copy.front()))) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value) || value <= 0) return std::nullopt;
  return value;
}

parsed_options parse_options(std::span<const std::string_view> args) {
  const std::string_view option = messages::z_scale_option;
  options values;
  std::optional<std::string> list;
  const auto malformed = [](std::string error) { return parsed_options{std::nullopt, error}; };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (list) break;
    if (arg == "-h" || arg == "--help") {
      values.help = true;
    } else if (arg == option || arg.starts_with(std::string(option) + "=")) {
      std::string_view text;
      if (arg == option) {
        if (i + 1 == args.size())
          return malformed(std::string(option) + ": " + messages::z_scale_missing);
        text = args[++i];
      } else {
        text = arg.substr(option.size() + 1);
      }
      const auto scale = parse_z_scale(text);
      if (!scale)
        return malformed(std::string(option) + ": " + messages::z_scale_malformed + "'" +
                         std::string(text) + "'");
      values.z_scale = *scale;
    } else if (arg == "--" && i + 1 < args.size()) {
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
