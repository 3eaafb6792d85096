#include "dirsort/run.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/atomic_file.hpp"
#include "common/diagnostic.hpp"
#include "common/file_read.hpp"
#include "common/path_list.hpp"
#include "common/path_text.hpp"
#include "common/platform.hpp"
#include "dirsort/classify.hpp"
#include "dirsort/extension_table.hpp"
#include "dirsort/path_list.hpp"

namespace dirsort {
namespace {

struct run_state {
  const console_labels& labels;
  const file_system& files;
  std::string pattern;
  std::string dir_name;  // empty while no directory was counted
  std::string fwname;
  std::vector<std::string> main_lines;
  extension_table table;
  std::size_t broken_names = 0;
  std::size_t unquotable_names = 0;
  std::size_t companions = 0;
  bool main_list_written = false;
  console_sink& console;
  int exit_status = exit_ok;

  void out(std::string_view text) { console.out(text); }
  void fail(const std::string& subject, const std::string& what) {
    console.error(error_text(subject, what));
    exit_status = exit_failed;
  }
};

void echo_start(run_state& state, const std::optional<std::string>& argument) {
  if (argument)
    state.out(*argument + " : " + state.pattern + "\n");
  else
    state.out(state.pattern + "\n");
}

bool first_search(run_state& state) {
  const common::search_result found = state.files.search(state.pattern);
  if (found.entries.empty()) {
    state.out(state.labels.search_failed);
    state.fail(state.pattern, found.error);
    return false;
  }
  for (const common::dir_entry& entry : found.entries) {
    state.out(state.labels.file_name);
    state.out(entry.name);
    if (!entry.is_directory) continue;
    state.out(state.labels.directory);
    if (entry.name.front() != '.') state.dir_name = entry.name;  // the last one wins
  }
  return true;
}

// Mac companions are named one by one this often; the rest are summed up.
constexpr std::size_t companions_named = 3;

// A dot-less name that ends in no digit is a slice file when it starts as a DICOM file does.
classified kind_of(const run_state& state, const std::string& name, const std::string& line) {
  classified kind = classify(name);
  if (kind.kind == list_kind::none && name.find('.') == std::string::npos &&
      !is_dicom_index(name) &&
      starts_as_dicom(state.files.read_head(common::to_native_path(line), dicom_head_bytes)))
    kind.kind = list_kind::slice;
  return kind;
}

void skip_companion(run_state& state, const std::string& line) {
  if (++state.companions <= companions_named)
    state.console.error(error_text(common::to_native_path(line), skipped_companion));
}

void take_file(run_state& state, const std::string& name) {
  const std::string line = common::path_line(state.pattern, name);
  state.out(line);
  state.out("\n");
  const classified kind = kind_of(state, name, line);
  if (kind.kind == list_kind::none) return;
  if (kind.kind == list_kind::companion) return skip_companion(state, line);
  const bool breaks = common::has_line_break(line);
  const bool quotable = common::listable(line);
  const bool listable = !breaks && quotable;
  if (breaks)
    ++state.broken_names;
  else if (!quotable)
    ++state.unquotable_names;
  if (kind.kind == list_kind::slice) {
    state.out(line);
    state.out("\n");
    if (listable) state.main_lines.push_back(line);
    return;
  }
  const auto slot = state.table.find_or_add(kind.extension);
  if (slot.added) state.out("ext:" + std::string(kind.extension) + "\n");
  state.out("tmp_fwname:" + extension_list_name(state.dir_name, kind.extension) + "\n");
  if (listable) state.table[slot.index].lines.push_back(line);
}

// The second search runs before any list is touched, so a failed one changes no file.
bool scan_directory(run_state& state) {
  state.fwname = main_list_name(state.dir_name);
  state.out("fwname:" + state.fwname + "\n");
  const std::string second_pattern = state.pattern + "\\*.*";
  const common::search_result found = state.files.search(second_pattern);
  if (found.entries.empty()) {
    state.out(state.labels.search_failed);
    state.fail(second_pattern, found.error);
    return false;
  }
  for (const common::dir_entry& entry : found.entries) {
    state.out(state.labels.file_name);
    state.out(entry.name);
    state.out("\n");
    if (entry.is_directory)
      state.out(state.labels.directory);
    else
      take_file(state, entry.name);
  }
  if (found.unnamable > 0) state.fail(state.pattern, unnamable_names(found.unnamable));
  if (state.companions > companions_named)
    state.console.error(
        error_text(state.pattern, more_companions(state.companions - companions_named)));
  if (state.broken_names > 0) state.fail(state.pattern, names_with_line_breaks(state.broken_names));
  if (state.unquotable_names > 0)
    state.fail(state.pattern, names_with_space_and_quote(state.unquotable_names));
  return true;
}

// Sub-folders are searched this deep and this many, so a hint never turns
// into a walk of a whole disk.
constexpr int hint_depth = 4;
constexpr std::size_t hint_folders = 2000;

struct slice_folder {
  std::string path;  // as typed, '\\' between the parts
  std::size_t slices = 0;
};

void find_slice_folders(const run_state& state, const std::string& dir, int depth,
                        std::vector<slice_folder>& found, std::size_t& visited) {
  if (depth > hint_depth || visited++ >= hint_folders) return;
  const common::search_result listing = state.files.search(dir + "\\*.*");
  std::size_t slices = 0;
  std::vector<std::string> subfolders;
  for (const common::dir_entry& entry : listing.entries) {
    if (entry.is_directory) {
      if (entry.name.front() != '.') subfolders.push_back(entry.name);
      continue;
    }
    if (kind_of(state, entry.name, common::path_line(dir, entry.name)).kind == list_kind::slice)
      ++slices;
  }
  if (slices > 0 && depth > 0) found.push_back({dir, slices});
  for (const auto& sub : subfolders)
    find_slice_folders(state, common::path_line(dir, sub), depth + 1, found, visited);
}

// A folder with no slice files of its own, like a CD's root: where they are.
void hint_slice_folders(run_state& state) {
  std::vector<slice_folder> found;
  std::size_t visited = 0;
  find_slice_folders(state, state.pattern, 0, found, visited);
  if (found.empty()) return;
  std::sort(found.begin(), found.end(),
            [](const slice_folder& a, const slice_folder& b) { return a.path < b.path; });
  std::vector<std::pair<std::string, std::size_t>> named;
  for (const auto& folder : found)
    named.emplace_back(common::to_native_path(folder.path), folder.slices);
  state.console.error(error_text(common::to_native_path(state.pattern), slice_folders_hint(named)));
}

bool write_list(run_state& state, const std::string& name, std::vector<std::string>& lines) {
  state.out("tmp_fwname:" + name + "\n");
  common::sort_lines(lines);
  // Sorted by path, written so that readers take a path with white space whole.
  std::vector<std::string> written;
  written.reserve(lines.size());
  for (const auto& line : lines) written.push_back(common::list_line(line));
  if (const auto error =
          state.files.replace_file(name, common::list_text(written, state.files.line_end))) {
    state.fail(name, *error);
    return false;
  }
  return true;
}

bool same_but_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Where "txt" and "TXT" lists would be one file, the second would replace
// the first: one list then takes both, under the extension seen first. The
// main list, written just before in the same folder, tells the volume's way.
bool lists_fold_case(const run_state& state) {
  return state.main_list_written && state.files.names_ignore_case &&
         state.files.names_ignore_case(state.fwname);
}

void write_extension_lists(run_state& state) {
  std::vector<extension_list>& lists = state.table.lists();
  std::vector<bool> taken(lists.size(), false);
  std::optional<bool> fold;  // asked once, when two extensions differ only in case
  for (std::size_t i = 0; i < lists.size(); ++i) {
    if (taken[i]) continue;
    extension_list& list = lists[i];
    const std::string name = extension_list_name(state.dir_name, list.extension);
    state.out("ext:" + list.extension + "\n");
    for (std::size_t j = i + 1; j < lists.size(); ++j) {
      if (taken[j] || !same_but_case(list.extension, lists[j].extension)) continue;
      if (!fold) fold = lists_fold_case(state);
      if (!*fold) break;
      taken[j] = true;
      list.lines.insert(list.lines.end(), lists[j].lines.begin(), lists[j].lines.end());
      state.console.error(error_text(name, also_holds(lists[j].extension)));
    }
    write_list(state, name, list.lines);
  }
}

void remove_empty_main_list(run_state& state) {
  if (const auto error = state.files.remove_file(state.fwname)) {
    state.out(state.fwname + state.labels.cannot_delete);
    state.fail(state.fwname, "cannot remove: " + *error);
    return;
  }
  state.out(state.fwname + state.labels.deleted);
}

void check_main_list_size(run_state& state) {
  if (state.fwname.empty()) {
    state.out(state.labels.search_failed);
    state.fail(state.pattern, "finds no directory to list, no list written");
    return;
  }
  const auto entry = state.files.find_exact(state.fwname);
  if (!entry) {
    state.out(state.labels.search_failed);
    if (state.main_list_written) state.fail(state.fwname, "written list not found");
    return;
  }
  state.out(state.labels.file_size + std::to_string(entry->size) + "\n");
  // Only a list this run wrote empty is removed; an older one it failed to replace stays.
  if (entry->size == 0 && state.main_list_written && state.main_lines.empty())
    remove_empty_main_list(state);
}

std::optional<std::string> remove_path(const std::string& path) {
  if (std::remove(path.c_str()) == 0) return std::nullopt;
  return common::system_reason(errno);
}

}  // namespace

file_system real_file_system() {
  return {
      [](std::string_view pattern) {
        return common::find_entries(pattern, common::entry_sizes::skip);
      },
      common::find_exact_entry,
      common::replace_file_contents,
      remove_path,
      [](const std::string& path, std::size_t bytes) {
        const common::file_read head = common::read_regular_file_head(path, bytes);
        return std::string(head.bytes.begin(), head.bytes.end());
      },
      common::names_ignore_case,
      common::platform::text_line_end(),
  };
}

int run(const std::optional<std::string>& argument, const console_labels& labels,
        const file_system& files, console_sink& console) {
  const std::string pattern = argument ? search_pattern_of(*argument) : default_pattern;
  run_state state{labels, files, pattern, {}, {}, {}, {}, 0, 0, 0, false, console};
  echo_start(state, argument);
  if (!first_search(state)) return state.exit_status;
  if (!state.dir_name.empty()) {
    if (!scan_directory(state)) return state.exit_status;
    state.main_list_written = write_list(state, state.fwname, state.main_lines);
    if (state.main_lines.empty()) hint_slice_folders(state);
  }
  write_extension_lists(state);
  check_main_list_size(state);
  return state.exit_status;
}

run_result run(const std::optional<std::string>& argument, const console_labels& labels,
               const file_system& files) {
  run_result result;
  result.exit_status = run(argument, labels, files, result.console);
  return result;
}

}  // namespace dirsort
