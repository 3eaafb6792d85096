#include "slicejpeg/command_line.hpp"

#include <optional>

namespace slicejpeg {
namespace {

constexpr std::string_view window_option = "--window";
constexpr std::string_view order_option = "--order";
constexpr std::string_view series_option = "--series";

// The value of an option given as "--name VALUE" or "--name=VALUE"; `i`
// moves past a separate value.
std::optional<std::string_view> option_value(std::span<const std::string> args, std::size_t& i,
                                             std::string_view name, usage_problem& problem) {
  const std::string_view arg = args[i];
  if (arg == name) {
    if (i + 1 == args.size()) {
      problem = {std::string(name), "missing value"};
      return std::nullopt;
    }
    return std::string_view(args[++i]);
  }
  return arg.substr(name.size() + 1);
}

bool names_option(std::string_view arg, std::string_view name) {
  return arg == name ||
         (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=');
}

std::optional<dicom::order_rule> parse_order(std::string_view value) {
  if (value == "name") return dicom::order_rule::name;
  if (value == "position") return dicom::order_rule::position;
  if (value == "instance") return dicom::order_rule::instance;
  return std::nullopt;
}

// One option and its value into `options`; false with `problem` set when malformed.
bool take_option(std::span<const std::string> args, std::size_t& i, command_line& options,
                 usage_problem& problem) {
  const std::string_view arg = args[i];
  for (const std::string_view name : {window_option, order_option, series_option}) {
    if (!names_option(arg, name)) continue;
    const auto value = option_value(args, i, name, problem);
    if (!value) return false;
    if (name == window_option) {
      auto parsed = parse_window_value(*value);
      if (!parsed.choice) {
        problem = {std::string(name), std::move(parsed.error)};
        return false;
      }
      options.window = *parsed.choice;
    } else if (name == order_option) {
      const auto order = parse_order(*value);
      if (!order) {
        std::string what(1, '"');
        what.append(*value).append("\" is not name, position or instance");
        problem = {std::string(name), std::move(what)};
        return false;
      }
      options.order = *order;
    } else {
      if (value->empty()) {
        problem = {std::string(name), "empty value; give a series number, a UID or all"};
        return false;
      }
      options.series = {true, *value == "all", std::string(*value)};
    }
    return true;
  }
  problem = {std::string(arg),
             arg == "-h" || arg == "--help" ? "must be the only argument" : "unknown option"};
  return false;
}

}  // namespace

command_line_result parse_command_line(std::span<const std::string> args) {
  command_line options;
  if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
    options.help = true;
    return {options, {}};
  }
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
    usage_problem problem;
    if (!take_option(args, i, options, problem)) return {std::nullopt, std::move(problem)};
  }
  return {options, {}};
}

std::string_view window_usage_text() {
  return "options:\n"
         "  --window C,W     window centre and width in modality units (HU for CT), e.g. 40,400\n"
         "  --window NAME    preset: soft 40,400; lung -600,1500; bone 400,1800; brain 40,80\n"
         "  --window file    each file's own first Window Center and Width\n"
         "  --window series  one window from the lowest to the highest value of all slices\n"
         "  --order RULE     position (along the slice normal), instance or name; by default\n"
         "                   position, else instance number, else file name\n"
         "  --series N       only series N (its number or UID) into DIR/PREFIX_sN/;\n"
         "                   all: every series into a folder of its own\n"
         "  -h, --help       this text\n"
         "without --window, each slice becomes (sample - its minimum) mod 256\n";
}

}  // namespace slicejpeg
