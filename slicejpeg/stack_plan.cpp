#include "slicejpeg/stack_plan.hpp"

#include <algorithm>
#include <unordered_map>

#include "common/path_text.hpp"
#include "slicejpeg/max_file.hpp"
#include "slicejpeg/slice_naming.hpp"

namespace slicejpeg {
namespace {

using dicom::order_rule;
using dicom::stack_image;

std::size_t frames_of(const listed_file& file) {
  return file.description ? file.description->frames : 1;
}

// The names the files' own names give: one per file, or one per frame for
// the only file of a list; none for a name without a slice number.
std::vector<std::vector<std::string>> names_from_files(const std::vector<const listed_file*>& files,
                                                       const std::string& out_dir,
                                                       const std::string& prefix) {
  std::vector<std::vector<std::string>> names(files.size());
  if (files.size() == 1 && frames_of(*files.front()) > 1) {
    const std::size_t frames = frames_of(*files.front());
    const std::size_t width = std::to_string(frames).size();
    for (std::size_t i = 1; i <= frames; ++i)
      names[0].push_back(output_name(out_dir, prefix, padded_number(std::to_string(i), width)));
    return names;
  }
  std::vector<std::optional<std::string>> numbers;
  for (const auto* file : files) numbers.push_back(slice_number(file->path));
  const std::size_t width = number_width(numbers);
  for (std::size_t i = 0; i < files.size(); ++i)
    if (numbers[i]) names[i] = {output_name(out_dir, prefix, padded_number(*numbers[i], width))};
  return names;
}

// Every frame of the described files, a file listed twice only once.
std::vector<stack_image> images_of(const std::vector<const listed_file*>& files,
                                   std::vector<std::size_t>& first_listing) {
  std::vector<stack_image> images;
  std::unordered_map<std::string, std::size_t> seen;
  for (std::size_t i = 0; i < files.size(); ++i) {
    first_listing.push_back(seen.emplace(files[i]->path, i).first->second);
    if (first_listing.back() != i || !files[i]->description) continue;
    const dicom::slice_description& description = *files[i]->description;
    for (std::size_t frame = 0; frame < description.frames; ++frame) {
      const dicom::frame_facts facts = description.attributes.frame(frame);
      images.push_back(
          {i, frame, facts.position, facts.orientation, description.attributes.instance_number});
    }
  }
  return images;
}

// Whether the names the files give put the images in `order`: then they stay.
bool names_follow(const std::vector<stack_image>& images,
                  const std::vector<std::vector<std::string>>& names,
                  const std::vector<std::size_t>& ranked) {
  std::vector<const std::string*> image_names;
  for (const auto& image : images) {
    const auto& file_names = names[image.file];
    if (file_names.empty() || (file_names.size() == 1 && image.frame > 0)) return false;
    image_names.push_back(&file_names[std::min(image.frame, file_names.size() - 1)]);
  }
  for (std::size_t i = 1; i < ranked.size(); ++i)
    if (!(*image_names[ranked[i - 1]] < *image_names[ranked[i]])) return false;
  return true;
}

std::string rank_name(const std::string& out_dir, const std::string& prefix, std::size_t rank,
                      std::size_t count) {
  const std::size_t width = std::max<std::size_t>(3, std::to_string(count).size());
  return output_name(out_dir, prefix, padded_number(std::to_string(rank), width));
}

// Modalities whose values are not Hounsfield units, for the presets' warning.
std::vector<std::string> non_hounsfield(const std::vector<const listed_file*>& files) {
  std::vector<std::string> found;
  for (const auto* file : files) {
    if (!file->description) continue;
    const auto& attributes = file->description->attributes;
    std::string what;
    if (attributes.modality != "CT")
      what = attributes.modality.empty() ? "no modality" : attributes.modality;
    else if (!attributes.frame(0).rescale_intercept)
      what = "CT without a rescale";
    if (!what.empty() && std::find(found.begin(), found.end(), what) == found.end())
      found.push_back(what);
  }
  return found;
}

struct run_place {
  std::string out_dir, name_prefix, max_name, series_key;
  bool always_ranked = false;
};

stack_run make_run(const std::vector<const listed_file*>& files, const run_place& place,
                   order_rule rule) {
  stack_run run;
  run.series_key = place.series_key;
  run.out_dir = place.out_dir;
  run.max_name = place.max_name;
  run.modalities_without_hounsfield = non_hounsfield(files);
  const auto names = names_from_files(files, place.out_dir, place.name_prefix);
  std::vector<std::size_t> first_listing;
  const auto images = images_of(files, first_listing);
  const dicom::stack_order order = dicom::order_stack(images, rule);
  run.images = images.size();
  run.order = order.used;
  run.normal = order.normal;
  run.slice_spacing = dicom::slice_spacing(images, order);
  if (order.lacking) run.lacking = files[images[*order.lacking].file]->path;
  run.ranked = place.always_ranked ||
               (order.used != order_rule::name && !names_follow(images, names, order.ranked));
  for (std::size_t i = 0; i < files.size(); ++i) {
    slice_job job;
    job.listed = files[i]->listed;
    job.path = files[i]->path;
    if (!run.ranked)
      job.output_names = names[i];
    else if (files[i]->description)
      job.output_names.resize(files[i]->description->frames);
    run.jobs.push_back(std::move(job));
  }
  if (run.ranked && !images.empty()) {
    run.first_name = rank_name(place.out_dir, place.name_prefix, 1, images.size());
    for (std::size_t rank = 0; rank < order.ranked.size(); ++rank) {
      const stack_image& image = images[order.ranked[rank]];
      run.jobs[image.file].output_names[image.frame] =
          rank_name(place.out_dir, place.name_prefix, rank + 1, images.size());
    }
  }
  // A file listed twice writes what its first listing writes.
  for (std::size_t i = 0; i < files.size(); ++i)
    if (first_listing[i] != i) run.jobs[i].output_names = run.jobs[first_listing[i]].output_names;
  return run;
}

}  // namespace

batch_plan plan_batch(const std::vector<listed_file>& files, const std::string& prefix,
                      order_rule order, const series_choice& series) {
  batch_plan plan;
  if (files.empty()) return plan;
  const std::string out_dir = output_directory(files.front().path);
  std::vector<dicom::listed_image_file> described;
  // A file without a series UID belongs to none: it does not make a second
  // series, and goes with the whole list.
  for (std::size_t i = 0; i < files.size(); ++i)
    if (files[i].description && !files[i].description->attributes.series_uid.empty())
      described.push_back({i, files[i].description->frames, &files[i].description->attributes});
  plan.series = dicom::group_series(described);
  plan.series_keys = dicom::series_keys(plan.series);

  if (!series.given) {
    if (plan.series.size() > 1) {
      plan.refused = true;
      return plan;
    }
    std::vector<const listed_file*> all;
    for (const auto& file : files) all.push_back(&file);
    plan.runs.push_back(make_run(all, {out_dir, prefix, max_file_name(prefix), {}, false}, order));
    return plan;
  }
  const std::string name_stem(common::file_name_part(prefix));
  for (std::size_t s = 0; s < plan.series.size(); ++s) {
    const std::string& key = plan.series_keys[s];
    if (!series.all && key != series.key) continue;
    std::vector<const listed_file*> members;
    for (std::size_t file : plan.series[s].files) members.push_back(&files[file]);
    const std::string label = "_s" + key;
    const std::string folder =
        out_dir.empty() ? name_stem + label : out_dir + "/" + name_stem + label;
    plan.runs.push_back(make_run(
        members, {folder, name_stem + label, max_file_name(prefix + label), key, true}, order));
  }
  if (plan.runs.empty()) {
    plan.refused = true;
    return plan;
  }
  for (const auto& file : files)
    if (!file.description || file.description->attributes.series_uid.empty())
      plan.left_out.push_back(file.path);
  return plan;
}

}  // namespace slicejpeg
