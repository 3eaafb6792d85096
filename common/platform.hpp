#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/dir_search.hpp"
#include "common/file_read.hpp"

// What differs between operating systems and the programs need beyond the
// standard library: one declaration here, one implementation per system.
namespace common::platform {

// Processors this process may run on (its affinity), at least 1.
unsigned available_processors();

// This process's id, as the decoder helper is told its parent's.
std::string process_id();

// Standard error is a terminal, where a progress line may be rewritten.
bool error_output_is_terminal();

// --- Memory, set once at the start of `main`, before any thread exists.

// Freed buffers stay in the heap for the next slice instead of going back to
// the system: a batch of slices allocates the same few sizes again and again.
void keep_freed_memory_for_reuse();

// One heap for every thread and small thread stacks. Under an address-space
// limit, the threads the window toolkit starts late would otherwise each
// reserve a heap of their own (64 MiB) and a stack of 8 MiB; when that fails
// the toolkit waits for ever or aborts instead of reporting it.
void use_little_address_space_per_thread();

// True when `bytes` more of address space can still be reserved (under a
// `ulimit -v`, say), without touching any of it.
bool address_space_left(std::size_t bytes);

// A zeroed block of `bytes` straight from the system (large pages where
// offered), or null when there is no room: a volume beyond the memory left is
// refused rather than thrown about.
std::shared_ptr<void> map_zeroed_block(std::size_t bytes);

// --- Interrupts (Ctrl-C, a terminal hung up, a kill) as a flag the program
// looks at between steps, so it stops with its lock released and no file
// half written; a second one ends it at once.

// Catches SIGINT, SIGTERM and SIGHUP, or a console's Ctrl-C, Ctrl-Break and close.
void catch_interrupts();

// The signal number of the first interrupt caught (SIGINT 2, SIGTERM 15,
// SIGHUP 1), or 0.
int interrupted();

// --- Console text.

// The encoding the console shows: the user's locale's codeset ("UTF-8",
// "SHIFT_JIS"), or a console's code page ("CP932"); "UTF-8" when unknown.
std::string console_codeset();

// The UTF-8 text in `codeset`, or nothing when the codeset is unknown or
// cannot hold the text.
std::optional<std::string> convert_from_utf8(std::string_view utf8_text,
                                             const std::string& codeset);

// --- Files and folders. Reasons are `system_reason` texts.

// How the system's own text files end their lines: "\r\n" on Windows,
// where lists written by earlier runs and by editors have them, else "\n".
std::string_view text_line_end();

// A regular file's bytes: all of it when it has at most `max_bytes` (else
// too_large), or with `head_only` its first `max_bytes`. Anything that is not
// a regular file is refused without waiting on it (a FIFO, a device).
file_read read_regular(const std::string& path, std::size_t max_bytes, bool head_only);

// `content` into a new temporary file beside `path` (its name carries the
// temporary marker), with the old file's permissions, then renamed over
// `path` in one step. Returns why not, with the temporary file gone.
std::optional<std::string> replace_atomically(const std::string& path, std::string_view content);

// The entry at `path`; nothing, with why, when there is none.
std::optional<dir_entry> look_up_entry(const std::string& path, std::string& problem);

// The entries of `dir` whose names match `name_pattern` (`matches_name_pattern`),
// in byte order of their names; the reason when the folder cannot be read.
search_result list_matching(const std::string& dir, std::string_view name_pattern,
                            entry_sizes sizes);

bool is_directory(const std::string& path);

// False only when nothing of that name is there.
bool exists(const std::string& path);

// Every entry's name in `dir` ("" is the working folder); none when it cannot be read.
std::vector<std::string> names_in(const std::string& dir);

// Made, or there already as a folder: no reason.
std::optional<std::string> make_directory(const std::string& path);

// Removed, or not there: no reason.
std::optional<std::string> remove_file(const std::string& path);

// An exclusive lock on the file `name`, created when missing and removed
// when released, so that runs waiting on it start over on a newer one.
class held_lock {
 public:
  virtual ~held_lock() = default;
};
std::unique_ptr<held_lock> hold_lock_file(const std::string& name, std::string& problem);

// --- Modules and programs.

// This program's own file, or an empty path when it cannot be told.
std::filesystem::path program_file();

// The symbol `entry_name` of the library `file`, loaded for the rest of the
// run and bound at once, so nothing is resolved lazily later (in a forked
// child, say); null with the loader's reason when it cannot be had, and
// `short_of_memory` set when that reason is a lack of memory or address space.
void* load_library_entry(const std::filesystem::path& file, const char* entry_name,
                         std::string& problem, bool& short_of_memory);

// --- The window system.

// A window can be opened: on X, DISPLAY names a display that answers.
bool can_open_display();

// Before the first window: the views are plain images, and the toolkit loads
// nothing they do not need (on X, Qt's OpenGL integration would load Mesa and
// its compiler, about 170 MiB of address space, and under a memory limit that
// load fails in ways Qt cannot report). A user's own setting stays.
void prepare_window_toolkit();

// --- The decoder helper's side of its process.

// The helper ends when its parent ends, even when it is killed; false when
// the parent is no longer `parent_id` ("" when unknown), so it has gone.
bool end_with_parent(const std::string& parent_id);

// Raw bytes of the channel from and to the parent (standard input and
// output): false at its end or on an error.
bool read_from_parent(void* data, std::size_t size);
bool write_to_parent(const void* data, std::size_t size);

// Bounds on what the next request may take beyond what is used so far: the
// parent's limits come first, these hold if the parent cannot act.
void limit_further_memory(std::size_t bytes);
void limit_further_cpu_seconds(unsigned seconds);

}  // namespace common::platform
