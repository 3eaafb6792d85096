#include "dicom/decoder_client.hpp"

#include "common/module_loader.hpp"
#include "common/platform.hpp"
#include "dicom/decoder_protocol.hpp"

namespace dicom {
namespace {

using transfer = common::child_process::transfer;

std::string why_not_found(const std::vector<std::filesystem::path>& dirs) {
  std::string text = "not found";
  for (std::size_t i = 0; i < dirs.size(); ++i)
    text += (i == 0 ? " in " : " nor in ") + dirs[i].string();
  return text;
}

std::string cannot_start(const std::string& why) {
  return "cannot start the decoder " + std::string(DICOM_HELPER_NAME) + ": " + why;
}

}  // namespace

helper_settings installed_helper() {
  helper_settings settings;
  const std::vector<std::filesystem::path> dirs = common::module_dirs(DICOM_HELPER_INSTALL_DIR);
  for (const auto& dir : dirs) {
    std::error_code error;
    if (std::filesystem::is_regular_file(dir / DICOM_HELPER_NAME, error)) {
      settings.program = dir / DICOM_HELPER_NAME;
      return settings;
    }
  }
  settings.missing = why_not_found(dirs);
  return settings;
}

helper_decoder::helper_decoder(helper_settings settings) : settings_(std::move(settings)) {}

std::optional<std::string> helper_decoder::ensure_started() {
  if (helper_.running()) return std::nullopt;
  if (settings_.program.empty()) return settings_.missing;
  // The helper ends itself when this process is gone, however it ends.
  return helper_.start(settings_.program, {common::platform::process_id()});
}

// A helper that failed is ended; the next file starts a fresh one.
compressed_frames helper_decoder::failed(std::string problem) {
  compressed_frames frames;
  frames.problem = std::move(problem);
  return frames;
}

compressed_frames helper_decoder::decode(std::span<const std::uint8_t> file_bytes) {
  const bool reused = helper_.running();
  if (auto problem = ensure_started()) return failed(cannot_start(*problem));
  const auto until = std::chrono::steady_clock::now() + settings_.time_base +
                     settings_.time_per_mib * static_cast<long>(file_bytes.size() >> 20);
  const auto request = protocol::request_header(file_bytes.size());
  std::array<std::uint8_t, protocol::response_header_size> reply{};
  transfer got = helper_.send(request, until);
  if (got == transfer::closed && reused) {
    // A kept helper that ended between files (its CPU allowance, say) never
    // saw this one: a fresh helper gets it.
    helper_.stop(true);
    if (auto problem = ensure_started()) return failed(cannot_start(*problem));
    got = helper_.send(request, until);
  }
  if (got == transfer::complete) got = helper_.send(file_bytes, until);
  if (got == transfer::complete) got = helper_.receive(reply, until);
  std::optional<protocol::response_header> header;
  compressed_frames frames;
  if (got == transfer::complete) {
    header = protocol::parse_response_header(reply);
    if (header) {
      frames.problem.resize(header->problem_size);
      frames.samples.resize(header->samples_size);
      got = helper_.receive(
          std::span(reinterpret_cast<std::uint8_t*>(frames.problem.data()), frames.problem.size()),
          until);
      if (got == transfer::complete) got = helper_.receive(frames.samples, until);
    }
  }
  if (got == transfer::timed_out) {
    helper_.stop(true);
    return failed("the decoder took too long on this pixel data");
  }
  if (got == transfer::closed) {
    const std::string ending = helper_.stop(true);
    return failed("the decoder failed on this pixel data (" + ending + ")");
  }
  if (!header) {
    helper_.stop(true);
    return failed("the decoder sent a garbled result");
  }
  frames.rows = header->rows;
  frames.columns = header->columns;
  frames.bits_allocated = header->bits_allocated;
  frames.samples_per_pixel = header->samples_per_pixel;
  frames.pixel_representation = header->pixel_representation;
  frames.frames = header->frames;
  return frames;
}

}  // namespace dicom
