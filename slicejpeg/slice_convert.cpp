#include "slicejpeg/slice_convert.hpp"

#include <algorithm>
#include <cstdio>
#include <new>

#include "common/jpeg_writer.hpp"
#include "common/slice_geometry.hpp"
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

slice_outcome convert_decoded(const slice_job& job, const decoded_slice& slice,
                              const std::vector<std::string>& names, const conversion_plan& plan,
                              window_lut_cache& luts) {
  if (plan.survey) return survey_frames(slice, names);
  return encode_frames(job, slice, names, plan, luts);
}

// The names of a slice's frames, or why it has none.
std::optional<std::string> frame_names(const slice_job& job, const decoded_slice& slice,
                                       std::vector<std::string>& names) {
  if (job.output_names.size() != slice.frames && slice.frames > 1)
    return text::several_frames_in_list(slice.frames);
  if (job.output_names.empty()) return std::string(text::no_slice_number);
  names = job.output_names;
  return std::nullopt;
}

slice_facts facts_of(const slice_job& job, const decoded_slice& slice, std::size_t frame) {
  const dicom::frame_facts facts = slice.attributes.frame(frame);
  std::string file = job.path;
  if (slice.frames > 1) file += " frame " + std::to_string(frame + 1);
  return {std::move(file), slice.attributes.series_uid, slice.attributes.instance_number,
          facts.position, facts.orientation};
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
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
  const auto problem = frame_names(job, slice, names);
  if (!problem && !plan.survey && slice.frames > 1) {
    // Encoded frame by frame as they are written, whatever their count.
    slice_outcome outcome;
    outcome.status = slice_status::converted;
    outcome.header = read.header;
    outcome.deferred = std::make_unique<deferred_frames>();
    outcome.deferred->names = std::move(names);
    outcome.deferred->read = std::move(read);
    return outcome;
  }
  slice_outcome outcome = problem ? refusal(slice_status::refused, *problem)
                                  : convert_decoded(job, slice, names, plan, luts);
  outcome.header = read.header;
  for (std::size_t i = 0; i < outcome.frames.size(); ++i)
    outcome.frames[i].facts = facts_of(job, slice, i);
  if (plan.survey && plan.keep_decoded && outcome.status == slice_status::converted &&
      owns_samples(slice))
    outcome.kept = std::move(read);
  return outcome;
}

std::size_t kept_bytes(const slice_read& read) {
  return read.slice.sample_storage.size();
}

slice_mapping mapping_for(const decoded_slice& slice, std::size_t frame,
                          const window_choice& choice) {
  const dicom::frame_facts facts = slice.attributes.frame(frame);
  voi_window window = choice.window;
  switch (choice.kind) {
    case window_kind::none:
      return {};
    case window_kind::file: {
      const auto own = file_window(facts.window_center, facts.window_width);
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
  mapping.rescale_slope = facts.rescale_slope.value_or(1.0);
  mapping.rescale_intercept = facts.rescale_intercept.value_or(0.0);
  mapping.signed_samples = slice.samples_signed;
  mapping.monochrome1 = slice.attributes.photometric == "MONOCHROME1";
  mapping.bits_stored = slice.attributes.bits_stored;
  mapping.padding = padding_of(slice.attributes);
  return {mapping, {}};
}

std::optional<std::array<std::int32_t, 2>> padding_of(const dicom::image_attributes& attributes) {
  if (!attributes.padding_value) return std::nullopt;
  const std::int32_t limit = attributes.padding_limit.value_or(*attributes.padding_value);
  return std::array<std::int32_t, 2>{std::min(*attributes.padding_value, limit),
                                     std::max(*attributes.padding_value, limit)};
}

slice_outcome survey_frames(const decoded_slice& slice, const std::vector<std::string>& names) {
  slice_outcome outcome;
  const auto padding = padding_of(slice.attributes);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const dicom::frame_facts facts = slice.attributes.frame(i);
    converted_frame frame;
    frame.output_name = names[i];
    frame.range = stored_extremes(slice.frame(i), slice.frame_samples(), slice.samples_signed);
    const bool plain = !padding && slice.attributes.bits_stored >= 16;
    const auto windowed =
        plain ? std::optional<image_range>(frame.range)
              : windowed_extremes(slice.frame(i), slice.frame_samples(), slice.samples_signed,
                                  slice.attributes.bits_stored, padding);
    if (windowed)
      outcome.modality.include(modality_extremes(windowed->min, windowed->max,
                                                 facts.rescale_slope.value_or(1.0),
                                                 facts.rescale_intercept.value_or(0.0)));
    outcome.frames.push_back(std::move(frame));
  }
  outcome.status = slice_status::converted;
  return outcome;
}

std::string geometry_text(const decoded_slice& slice, std::size_t frame,
                          const conversion_plan& plan, const window_mapping* mapping) {
  const dicom::frame_facts facts = slice.attributes.frame(frame);
  if (!facts.pixel_spacing && !(facts.position && facts.orientation)) return {};
  common::slice_geometry geometry;
  geometry.pixel_spacing = facts.pixel_spacing;
  geometry.slice_spacing = plan.slice_spacing;
  geometry.orientation = facts.orientation;
  geometry.position = facts.position;
  geometry.series = slice.attributes.series_uid;
  geometry.mapping = mapping ? "window " + number_text(mapping->window.centre) + " " +
                                   number_text(mapping->window.width)
                             : "sample minus slice minimum, modulo 256";
  return common::geometry_comment(geometry);
}

frame_result encode_frame(const slice_job& job, const decoded_slice& slice, std::size_t index,
                          const std::string& name, const conversion_plan& plan,
                          window_lut_cache& luts, std::vector<std::uint8_t>& image) {
  frame_result result;
  const slice_mapping chosen = mapping_for(slice, index, plan.window);
  if (!chosen.problem.empty()) {
    result.refusal = chosen.problem;
    return result;
  }
  const window_mapping* mapping = chosen.mapping ? &*chosen.mapping : nullptr;
  image.resize(slice.frame_samples());
  const common::pixel_view view{image, slice.columns, slice.rows, 1,
                                static_cast<std::size_t>(slice.columns)};
  converted_frame& frame = result.frame;
  frame.output_name = name;
  frame.facts = facts_of(job, slice, index);
  frame.range = mapping ? window_samples(slice.frame(index), slice.samples_signed,
                                         luts.lut_for(*mapping), image)
                        : convert_samples(slice.frame(index), slice.samples_signed, image);
  if (!common::encode_jpeg(view, frame.jpeg, geometry_text(slice, index, plan, mapping))) {
    frame.jpeg.clear();
    frame.problem = text::cannot_encode;
  }
  return result;
}

slice_outcome encode_frames(const slice_job& job, const decoded_slice& slice,
                            const std::vector<std::string>& names, const conversion_plan& plan,
                            window_lut_cache& luts) {
  slice_outcome outcome;
  try {
    std::vector<std::uint8_t> image;
    for (std::size_t i = 0; i < names.size(); ++i) {
      frame_result result = encode_frame(job, slice, i, names[i], plan, luts, image);
      if (!result.refusal.empty()) return refusal(slice_status::refused, result.refusal);
      outcome.frames.push_back(std::move(result.frame));
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
    common::file_read file = files.read(job.path, dicom::max_slice_file_bytes);
    switch (file.what) {
      case common::file_read::status::ok:
        break;
      case common::file_read::status::cannot_open:
        return refusal(slice_status::cannot_open, file.reason);
      default:
        return refusal(slice_status::refused, file.reason);
    }
    slice_outcome outcome =
        convert_read_slice(job, dicom::read_slice(file.bytes, *tools.decoder), plan, tools.luts);
    // The deferred samples may point into the file's bytes: they go along
    // (a moved vector keeps its storage).
    if (outcome.deferred) outcome.deferred->file_bytes = std::move(file.bytes);
    return outcome;
  } catch (const std::bad_alloc&) {
    return refusal(slice_status::no_memory, std::string(text::out_of_memory));
  } catch (const std::exception& error) {
    return refusal(slice_status::refused, text::internal_error(error.what()));
  } catch (...) {
    return refusal(slice_status::refused, text::internal_error(text::unknown_error));
  }
}

}  // namespace slicejpeg
