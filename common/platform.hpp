#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// --- Files and folders. Reasons are `system_reason` texts.

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
