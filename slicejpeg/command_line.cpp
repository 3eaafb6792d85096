#include "slicejpeg/command_line.hpp"

namespace slicejpeg {

command_line_result parse_command_line(std::span<const std::string> args) {
  command_line options;
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    options.help = true;
    return {options, {}};
  }
  constexpr std::string_view window_option = "--window";
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--") {
      if (i + 1 < args.size()) options.list_name = args[i + 1];
      break;
    }
    if (arg.size() < 2 || arg.front() != '-') {
      options.list_name = arg;
      break;
    }
    std::string_view value;
    if (arg == window_option) {
      if (i + 1 == args.size()) return {std::nullopt, {"--window", "missing value"}};
      value = args[++i];
    } else if (arg.starts_with("--window=")) {
      value = arg.substr(window_option.size() + 1);
    } else if (arg == "-h" || arg == "--help") {
      return {std::nullopt, {std::string(arg), "must be the only argument"}};
    } else {
      return {std::nullopt, {std::string(arg), "unknown option"}};
    }
    auto parsed = parse_window_value(value);
    if (!parsed.choice) return {std::nullopt, {"--window", std::move(parsed.error)}};
    options.window = *parsed.choice;
  }
  return {options, {}};
}

std::string_view window_usage_text() {
  return "options:\n"
         "  --window C,W     window centre and width in modality units (HU for CT), e.g. 40,400\n"
         "  --window NAME    preset: soft 40,400; lung -600,1500; bone 400,1800; brain 40,80\n"
         "  --window file    each file's own first Window Center and Width\n"
         "  --window series  one window from the lowest to the highest value of all slices\n"
         "  -h, --help       this text\n"
         "without --window, each slice becomes (sample - its minimum) mod 256\n";
}

}  // namespace slicejpeg
