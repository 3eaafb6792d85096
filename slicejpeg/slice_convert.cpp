#include "slicejpeg/slice_convert.hpp"

#include <new>

#include "common/jpeg_writer.hpp"
#include "dicom/decoder_client.hpp"
#include "slicejpeg/messages.hpp"
#include "slicejpeg/slice_naming.hpp"

namespace slicejpeg {
namespace {

slice_outcome refusal(slice_status status, std::string problem) {
  slice_outcome outcome;
  outcome.status = status;
  outcome.problem = std::move(problem);
  return outcome;
}

// prefix001.jpg ... for the frames of the list's only file.
std::vector<std::string> frame_names(const slice_job& job, std::size_t frames) {
  const std::size_t width = std::to_string(frames).size();
  std::vector<std::string> names;
  names.reserve(frames);
  for (std::size_t i = 1; i <= frames; ++i)
    names.push_back(output_name(job.out_dir, job.prefix, padded_number(std::to_string(i), width)));
  return names;
}

slice_outcome convert_decoded(const decoded_slice& slice, const std::vector<std::string>& names,
                              const conversion_plan& plan, window_lut_cache& luts) {
  if (plan.survey) return survey_frames(slice, names);
  const slice_mapping chosen = mapping_for(slice, plan.window);
  if (!chosen.problem.empty()) return refusal(slice_status::refused, chosen.problem);
  return encode_frames(slice, names, chosen.mapping ? &*chosen.mapping : nullptr, luts);
}

// Samples of their own, not a view of the file's bytes that are about to go.
bool owns_samples(const decoded_slice& slice) {
  return !slice.sample_storage.empty() && slice.samples.data() == slice.sample_storage.data();
}

}  // namespace

slice_outcome convert_read_slice(const slice_job& job, slice_read read, const conversion_plan& plan,
                                 window_lut_cache& luts) {
  if (read.verdict != read_verdict::decoded) {
    auto outcome = refusal(
        read.verdict == read_verdict::skipped ? slice_status::skipped : slice_status::refused,
        text::describe(read.problem));
    outcome.header = read.header;
    return outcome;
  }
  const decoded_slice& slice = read.slice;
  std::vector<std::string> names;
  std::optional<std::string> problem;
  if (slice.frames > 1 && job.only_file)
    names = frame_names(job, slice.frames);
  else if (slice.frames > 1)
    problem = text::several_frames_in_list(slice.frames);
  else if (!job.output_name)
    problem = text::no_slice_number;
  else
    names = {*job.output_name};
  slice_outcome outcome = problem ? refusal(slice_status::refused, *problem)
                                  : convert_decoded(slice, names, plan, luts);
  outcome.header = read.header;
  outcome.facts = {job.path, slice.series_uid, slice.instance_number, slice.position,
                   slice.orientation};
  if (plan.survey && plan.keep_decoded && outcome.status == slice_status::converted &&
      owns_samples(slice))
    outcome.kept = std::move(read);
  return outcome;
}

std::size_t kept_bytes(const slice_read& read) {
  return read.slice.sample_storage.size();
}

slice_mapping mapping_for(const decoded_slice& slice, const window_choice& choice) {
  voi_window window = choice.window;
  switch (choice.kind) {
    case window_kind::none:
      return {};
    case window_kind::file: {
      const auto own = file_window(slice.window_center, slice.window_width);
      if (!own.window) return {std::nullopt, own.problem};
      window = *own.window;
      break;
    }
    case window_kind::fixed:
    case window_kind::series:
      break;
  }
  window_mapping mapping;
  mapping.window = window;
  mapping.rescale_slope = slice.rescale_slope.value_or(1.0);
  mapping.rescale_intercept = slice.rescale_intercept.value_or(0.0);
  mapping.signed_samples = slice.samples_signed;
  mapping.monochrome1 = slice.photometric == "MONOCHROME1";
  return {mapping, {}};
}

slice_outcome survey_frames(const decoded_slice& slice, const std::vector<std::string>& names) {
  slice_outcome outcome;
  const double slope = slice.rescale_slope.value_or(1.0);
  const double intercept = slice.rescale_intercept.value_or(0.0);
  for (std::size_t i = 0; i < names.size(); ++i) {
    converted_frame frame;
    frame.output_name = names[i];
    frame.range = stored_extremes(slice.frame(i), slice.frame_samples(), slice.samples_signed);
    outcome.modality.include(modality_extremes(frame.range.min, frame.range.max, slope, intercept));
    outcome.frames.push_back(std::move(frame));
  }
  outcome.status = slice_status::converted;
  return outcome;
}

slice_outcome encode_frames(const decoded_slice& slice, const std::vector<std::string>& names,
                            const window_mapping* mapping, window_lut_cache& luts) {
  slice_outcome outcome;
  try {
    std::vector<std::uint8_t> image(slice.frame_samples());
    const common::pixel_view view{image, slice.columns, slice.rows, 1,
                                  static_cast<std::size_t>(slice.columns)};
    const window_lut* lut = mapping ? &luts.lut_for(*mapping) : nullptr;
    for (std::size_t i = 0; i < names.size(); ++i) {
      converted_frame frame;
      frame.output_name = names[i];
      frame.range = lut ? window_samples(slice.frame(i), slice.samples_signed, *lut, image)
                        : convert_samples(slice.frame(i), slice.samples_signed, image);
      if (!common::encode_jpeg(view, frame.jpeg)) {
        frame.jpeg.clear();
        frame.problem = text::cannot_encode;
      }
      outcome.frames.push_back(std::move(frame));
    }
    outcome.status = slice_status::converted;
  } catch (const std::bad_alloc&) {
    return refusal(slice_status::no_memory, std::string(text::out_of_memory));
  }
  return outcome;
}

std::unique_ptr<dicom::pixel_decoder> make_helper_decoder() {
  return std::make_unique<dicom::helper_decoder>();
}

slice_outcome convert_slice(const slice_job& job, const file_system& files,
                            const conversion_plan& plan, worker_tools& tools) {
  // Nothing may leave a worker thread: every failure becomes an outcome.
  try {
    const common::file_read file = files.read(job.path, dicom::max_slice_file_bytes);
    switch (file.what) {
      case common::file_read::status::ok:
        break;
      case common::file_read::status::cannot_open:
        return refusal(slice_status::cannot_open, file.reason);
      default:
        return refusal(slice_status::refused, file.reason);
    }
    return convert_read_slice(job, dicom::read_slice(file.bytes, *tools.decoder), plan, tools.luts);
  } catch (const std::bad_alloc&) {
    return refusal(slice_status::no_memory, std::string(text::out_of_memory));
  } catch (const std::exception& error) {
    return refusal(slice_status::refused, text::internal_error(error.what()));
  } catch (...) {
    return refusal(slice_status::refused, text::internal_error(text::unknown_error));
  }
}

}  // namespace slicejpeg
