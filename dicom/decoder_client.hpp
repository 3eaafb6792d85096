#pragma once

#include <chrono>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "common/child_process.hpp"
#include "dicom/pixel_decoder.hpp"

// Compressed pixel data decoded by a helper program, ctview-decoder, that
// links the DICOM library's codecs. They assert, loop or crash on some
// damaged files; in a process of their own a bad file costs its own slice,
// never the run. The helper is started on the first compressed file and kept
// for the rest, so a series pays its start once.
namespace dicom {

struct helper_settings {
  std::filesystem::path program;  // the helper; empty: not found (`missing` says where looked)
  std::string missing;
  // A decode that takes longer than this is stuck (the codecs loop on some
  // damaged JPEG streams); a 512 x 512 slice takes milliseconds.
  std::chrono::milliseconds time_base{20000};
  std::chrono::milliseconds time_per_mib{2000};
};

// The installed helper beside the program (lib/ctview/ from bin/), or the
// build tree's lib/.
helper_settings installed_helper();

// One helper process; not for use from several threads at once, so each
// worker has its own.
class helper_decoder final : public pixel_decoder {
 public:
  explicit helper_decoder(helper_settings settings = installed_helper());
  compressed_frames decode(std::span<const std::uint8_t> file_bytes) override;
  // The running helper's process id, or -1.
  long helper_pid() const { return helper_.pid(); }

 private:
  std::optional<std::string> ensure_started();
  compressed_frames failed(std::string problem);
  helper_settings settings_;
  common::child_process helper_;
};

}  // namespace dicom
