#pragma once

// How a program's heap and threads use memory, set once at the start of
// `main`, before any thread exists.
namespace common {

// Freed buffers stay in the heap for the next slice instead of going back to
// the system: a batch of slices allocates the same few sizes again and again.
void keep_freed_memory_for_reuse();

// One heap for every thread and small thread stacks. Under an address-space
// limit, the threads the window toolkit starts late would otherwise each
// reserve a heap of their own (64 MiB) and a stack of 8 MiB; when that fails
// the toolkit waits for ever or aborts instead of reporting it.
void use_little_address_space_per_thread();

}  // namespace common
