#include "triview/list_loader.hpp"

#include <cstdio>
#include <limits>
#include <thread>

#include "common/file_read.hpp"
#include "common/path_list.hpp"
#include "common/path_text.hpp"
#include "common/platform.hpp"
#include "common/slice_geometry.hpp"
#include "dicom/decoder_client.hpp"
#include "triview/imread_fallback.hpp"
#include "triview/memory_room.hpp"
#include "triview/messages.hpp"
#include "triview/stack_loader.hpp"

namespace triview {
namespace {

namespace msg = messages;

// A path list longer than this names more slices than any memory holds.
constexpr std::size_t max_list_bytes = std::size_t{1} << 30;
// What the window toolkit maps after the stack is loaded (threads with their
// stacks, X shared-memory segments, fonts): about 35 MiB measured without
// its OpenGL integration, four times that kept free. The views and their
// copies in the toolkit come on top.
constexpr std::size_t window_toolkit_bytes = std::size_t{128} << 20;
// Enough of a slice file to hold a JPEG's comment or a DICOM header's start.
constexpr std::size_t head_bytes = std::size_t{64} << 10;

using messages::format;

std::string size_text(cv::Size size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

loaded_list failed(std::vector<load_line> lines, int status = msg::exit_failure) {
  loaded_list result;
  result.lines = std::move(lines);
  result.exit_status = status;
  return result;
}

// A file only imread reads fails too when imread's module cannot be loaded:
// that reason comes first.
loaded_list unreadable(const std::string& path, const slice_outcome& outcome) {
  using kind = slice_outcome::kind;
  if (outcome.what == kind::implausible)
    return failed({{path, std::string(msg::cannot_load_image) + ": " +
                              format(msg::implausible_size, outcome.size.width, outcome.size.height,
                                     outcome.file_bytes)}},
                  msg::exit_unreadable_image);
  std::vector<load_line> lines;
  if (const auto problem = fallback_problem())
    lines.push_back({fallback_module_name(), msg::no_fallback_module + *problem});
  lines.push_back({path, outcome.reason.empty()
                             ? std::string(msg::cannot_load_image)
                             : std::string(msg::cannot_load_image) + ": " + outcome.reason});
  // Short of memory, the file is not at fault: the status says so as the other memory refusals do.
  return failed(std::move(lines), outcome.reason == msg::out_of_memory
                                      ? msg::exit_failure
                                      : msg::exit_unreadable_image);
}

loaded_list load_failed(const load_failure& failure, std::size_t count, cv::Size size) {
  if (failure.what == load_failure::kind::no_memory)
    return failed({{"", format(msg::stack_needs_memory, count, size.width, size.height,
                               memory_text(failure.bytes).c_str())}});
  if (failure.outcome.what == slice_outcome::kind::size_differs)
    return failed({{failure.path, format(msg::size_differs, size_text(failure.outcome.size).c_str(),
                                         size_text(size).c_str())}});
  return unreadable(failure.path, failure.outcome);
}

std::optional<std::vector<std::string>> read_path_list(const std::string& list_name,
                                                       std::vector<load_line>& lines) {
  const common::file_read list = common::read_regular_file(list_name, max_list_bytes);
  if (!list) {
    lines.push_back({list_name, std::string(msg::cannot_open_list) + ": " + list.reason});
    return std::nullopt;
  }
  std::vector<std::string> paths = common::all_tokens(
      std::string_view(reinterpret_cast<const char*>(list.bytes.data()), list.bytes.size()));
  if (paths.empty()) {
    lines.push_back({list_name, msg::list_holds_no_name});
    return std::nullopt;
  }
  return paths;
}

// What the first slice file's first bytes say: DICOM or not, and for a JPEG
// the geometry in its comment segment.
struct first_look {
  bool dicom = false;
  stack_geometry geometry;
};

first_look look_at_first(const std::string& listed) {
  first_look look;
  const common::file_read head =
      common::read_regular_file_head(common::to_native_path(listed), head_bytes);
  if (!head) return look;
  if (const auto comment = common::jpeg_comment(head.bytes)) {
    if (const auto geometry = common::parse_geometry_comment(*comment))
      look.geometry = {geometry->pixel_spacing, geometry->slice_spacing, geometry->orientation};
    return look;
  }
  look.dicom = looks_like_dicom(head.bytes, head.whole);
  return look;
}

// The views of `count` slices of `size` must be addressable and leave room
// for the windows.
std::optional<load_line> unshowable(std::size_t count, cv::Size size, double z_scale, double zoom) {
  if (const auto view = find_unshowable_view(count, size, z_scale, zoom))
    return load_line{"", format(msg::unshowable_view, view->window, view->shown.width,
                                view->shown.height, max_window_side)};
  return std::nullopt;
}

std::optional<load_line> view_room_problem(std::size_t count, cv::Size size, double z_scale,
                                           std::size_t stack_bytes) {
  if (const auto view = find_oversized_view(count, size, z_scale))
    return load_line{"", format(msg::too_large_to_address, count, size.width, size.height,
                                view->window, memory_text(view->bytes).c_str())};
  const std::uint64_t room = window_toolkit_bytes + 2 * view_bytes(count, size, z_scale);
  if (!common::platform::address_space_left(static_cast<std::size_t>(room)))
    return load_line{"", format(msg::no_memory_for_windows, memory_text(stack_bytes).c_str(),
                                memory_text(room).c_str())};
  return std::nullopt;
}

loaded_list load_jpeg_list(const std::vector<std::string>& paths, const options& options,
                           const stack_geometry& geometry, const load_events& events) {
  // Views too large to show are refused from the first slice's header,
  // before its pixels take memory.
  first_slice first = decode_first_slice(paths.front(), [&](cv::Size declared) {
    const double z_scale = z_scale_for(options, geometry, paths.size());
    return !find_oversized_view(paths.size(), declared, z_scale) &&
           !find_unshowable_view(paths.size(), declared, z_scale, options.zoom);
  });
  const double z_scale = z_scale_for(options, geometry, paths.size());
  const bool too_large = first.outcome.what == slice_outcome::kind::too_large;
  if (first.image.empty() && !too_large) return unreadable(paths.front(), first.outcome);
  if (events.counted) events.counted(paths.size());
  const cv::Size size = too_large ? first.outcome.size : first.image.size();
  if (const auto view = find_oversized_view(paths.size(), size, z_scale))
    return failed({{"", format(msg::too_large_to_address, paths.size(), size.width, size.height,
                               view->window, memory_text(view->bytes).c_str())}});
  if (auto problem = unshowable(paths.size(), size, z_scale, options.zoom))
    return failed({*problem});
  load_options load_options{std::thread::hardware_concurrency(), [&](std::size_t done) {
                              if (events.progress) events.progress(done, paths.size());
                            }};
  load_result loaded = load_stack(paths, first.image, decode_slice_file_into, load_options);
  first.image.release();
  if (loaded.failure) return load_failed(*loaded.failure, paths.size(), size);
  loaded_list result;
  if (first.outcome.incomplete) loaded.incomplete.insert(loaded.incomplete.begin(), paths.front());
  for (const std::string& path : loaded.incomplete)
    result.lines.push_back({path, msg::incomplete_file});
  const std::size_t bytes = stack_bytes(paths.size(), size, loaded.stack.channels).value_or(0);
  if (auto problem = view_room_problem(paths.size(), size, z_scale, bytes)) {
    result.lines.push_back(*problem);
    result.exit_status = msg::exit_failure;
    return result;
  }
  result.geometry = geometry;
  result.stack = std::move(loaded.stack);
  return result;
}

loaded_list load_dicom_list(const std::vector<std::string>& paths, const options& options,
                            const load_events& events) {
  dicom_load_options load_options;
  load_options.window = options.window;
  load_options.series = options.series;
  load_options.list_name = options.list_name;
  load_options.threads = std::max(1u, std::thread::hardware_concurrency());
  load_options.make_decoder = [] { return std::make_unique<dicom::helper_decoder>(); };
  load_options.progress = [&](std::size_t done) {
    if (events.progress) events.progress(done, paths.size());
  };
  dicom_load_result loaded = load_dicom_volume(paths, load_options);
  if (!loaded.volume) return failed(std::move(loaded.refusal));
  dicom_volume& volume = *loaded.volume;
  const std::size_t count = volume.stack.slices.size();
  if (events.counted) events.counted(count);
  const cv::Size size(volume.stack.width, volume.stack.height);
  const double z_scale = z_scale_for(options, volume.geometry, count);
  if (auto problem = unshowable(count, size, z_scale, options.zoom)) return failed({*problem});
  if (auto problem = view_room_problem(count, size, z_scale, 2 * count * size.area()))
    return failed({*problem});
  loaded_list result;
  result.geometry = volume.geometry;
  result.mapping = volume.mapping;
  result.value_span = volume.value_span;
  result.stack = std::move(volume.stack);
  return result;
}

}  // namespace

double z_scale_for(const options& options, const stack_geometry& geometry, std::size_t count) {
  if (options.z_scale) return *options.z_scale;
  // The slices' own proportions, as far as a window can show them.
  const double most = static_cast<double>(max_window_side) /
                      (static_cast<double>(std::max<std::size_t>(count, 1)) * options.zoom);
  return std::min(geometry.z_scale().value_or(1.0), most);
}

viewer_settings settings_for(const options& options, const loaded_list& loaded) {
  viewer_settings settings;
  settings.z_scale =
      z_scale_for(options, loaded.geometry, loaded.stack ? loaded.stack->slices.size() : 1);
  settings.zoom = options.zoom;
  settings.guides = options.guides;
  settings.grey = options.grey;
  settings.save_shown = options.save_shown;
  settings.orientation = loaded.geometry.orientation;
  if (loaded.mapping) settings.window = sample_window{*loaded.mapping, true, loaded.value_span};
  return settings;
}

loaded_list load_list(const options& options, const load_events& events) {
  std::vector<load_line> lines;
  const auto paths = read_path_list(options.list_name, lines);
  if (!paths) return failed(std::move(lines));
  const first_look look = look_at_first(paths->front());
  return look.dicom ? load_dicom_list(*paths, options, events)
                    : load_jpeg_list(*paths, options, look.geometry, events);
}

}  // namespace triview
