#include "dicom/slice_reader.hpp"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "dicom/element_walk.hpp"
#include "dicom/transfer_syntax.hpp"

namespace dicom {
namespace {

constexpr std::size_t preamble_size = 128;
constexpr std::string_view implicit_little_uid = "1.2.840.10008.1.2";
constexpr std::string_view explicit_little_uid = "1.2.840.10008.1.2.1";
constexpr std::string_view explicit_big_uid = "1.2.840.10008.1.2.2";
constexpr std::string_view deflated_uid = "1.2.840.10008.1.2.1.99";

// "1.2.840.10008.1.2\0" => "1.2.840.10008.1.2"; " MONOCHROME2 " => "MONOCHROME2"
std::string_view trimmed_text(std::span<const std::uint8_t> value) {
  std::string_view text(reinterpret_cast<const char*>(value.data()), value.size());
  while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

// "1.5\2.5" => "1.5": the first of several values.
std::string_view first_value(std::string_view text) {
  text = text.substr(0, text.find('\\'));
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

template <class Number>
std::optional<Number> parse_number(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// "-125.0\-130.5\88" => {-125, -130.5, 88}
template <std::size_t count>
std::optional<std::array<double, count>> parse_numbers(std::string_view text) {
  std::array<double, count> values{};
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t cut = text.find('\\');
    const auto value = parse_number<double>(first_value(text.substr(0, cut)));
    if (!value) return std::nullopt;
    values[i] = *value;
    if (i + 1 < count) {
      if (cut == std::string_view::npos) return std::nullopt;
      text.remove_prefix(cut + 1);
    }
  }
  return values;
}

// The top-level elements the reader uses, as met before the pixel data.
struct attributes {
  std::optional<int> rows, columns, bits_allocated, bits_stored, samples_per_pixel,
      pixel_representation, padding_value, padding_limit;
  std::string_view frames, photometric, modality, series_uid, series_number, description, instance;
  std::string_view position, orientation, spacing, slope, intercept, center, width;
  // The values of the shared and per-frame functional group sequences.
  std::span<const std::uint8_t> shared_groups, per_frame_groups;
};

// The text of a frame element into its place in `facts`; other tags are left.
void read_frame_element(element_tag tag, std::string_view text, frame_facts& facts);

struct data_set_walk {
  walk_result walk;
  attributes found;
  element_encoding encoding;
};

data_set_walk walk_data_set(std::span<const std::uint8_t> bytes, element_encoding encoding) {
  data_set_walk result;
  result.encoding = encoding;
  attributes& a = result.found;
  const bool big = encoding.big_endian;
  const auto u16 = [big](std::span<const std::uint8_t> value) {
    if (!big || value.size() < 2) return value_as_u16(value);
    return value[1] + 256 * value[0];
  };
  result.walk = walk_elements(bytes, encoding, [&](element_tag tag, auto value) {
    if (tag.group == 0x0028) {
      switch (tag.element) {
        case 0x0002:
          a.samples_per_pixel = u16(value);
          break;
        case 0x0004:
          a.photometric = trimmed_text(value);
          break;
        case 0x0008:
          a.frames = trimmed_text(value);
          break;
        case 0x0010:
          a.rows = u16(value);
          break;
        case 0x0011:
          a.columns = u16(value);
          break;
        case 0x0030:
          a.spacing = trimmed_text(value);
          break;
        case 0x0100:
          a.bits_allocated = u16(value);
          break;
        case 0x0101:
          a.bits_stored = u16(value);
          break;
        case 0x0120:
          a.padding_value = u16(value);
          break;
        case 0x0121:
          a.padding_limit = u16(value);
          break;
        case 0x0103:
          a.pixel_representation = u16(value);
          break;
        case 0x1050:
          a.center = trimmed_text(value);
          break;
        case 0x1051:
          a.width = trimmed_text(value);
          break;
        case 0x1052:
          a.intercept = trimmed_text(value);
          break;
        case 0x1053:
          a.slope = trimmed_text(value);
          break;
        default:
          break;
      }
    } else if (tag.group == 0x0020) {
      switch (tag.element) {
        case 0x000E:
          a.series_uid = trimmed_text(value);
          break;
        case 0x0011:
          a.series_number = trimmed_text(value);
          break;
        case 0x0013:
          a.instance = trimmed_text(value);
          break;
        case 0x0032:
          a.position = trimmed_text(value);
          break;
        case 0x0037:
          a.orientation = trimmed_text(value);
          break;
        default:
          break;
      }
    } else if (tag == element_tag{0x0008, 0x0060}) {
      a.modality = trimmed_text(value);
    } else if (tag == element_tag{0x0008, 0x103E}) {
      a.description = trimmed_text(value);
    } else if (tag == element_tag{0x5200, 0x9229}) {
      a.shared_groups = value;
    } else if (tag == element_tag{0x5200, 0x9230}) {
      a.per_frame_groups = value;
    }
  });
  return result;
}

// A walk that broke before the pixel data; one that reached them, even cut
// inside them (the first bytes of a file), read the elements as written.
bool is_damage(const walk_result& walk) {
  if (walk.error == walk_error::truncated_value && walk.failed_at == pixel_data_tag) return false;
  return walk.error != walk_error::none && walk.error != walk_error::no_pixel_data;
}

// A data set walked in the encoding it names, or, when that walk breaks and
// its first element is plainly written another way (some writers get the
// transfer syntax wrong, some flat files are explicit VR), in that way.
data_set_walk walk_any_encoding(std::span<const std::uint8_t> bytes, element_encoding declared) {
  data_set_walk first = walk_data_set(bytes, declared);
  if (!is_damage(first.walk) || bytes.size() < 8) return first;
  std::vector<element_encoding> others;
  if (is_known_vr(bytes[4], bytes[5]))
    others = {explicit_little, explicit_big};
  else if (declared.explicit_vr)
    others = {implicit_little};
  for (const auto& other : others) {
    if (other == declared) continue;
    data_set_walk again = walk_data_set(bytes, other);
    if (!is_damage(again.walk)) return again;
  }
  return first;
}

// Where the data set starts, and the meta information's transfer syntax.
struct file_layout {
  std::size_t data_set_start = 0;
  std::string transfer_syntax;
  bool meta_cut = false;
};

bool starts_explicit_meta(std::span<const std::uint8_t> bytes, std::size_t pos) {
  return bytes.size() >= pos + 8 && bytes[pos] == 0x02 && bytes[pos + 1] == 0x00 &&
         is_known_vr(bytes[pos + 4], bytes[pos + 5]);
}

// Reads the group-0002 elements (explicit VR little endian) from `pos`.
void read_meta(std::span<const std::uint8_t> bytes, std::size_t pos, file_layout& layout) {
  while (pos + 2 <= bytes.size() && detail::load_u16(&bytes[pos], false) == 0x0002) {
    const auto header = detail::read_header(bytes, pos, explicit_little);
    if (!header || header->length > bytes.size() - pos - header->size) {
      layout.meta_cut = true;
      return;
    }
    const auto value = bytes.subspan(pos + header->size, header->length);
    if (header->tag.element == 0x0010) layout.transfer_syntax = trimmed_text(value);
    pos += header->size + header->length;
  }
  layout.data_set_start = pos;
}

file_layout locate_data_set(std::span<const std::uint8_t> bytes) {
  file_layout layout;
  if (bytes.size() >= preamble_size + 4 &&
      std::memcmp(bytes.data() + preamble_size, "DICM", 4) == 0)
    read_meta(bytes, preamble_size + 4, layout);
  else if (starts_explicit_meta(bytes, 0))
    read_meta(bytes, 0, layout);
  return layout;
}

std::optional<std::size_t> frame_count(std::string_view frames) {
  if (frames.empty()) return 1;
  const auto count = parse_number<long long>(first_value(frames));
  if (!count || *count < 1 || static_cast<unsigned long long>(*count) > max_frames)
    return std::nullopt;
  return static_cast<std::size_t>(*count);
}

// Beyond the image its header declares, a data set holds a few elements
// after the pixel data at most; and no real one holds this much before them.
constexpr std::size_t margin_after_image = std::size_t{16} << 20;
constexpr std::size_t most_before_pixels = std::size_t{64} << 20;

// What an inflated data set can need, judged from its first `bytes`: once the
// walk reaches the pixel data, those bytes plus the declared image and a
// margin; nothing before that.
std::optional<std::size_t> inflated_need(std::span<const std::uint8_t> bytes) {
  const data_set_walk walked = walk_data_set(bytes, explicit_little);
  const walk_result& walk = walked.walk;
  const bool at_pixels =
      walk.error == walk_error::none ||
      (walk.error == walk_error::truncated_value && walk.failed_at == pixel_data_tag);
  if (!at_pixels) return std::nullopt;
  const attributes& a = walked.found;
  const auto frames = frame_count(a.frames).value_or(1);
  const std::uint64_t image =
      std::uint64_t{static_cast<std::uint32_t>(a.rows.value_or(0))} *
      static_cast<std::uint32_t>(a.columns.value_or(0)) *
      ((static_cast<std::uint32_t>(a.bits_allocated.value_or(16)) + 7) / 8) *
      std::min<std::uint64_t>(frames, std::uint64_t{1} << 32);
  return static_cast<std::size_t>(
      std::min<std::uint64_t>(bytes.size() + image + margin_after_image, max_slice_file_bytes));
}

// The raw deflate stream after the meta information, inflated; nothing when
// it is broken or would grow beyond what its image can need (checked as it
// grows, so a deflate bomb is refused within a few times its need).
std::optional<std::vector<std::uint8_t>> inflate_data_set(std::span<const std::uint8_t> deflated,
                                                          read_problem::kind& problem) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
    problem = read_problem::kind::bad_deflate;
    return std::nullopt;
  }
  std::vector<std::uint8_t> out(std::max<std::size_t>(deflated.size() * 4, 65536));
  std::optional<std::size_t> need;  // known once the pixel data is reached
  stream.next_in = const_cast<Bytef*>(deflated.data());
  std::size_t in_left = deflated.size();
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (stream.total_out == out.size()) {
      if (!need) need = inflated_need(std::span(out).first(stream.total_out));
      const std::size_t most = need.value_or(most_before_pixels);
      if (out.size() >= most) {
        inflateEnd(&stream);
        problem = read_problem::kind::deflate_too_large;
        return std::nullopt;
      }
      out.resize(std::min(out.size() * 2, most));
    }
    const std::size_t in_chunk = std::min<std::size_t>(in_left, 1u << 30);
    const std::size_t out_chunk = std::min<std::size_t>(out.size() - stream.total_out, 1u << 30);
    stream.avail_in = static_cast<uInt>(in_chunk);
    stream.next_out = out.data() + stream.total_out;
    stream.avail_out = static_cast<uInt>(out_chunk);
    status = inflate(&stream, Z_NO_FLUSH);
    in_left -= in_chunk - stream.avail_in;
    if (status == Z_BUF_ERROR && in_left == 0 && stream.avail_out != 0) break;
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) break;
  }
  out.resize(stream.total_out);
  inflateEnd(&stream);
  if (status != Z_STREAM_END) {
    problem = read_problem::kind::bad_deflate;
    return std::nullopt;
  }
  return out;
}

using problem_kind = read_problem::kind;

// How the data set of a transfer syntax is written; nothing for one unknown.
std::optional<element_encoding> encoding_of(std::string_view uid) {
  if (uid == explicit_little_uid || uid == deflated_uid || is_encapsulated_syntax(uid))
    return explicit_little;
  if (uid == explicit_big_uid) return explicit_big;
  if (uid.empty() || uid == implicit_little_uid) return implicit_little;
  return std::nullopt;
}

read_problem problem_of(problem_kind what, std::string text = {},
                        std::array<std::size_t, 4> count = {}) {
  return {what, {}, std::move(text), count};
}

slice_read refused(read_verdict verdict, read_problem problem) {
  slice_read read;
  read.verdict = verdict;
  read.problem = std::move(problem);
  return read;
}

bool is_colour(std::string_view photometric) {
  return photometric == "RGB" || photometric == "PALETTE COLOR" || photometric.starts_with("YBR") ||
         photometric == "ARGB" || photometric == "CMYK" || photometric == "HSV";
}

// Frame facts from one functional groups item: each macro is a sequence of
// one item that holds the frame elements.
frame_facts functional_group_facts(std::span<const std::uint8_t> item, element_encoding encoding) {
  frame_facts facts;
  walk_elements(item, encoding, [&](element_tag, std::span<const std::uint8_t> macro) {
    for_each_item(macro, encoding, [&](std::span<const std::uint8_t> inner) {
      walk_elements(inner, encoding, [&](element_tag tag, std::span<const std::uint8_t> value) {
        read_frame_element(tag, trimmed_text(value), facts);
      });
    });
  });
  return facts;
}

// A padding value as the stored sample it stands for.
std::optional<std::int32_t> stored_value(std::optional<int> pattern, bool samples_signed) {
  if (!pattern) return std::nullopt;
  return samples_signed ? std::int32_t{static_cast<std::int16_t>(*pattern)} : *pattern;
}

image_attributes attributes_of(const attributes& a, element_encoding encoding) {
  image_attributes out;
  out.photometric = a.photometric;
  out.modality = a.modality;
  out.series_uid = a.series_uid;
  out.series_description = a.description;
  out.series_number = parse_number<int>(first_value(a.series_number));
  out.instance_number = parse_number<int>(first_value(a.instance));
  if (a.bits_stored && *a.bits_stored >= 1 && *a.bits_stored < 16) out.bits_stored = *a.bits_stored;
  const bool samples_signed = a.pixel_representation.value_or(1) != 0;
  out.samples_signed = samples_signed;
  out.padding_value = stored_value(a.padding_value, samples_signed);
  out.padding_limit = stored_value(a.padding_limit, samples_signed);
  frame_facts& top = out.common;
  top.rescale_slope = parse_number<double>(first_value(a.slope));
  top.rescale_intercept = parse_number<double>(first_value(a.intercept));
  top.window_center = parse_number<double>(first_value(a.center));
  top.window_width = parse_number<double>(first_value(a.width));
  top.position = parse_numbers<3>(a.position);
  top.orientation = parse_numbers<6>(a.orientation);
  top.pixel_spacing = parse_numbers<2>(a.spacing);
  for_each_item(a.shared_groups, encoding, [&](std::span<const std::uint8_t> item) {
    top = top.overlaid_by(functional_group_facts(item, encoding));
  });
  for_each_item(a.per_frame_groups, encoding, [&](std::span<const std::uint8_t> item) {
    out.per_frame.push_back(functional_group_facts(item, encoding));
  });
  return out;
}

void read_frame_element(element_tag tag, std::string_view text, frame_facts& facts) {
  if (tag == element_tag{0x0020, 0x0032}) {
    facts.position = parse_numbers<3>(text);
  } else if (tag == element_tag{0x0020, 0x0037}) {
    facts.orientation = parse_numbers<6>(text);
  } else if (tag == element_tag{0x0028, 0x0030}) {
    facts.pixel_spacing = parse_numbers<2>(text);
  } else if (tag == element_tag{0x0028, 0x1050}) {
    facts.window_center = parse_number<double>(first_value(text));
  } else if (tag == element_tag{0x0028, 0x1051}) {
    facts.window_width = parse_number<double>(first_value(text));
  } else if (tag == element_tag{0x0028, 0x1052}) {
    facts.rescale_intercept = parse_number<double>(first_value(text));
  } else if (tag == element_tag{0x0028, 0x1053}) {
    facts.rescale_slope = parse_number<double>(first_value(text));
  }
}

std::vector<std::uint8_t> swapped_pairs(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> out(bytes.size());
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out[i] = bytes[i + 1];
    out[i + 1] = bytes[i];
  }
  return out;
}

// Decodes the encapsulated pixel data of the whole file into the slice.
std::optional<read_problem> take_compressed(std::span<const std::uint8_t> file_bytes,
                                            pixel_decoder& decoder, decoded_slice& slice) {
  compressed_frames decoded = decoder.decode(file_bytes);
  if (!decoded.problem.empty()) return problem_of(problem_kind::decoder, decoded.problem);
  if (decoded.rows != slice.rows || decoded.columns != slice.columns ||
      decoded.bits_allocated != 16 || decoded.samples_per_pixel != 1 || decoded.frames == 0 ||
      decoded.samples.size() < 2 * decoded.frames * slice.frame_samples())
    return problem_of(
        problem_kind::decoded_mismatch, {},
        {static_cast<std::size_t>(decoded.rows), static_cast<std::size_t>(decoded.columns),
         static_cast<std::size_t>(decoded.bits_allocated),
         static_cast<std::size_t>(decoded.samples_per_pixel)});
  slice.frames = decoded.frames;
  slice.samples_signed = decoded.pixel_representation != 0;
  slice.sample_storage = std::move(decoded.samples);
  slice.samples = std::span<const std::uint8_t>(slice.sample_storage)
                      .first(2 * slice.frames * slice.frame_samples());
  return std::nullopt;
}

}  // namespace

slice_read read_slice(std::span<const std::uint8_t> file_bytes, pixel_decoder& decoder) {
  if (std::all_of(file_bytes.begin(), file_bytes.end(), [](std::uint8_t b) { return b == 0; }))
    return refused(read_verdict::damaged, problem_of(problem_kind::empty));
  const file_layout layout = locate_data_set(file_bytes);
  if (layout.meta_cut) return refused(read_verdict::damaged, problem_of(problem_kind::meta_cut));
  const std::string_view uid = layout.transfer_syntax;
  const bool encapsulated_syntax = is_encapsulated_syntax(uid);
  const auto declared = encoding_of(uid);
  if (!declared)
    return refused(read_verdict::damaged,
                   problem_of(problem_kind::unknown_syntax, std::string(uid)));
  const element_encoding encoding = *declared;

  std::span<const std::uint8_t> data_set = file_bytes.subspan(layout.data_set_start);
  std::vector<std::uint8_t> inflated;
  if (uid == deflated_uid) {
    problem_kind problem = problem_kind::none;
    auto bytes = inflate_data_set(data_set, problem);
    if (!bytes) return refused(read_verdict::damaged, problem_of(problem));
    inflated = std::move(*bytes);
    data_set = inflated;
  }
  // Without a transfer syntax the data set says itself how it is written.
  const data_set_walk walked = walk_any_encoding(data_set, encoding);
  const attributes& a = walked.found;
  const walk_result& walk = walked.walk;
  // An object that describes an image but ends before its pixel data is a
  // cut image, not a report or a plan.
  const bool describes_image = a.rows || a.columns || a.bits_allocated;
  if (walk.error == walk_error::no_pixel_data && !describes_image)
    return refused(read_verdict::skipped,
                   problem_of(problem_kind::no_image, std::string(a.modality)));
  if (walk.error != walk_error::none) {
    read_problem problem = problem_of(problem_kind::walk);
    problem.walk = walk;
    return refused(read_verdict::damaged, problem);
  }
  if (!a.rows) return refused(read_verdict::damaged, problem_of(problem_kind::no_rows));
  if (!a.columns) return refused(read_verdict::damaged, problem_of(problem_kind::no_columns));
  if (!a.bits_allocated) return refused(read_verdict::damaged, problem_of(problem_kind::no_bits));

  slice_read read;
  read.header = slice_header{*a.rows, *a.columns, *a.bits_allocated};
  read.verdict = read_verdict::skipped;
  const int samples_per_pixel = a.samples_per_pixel.value_or(1);
  if (samples_per_pixel != 1 || is_colour(a.photometric)) {
    read.problem = problem_of(problem_kind::colour, std::string(a.photometric),
                              {static_cast<std::size_t>(samples_per_pixel)});
    return read;
  }
  if (*a.bits_allocated != 16) {
    read.problem = problem_of(problem_kind::not_16_bits, std::string(a.modality),
                              {static_cast<std::size_t>(*a.bits_allocated)});
    return read;
  }
  read.verdict = read_verdict::damaged;
  if (*a.rows == 0 || *a.columns == 0) {
    read.problem = problem_of(problem_kind::no_pixels);
    return read;
  }
  const auto counted = frame_count(a.frames);
  if (!counted) {
    read.problem = problem_of(problem_kind::bad_frame_count, std::string(a.frames));
    return read;
  }
  const std::size_t frames = *counted;

  decoded_slice& slice = read.slice;
  slice.rows = *a.rows;
  slice.columns = *a.columns;
  slice.frames = frames;
  slice.samples_signed = a.pixel_representation.value_or(1) != 0;
  slice.transfer_syntax = uid;
  slice.attributes = attributes_of(a, walked.encoding);

  if (encapsulated_syntax) {
    if (auto problem = take_compressed(file_bytes, decoder, slice)) {
      read.problem = std::move(*problem);
      return read;
    }
  } else if (walk.encapsulated) {
    read.problem = problem_of(problem_kind::stray_encapsulation);
    return read;
  } else {
    // Frames times the frame can only overflow for a frame count no pixel
    // data could hold.
    const std::size_t frame_bytes = 2 * slice.frame_samples();
    if (frames > walk.pixels.size() / frame_bytes) {
      read.problem =
          problem_of(problem_kind::short_pixel_data, {}, {walk.pixels.size(), frames, frame_bytes});
      return read;
    }
    slice.samples = walk.pixels.first(frames * frame_bytes);
    if (walked.encoding.big_endian) {
      slice.sample_storage = swapped_pairs(slice.samples);
      slice.samples = slice.sample_storage;
    } else if (!inflated.empty()) {
      // Keep the inflated data set alive: the samples point into it.
      const auto offset = static_cast<std::size_t>(slice.samples.data() - inflated.data());
      slice.sample_storage = std::move(inflated);
      slice.samples =
          std::span<const std::uint8_t>(slice.sample_storage).subspan(offset, frames * frame_bytes);
    }
  }
  read.verdict = read_verdict::decoded;
  return read;
}

slice_description describe_slice(std::span<const std::uint8_t> file_bytes, bool whole) {
  using status = slice_description::status;
  slice_description description;
  const status cut = whole ? status::not_image : status::need_more;
  const file_layout layout = locate_data_set(file_bytes);
  if (layout.meta_cut) {
    description.what = cut;
    return description;
  }
  const auto encoding = encoding_of(layout.transfer_syntax);
  if (!encoding) return description;
  std::span<const std::uint8_t> data_set = file_bytes.subspan(layout.data_set_start);
  std::optional<std::vector<std::uint8_t>> inflated;
  if (layout.transfer_syntax == deflated_uid) {
    if (!whole) {
      description.what = status::need_more;
      return description;
    }
    problem_kind problem = problem_kind::none;
    inflated = inflate_data_set(data_set, problem);
    if (!inflated) return description;
    data_set = *inflated;
  }
  const data_set_walk walked = walk_any_encoding(data_set, *encoding);
  const walk_result& walk = walked.walk;
  // The first bytes of a file end inside its pixel data: all before is there.
  const bool reached_pixels =
      walk.error == walk_error::none ||
      (walk.error == walk_error::truncated_value && walk.failed_at == pixel_data_tag);
  if (!reached_pixels) {
    description.what = cut;  // a prefix may end cleanly between two elements
    return description;
  }
  const attributes& a = walked.found;
  const auto frames = frame_count(a.frames);
  if (!a.rows || !a.columns || *a.rows == 0 || *a.columns == 0 || a.bits_allocated != 16 ||
      a.samples_per_pixel.value_or(1) != 1 || is_colour(a.photometric) || !frames)
    return description;
  description.what = status::described;
  description.rows = *a.rows;
  description.columns = *a.columns;
  description.frames = *frames;
  description.attributes = attributes_of(a, walked.encoding);
  return description;
}

std::optional<slice_description> describe_file(const head_reader& read_head) {
  // Most headers fit the first read; an enhanced image's functional groups
  // may need the second.
  constexpr std::size_t first_reads[] = {std::size_t{8} << 10, std::size_t{256} << 10,
                                         std::size_t{4} << 20, 0};
  for (const std::size_t head_bytes : first_reads) {
    const common::file_read head = read_head(head_bytes);
    if (!head) return std::nullopt;
    auto description = describe_slice(head.bytes, head.whole || head_bytes == 0);
    if (description.what == slice_description::status::need_more && !head.whole) continue;
    if (description.what != slice_description::status::described) return std::nullopt;
    return description;
  }
  return std::nullopt;
}

frame_facts frame_facts::overlaid_by(const frame_facts& over) const {
  frame_facts out = *this;
  const auto take = [](auto& mine, const auto& theirs) {
    if (theirs) mine = theirs;
  };
  take(out.position, over.position);
  take(out.orientation, over.orientation);
  take(out.pixel_spacing, over.pixel_spacing);
  take(out.rescale_slope, over.rescale_slope);
  take(out.rescale_intercept, over.rescale_intercept);
  take(out.window_center, over.window_center);
  take(out.window_width, over.window_width);
  return out;
}

frame_facts image_attributes::frame(std::size_t index) const {
  return index < per_frame.size() ? common.overlaid_by(per_frame[index]) : common;
}

bool image_attributes::is_padding(std::int32_t stored) const {
  if (!padding_value) return false;
  const std::int32_t limit = padding_limit.value_or(*padding_value);
  return stored >= std::min(*padding_value, limit) && stored <= std::max(*padding_value, limit);
}

}  // namespace dicom
