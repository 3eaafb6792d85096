#include "triview/dicom_volume.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <thread>

#include "common/file_read.hpp"
#include "common/path_text.hpp"
#include "dicom/stack_order.hpp"
#include "triview/messages.hpp"

namespace triview {
namespace {

namespace text = messages;

struct listed_header {
  std::string listed;
  std::string path;
  std::optional<dicom::slice_description> description;
};

std::optional<dicom::slice_description> header_of(const std::string& path) {
  return dicom::describe_file([&](std::size_t head_bytes) {
    return head_bytes == 0 ? common::read_regular_file(path, dicom::max_slice_file_bytes)
                           : common::read_regular_file_head(path, head_bytes);
  });
}

// What a listed file is that the volume cannot take.
std::string what_it_is(const std::string& path) {
  const common::file_read head = common::read_regular_file_head(path, 132);
  if (!head) return std::string(text::cannot_open_file) + ": " + head.reason;
  const auto& b = head.bytes;
  if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF)
    return text::jpeg_in_dicom_list;
  if (b.size() >= 8 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G')
    return text::png_in_dicom_list;
  if (b.size() >= 2 && b[0] == 'B' && b[1] == 'M') return text::bmp_in_dicom_list;
  return text::not_a_dicom_image;
}

// The images of the chosen files in anatomical order: (file, frame) by rank.
struct ranked_images {
  std::vector<dicom::stack_image> images;
  dicom::stack_order order;
};

ranked_images rank(const std::vector<listed_header>& files,
                   const std::vector<std::size_t>& chosen) {
  ranked_images ranked;
  for (std::size_t file : chosen) {
    const auto& description = *files[file].description;
    for (std::size_t frame = 0; frame < description.frames; ++frame) {
      const auto facts = description.attributes.frame(frame);
      ranked.images.push_back(
          {file, frame, facts.position, facts.orientation, description.attributes.instance_number});
    }
  }
  ranked.order = dicom::order_stack(ranked.images, dicom::order_rule::automatic);
  return ranked;
}

// The files of the one series to show, or the lines that refuse the list.
std::optional<std::vector<std::size_t>> choose_series(const std::vector<listed_header>& files,
                                                      const dicom_load_options& options,
                                                      std::vector<load_line>& refusal) {
  const std::optional<std::string>& wanted = options.series;
  std::vector<dicom::listed_image_file> described;
  std::vector<std::size_t> without_series;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto& description = *files[i].description;
    if (description.attributes.series_uid.empty())
      without_series.push_back(i);
    else
      described.push_back({i, description.frames, &description.attributes});
  }
  const auto groups = dicom::group_series(described);
  const auto keys = dicom::series_keys(groups);
  if (!wanted && groups.size() <= 1) {
    std::vector<std::size_t> all(files.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    return all;
  }
  for (std::size_t g = 0; g < groups.size(); ++g)
    if (wanted && (keys[g] == *wanted || *wanted == "all")) return groups[g].files;
  refusal.push_back(
      {"", wanted ? text::no_such_series(*wanted) : text::several_series(groups.size())});
  for (std::size_t g = 0; g < groups.size(); ++g)
    refusal.push_back({"", text::series_line(groups[g], keys[g])});
  if (!groups.empty())
    refusal.push_back({"", text::series_next_command(keys.front(), options.list_name)});
  return std::nullopt;
}

// Where each image's samples go: one block, slot after slot in rank order.
struct volume_block {
  std::shared_ptr<std::uint16_t[]> samples;
  std::size_t slot_samples = 0;
  std::uint16_t* slot(std::size_t rank) const { return samples.get() + rank * slot_samples; }
};

struct slot_facts {
  double slope = 1.0, intercept = 0.0;
  dicom::modality_range range;  // of its samples without padding, when asked for
};

// A stored sample as the value the window sees: masked to Bits Stored, its
// sign taken from the top stored bit when signed.
struct sample_reader {
  std::uint32_t mask, sign;
  bool is_signed;
  explicit sample_reader(int bits_stored, bool samples_signed)
      : mask((1u << std::clamp(bits_stored, 1, 16)) - 1),
        sign(1u << (std::clamp(bits_stored, 1, 16) - 1)),
        is_signed(samples_signed) {}
  explicit sample_reader(const dicom::window_mapping& m)
      : sample_reader(m.bits_stored, m.signed_samples) {}
  std::int32_t operator()(std::uint16_t stored) const {
    const std::uint32_t pattern = stored & mask;
    return static_cast<std::int32_t>(pattern) -
           (is_signed && (pattern & sign) ? static_cast<std::int32_t>(mask) + 1 : 0);
  }
};

// The modality values of one slot's samples, padding left out.
// Plain 16-bit samples need no masking: min and max of the values alone,
// a loop the compiler turns into vector instructions.
template <class Sample>
std::pair<std::int32_t, std::int32_t> plain_extremes(const std::uint16_t* samples,
                                                     std::size_t count) {
  Sample low = std::numeric_limits<Sample>::max(), high = std::numeric_limits<Sample>::min();
  for (std::size_t i = 0; i < count; ++i) {
    const auto v = static_cast<Sample>(samples[i]);
    low = v < low ? v : low;
    high = v > high ? v : high;
  }
  return {low, high};
}

dicom::modality_range slot_range(const std::uint16_t* samples, std::size_t count,
                                 const dicom::window_mapping& mapping, const slot_facts& facts) {
  if (!mapping.padding && mapping.bits_stored >= 16 && count > 0) {
    const auto [low, high] = mapping.signed_samples ? plain_extremes<std::int16_t>(samples, count)
                                                    : plain_extremes<std::uint16_t>(samples, count);
    return dicom::modality_extremes(low, high, facts.slope, facts.intercept);
  }
  const sample_reader value_of(mapping);
  std::int32_t low = std::numeric_limits<std::int32_t>::max();
  std::int32_t high = std::numeric_limits<std::int32_t>::min();
  for (std::size_t i = 0; i < count; ++i) {
    const std::int32_t v = value_of(samples[i]);
    if (mapping.padding && v >= (*mapping.padding)[0] && v <= (*mapping.padding)[1]) continue;
    low = std::min(low, v);
    high = std::max(high, v);
  }
  if (low > high) return {};
  return dicom::modality_extremes(low, high, facts.slope, facts.intercept);
}

// What the loading threads share: where samples go, and whether they also
// measure the range of values (for a series window).
struct fill_plan {
  const dicom::window_mapping* mapping = nullptr;  // how to read samples for the range
  bool measure = false;
};

// Reads and decodes the chosen files on `threads` threads into their slots.
// The first failure in list order wins.
std::optional<load_line> fill_slots(const std::vector<listed_header>& files,
                                    const std::vector<std::vector<std::size_t>>& rank_of,
                                    const std::vector<std::size_t>& chosen,
                                    const volume_block& block, std::vector<slot_facts>& facts,
                                    const fill_plan& plan, const dicom_load_options& options) {
  std::atomic<std::size_t> next{0}, done{0};
  std::mutex failure_lock;
  std::optional<std::pair<std::size_t, load_line>> failure;
  const auto fail = [&](std::size_t index, load_line line) {
    const std::lock_guard lock(failure_lock);
    if (!failure || index < failure->first) failure = {index, std::move(line)};
  };
  const auto work = [&] {
    auto decoder = options.make_decoder();
    for (std::size_t index; (index = next++) < chosen.size();) {
      const listed_header& file = files[chosen[index]];
      try {
        const common::file_read bytes =
            common::read_regular_file(file.path, dicom::max_slice_file_bytes);
        if (!bytes) {
          fail(index, {file.listed, std::string(text::cannot_open_file) + ": " + bytes.reason});
          continue;
        }
        const dicom::slice_read read = dicom::read_slice(bytes.bytes, *decoder);
        const auto& slots = rank_of[chosen[index]];
        if (read.verdict != dicom::read_verdict::decoded || read.slice.frames != slots.size()) {
          fail(index, {file.listed, text::cannot_decode_dicom(read.problem.text)});
          continue;
        }
        for (std::size_t frame = 0; frame < slots.size(); ++frame) {
          std::memcpy(block.slot(slots[frame]), read.slice.frame(frame).data(),
                      2 * block.slot_samples);
          const auto frame_facts = read.slice.attributes.frame(frame);
          slot_facts& slot = facts[slots[frame]];
          slot.slope = frame_facts.rescale_slope.value_or(1.0);
          slot.intercept = frame_facts.rescale_intercept.value_or(0.0);
          if (plan.measure)
            slot.range =
                slot_range(block.slot(slots[frame]), block.slot_samples, *plan.mapping, slot);
        }
      } catch (const std::bad_alloc&) {
        fail(index, {file.listed, text::out_of_memory});
      }
      ++done;
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < std::max(1u, options.threads); ++t) threads.emplace_back(work);
  work();
  for (auto& thread : threads) thread.join();
  if (options.progress) options.progress(done);
  if (failure) return failure->second;
  return std::nullopt;
}

// Slices of different rescales cannot share one table: each becomes its
// modality values, rounded, in signed 16 bits; padding the lowest value.
void to_modality_values(const volume_block& block, const std::vector<slot_facts>& facts,
                        dicom::window_mapping& mapping) {
  const sample_reader value_of(mapping);
  constexpr std::int32_t lowest = std::numeric_limits<std::int16_t>::min();
  for (std::size_t rank = 0; rank < facts.size(); ++rank) {
    std::uint16_t* samples = block.slot(rank);
    for (std::size_t i = 0; i < block.slot_samples; ++i) {
      const std::int32_t stored = value_of(samples[i]);
      const bool padding =
          mapping.padding && stored >= (*mapping.padding)[0] && stored <= (*mapping.padding)[1];
      const double modality = stored * facts[rank].slope + facts[rank].intercept;
      const auto value =
          padding
              ? lowest
              : static_cast<std::int32_t>(std::clamp(std::round(modality), lowest + 1.0, 32767.0));
      samples[i] = static_cast<std::uint16_t>(value);
    }
  }
  mapping.rescale_slope = 1.0;
  mapping.rescale_intercept = 0.0;
  mapping.signed_samples = true;
  mapping.bits_stored = 16;
  if (mapping.padding) mapping.padding = std::array<std::int32_t, 2>{lowest, lowest};
}

std::optional<std::array<std::int32_t, 2>> padding_of(const dicom::image_attributes& a) {
  if (!a.padding_value) return std::nullopt;
  const std::int32_t limit = a.padding_limit.value_or(*a.padding_value);
  return std::array<std::int32_t, 2>{std::min(*a.padding_value, limit),
                                     std::max(*a.padding_value, limit)};
}

// The window first shown: as asked, else the first image's own, else the
// series range.
// The window kind shown first: as asked, else the files' own where the
// first image carries one, else the series range.
dicom::window_kind first_window_kind(const dicom_load_options& options,
                                     const dicom::frame_facts& first) {
  if (options.window.kind != dicom::window_kind::none) return options.window.kind;
  return first.window_center && first.window_width ? dicom::window_kind::file
                                                   : dicom::window_kind::series;
}

std::optional<std::string> choose_window(const dicom_load_options& options,
                                         const dicom::frame_facts& first,
                                         const std::vector<slot_facts>& facts,
                                         dicom_volume& volume) {
  for (const auto& slot : facts) volume.range.include(slot.range);
  dicom::window_choice choice = options.window;
  choice.kind = first_window_kind(options, first);
  switch (choice.kind) {
    case dicom::window_kind::file: {
      const auto own = dicom::file_window(first.window_center, first.window_width);
      if (!own.window) return own.problem;
      volume.mapping.window = *own.window;
      break;
    }
    case dicom::window_kind::series:
      volume.mapping.window =
          volume.range.empty ? dicom::voi_window{} : dicom::series_window(volume.range);
      break;
    default:
      volume.mapping.window = choice.window;
  }
  return std::nullopt;
}

}  // namespace

std::optional<double> stack_geometry::z_scale() const {
  if (!pixel_spacing || !slice_spacing || (*pixel_spacing)[1] <= 0 || *slice_spacing <= 0)
    return std::nullopt;
  return *slice_spacing / (*pixel_spacing)[1];
}

bool looks_like_dicom(std::span<const std::uint8_t> head, bool whole) {
  if (head.size() >= 132 && std::memcmp(head.data() + 128, "DICM", 4) == 0) return true;
  return dicom::describe_slice(head, whole).what == dicom::slice_description::status::described;
}

std::shared_ptr<const display_tables> display_of(const dicom::window_mapping& mapping) {
  auto lut = std::make_unique<dicom::window_lut>();
  dicom::build_window_lut(mapping, *lut);
  return std::make_shared<const display_tables>(make_display_tables(*lut));
}

// The headers of every listed file, read on the loading threads; the first
// file that is no DICOM image, in list order, when there is one.
std::optional<std::size_t> read_headers(const std::vector<std::string>& paths, unsigned threads,
                                        std::vector<listed_header>& files) {
  for (const auto& listed : paths) files.push_back({listed, common::to_native_path(listed), {}});
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i; (i = next++) < files.size();) {
      try {
        files[i].description = header_of(files[i].path);
      } catch (const std::exception&) {
        files[i].description.reset();  // said below as a file that is no DICOM image
      }
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads && t < files.size(); ++t) helpers.emplace_back(work);
  work();
  for (auto& helper : helpers) helper.join();
  for (std::size_t i = 0; i < files.size(); ++i)
    if (!files[i].description) return i;
  return std::nullopt;
}

dicom_load_result load_dicom_volume(const std::vector<std::string>& paths,
                                    const dicom_load_options& options) {
  dicom_load_result result;
  std::vector<listed_header> files;
  if (const auto bad = read_headers(paths, std::max(1u, options.threads), files)) {
    result.refusal.push_back({files[*bad].listed, what_it_is(files[*bad].path)});
    return result;
  }
  const auto chosen = choose_series(files, options, result.refusal);
  if (!chosen) return result;
  const ranked_images ranked = rank(files, *chosen);
  const auto& first_image = ranked.images[ranked.order.ranked.front()];
  const auto& first = *files[first_image.file].description;
  std::vector<std::vector<std::size_t>> rank_of(files.size());
  for (std::size_t file : *chosen) rank_of[file].resize(files[file].description->frames);
  for (std::size_t r = 0; r < ranked.order.ranked.size(); ++r) {
    const auto& image = ranked.images[ranked.order.ranked[r]];
    const auto& description = *files[image.file].description;
    if (description.rows != first.rows || description.columns != first.columns) {
      result.refusal.push_back(
          {files[image.file].listed, text::dicom_size_differs(description.columns, description.rows,
                                                              first.columns, first.rows)});
      return result;
    }
    rank_of[image.file][image.frame] = r;
  }

  volume_block block;
  block.slot_samples =
      static_cast<std::size_t>(first.rows) * static_cast<std::size_t>(first.columns);
  const std::size_t count = ranked.images.size();
  block.samples.reset(new (std::nothrow) std::uint16_t[block.slot_samples * count]);
  if (!block.samples) {
    result.refusal.push_back({"", text::dicom_needs_memory(count, first.columns, first.rows)});
    return result;
  }
  dicom_volume volume;
  const dicom::image_attributes& attributes = first.attributes;
  const dicom::frame_facts first_facts = attributes.frame(first_image.frame);
  volume.mapping.signed_samples = attributes.samples_signed;
  volume.mapping.bits_stored = attributes.bits_stored;
  volume.mapping.monochrome1 = attributes.photometric == "MONOCHROME1";
  volume.mapping.padding = padding_of(attributes);
  // The range of values costs a pass over every sample: only a series window needs it.
  const fill_plan plan{&volume.mapping,
                       first_window_kind(options, first_facts) == dicom::window_kind::series};
  std::vector<slot_facts> facts(count);
  if (auto failure = fill_slots(files, rank_of, *chosen, block, facts, plan, options)) {
    result.refusal.push_back(*failure);
    return result;
  }
  volume.mapping.rescale_slope = facts.front().slope;
  volume.mapping.rescale_intercept = facts.front().intercept;
  const bool one_rescale = std::all_of(facts.begin(), facts.end(), [&](const slot_facts& f) {
    return f.slope == facts.front().slope && f.intercept == facts.front().intercept;
  });
  volume.value_span =
      (1 << std::clamp(volume.mapping.bits_stored, 1, 16)) * std::abs(volume.mapping.rescale_slope);
  if (!one_rescale) to_modality_values(block, facts, volume.mapping);
  if (auto problem = choose_window(options, first_facts, facts, volume)) {
    result.refusal.push_back({files[chosen->front()].listed, *problem});
    return result;
  }
  if (!volume.range.empty) volume.value_span = std::max(1.0, volume.range.max - volume.range.min);
  volume.geometry = {first_facts.pixel_spacing, dicom::slice_spacing(ranked.images, ranked.order),
                     first_facts.orientation};

  slice_stack& stack = volume.stack;
  stack.width = first.columns;
  stack.height = first.rows;
  stack.channels = 1;
  for (std::size_t r = 0; r < count; ++r)
    stack.slices.emplace_back(first.rows, first.columns, CV_16UC1, block.slot(r));
  stack.storage = block.samples;
  stack.display = display_of(volume.mapping);
  result.volume = std::move(volume);
  return result;
}

}  // namespace triview
