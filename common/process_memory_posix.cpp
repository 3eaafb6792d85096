#include <malloc.h>
#include <pthread.h>

#include <cstddef>

#include "common/process_memory.hpp"

namespace common {

void keep_freed_memory_for_reuse() {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
}

void use_little_address_space_per_thread() {
  mallopt(M_ARENA_MAX, 1);
  // Ample for the decoders and the toolkit: nothing here recurses deeply.
  constexpr std::size_t thread_stack_bytes = std::size_t{2} << 20;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return;
  if (pthread_attr_setstacksize(&attributes, thread_stack_bytes) == 0)
    pthread_setattr_default_np(&attributes);
  pthread_attr_destroy(&attributes);
}

}  // namespace common
