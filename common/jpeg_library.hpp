#pragma once

// What the JPEG reader and writer share of the JPEG library: errors that
// jump back instead of ending the process, and no text on the console.
// jpeglib.h wants FILE declared first.
#include <cstdio>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <csetjmp>

namespace common::jpeg_detail {

// The library's own error handler ends the process; this one jumps back to
// the call that started the work. Everything between setjmp and the jump is
// the library's C code or functions without destructors.
struct error_state {
  jpeg_error_mgr manager;  // first, so the library's pointer to it leads here
  std::jmp_buf jump;
  bool ended_early = false;  // the data ran out and the library went on with grey
};

inline error_state& errors_of(j_common_ptr info) {
  return *reinterpret_cast<error_state*>(info->err);
}

[[noreturn]] inline void jump_on_error(j_common_ptr info) {
  std::longjmp(errors_of(info).jump, 1);
}

// A warning means the library patched over bad data. An early end is what
// imread shows too (the rest grey), so it is decoded and noted; once it has
// happened the library warns about the markers it then meets. Any other
// warning leaves the file to the general reader.
inline void jump_on_warning(j_common_ptr info, int level) {
  if (level >= 0) return;
  error_state& errors = errors_of(info);
  if (info->err->msg_code == JWRN_JPEG_EOF) errors.ended_early = true;
  if (!errors.ended_early) std::longjmp(errors.jump, 1);
}

inline void print_nothing(j_common_ptr) {}

inline jpeg_error_mgr* install_errors(error_state& errors, bool warnings_fail) {
  jpeg_std_error(&errors.manager);
  errors.manager.error_exit = jump_on_error;
  errors.manager.output_message = print_nothing;
  if (warnings_fail) errors.manager.emit_message = jump_on_warning;
  return &errors.manager;
}

}  // namespace common::jpeg_detail
