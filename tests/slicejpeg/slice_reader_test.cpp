#include "dicom/slice_reader.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include "dicom/decoder_client.hpp"
#include "slicejpeg/messages.hpp"
#include "tests/support/dicom_bytes.hpp"

using namespace dicom;
using slicejpeg::text::describe;

namespace {

// Compressed files go to the helper process, as in slicejpeg.
dicom::helper_decoder decoder;

const std::vector<int> ct = {-1024, 0, 255, 3071, -1, 1000};  // 2 x 3

dicom_bytes in(bool explicit_vr, bool big_endian) {
  return dicom_bytes{explicit_vr, big_endian, {}};
}

// A data set as scanners write them: an icon image in a sequence (whose Rows
// and pixel data must not count), a sequence of defined length, then the image.
std::vector<std::uint8_t> ct_data_set(bool explicit_vr, bool big_endian) {
  auto icon = in(explicit_vr, big_endian).image(1, 1).pixels({7});
  auto nested = in(explicit_vr, big_endian).sequence(0x0008, 0x1115, {icon.bytes});
  auto defined = in(explicit_vr, big_endian).us(0x0028, 0x0010, 99);
  auto item = in(explicit_vr, big_endian);
  item.header(0xFFFE, 0xE000, "", static_cast<std::uint32_t>(defined.bytes.size()))
      .raw(defined.bytes);
  auto data_set = in(explicit_vr, big_endian);
  data_set.text(0x0008, 0x0060, "CS", "CT");
  data_set.sequence(0x0088, 0x0200, {icon.bytes, nested.bytes});
  data_set.element(0x0008, 0x1140, "SQ", item.bytes);
  data_set.text(0x0020, 0x000E, "UI", "1.2.3.4");
  data_set.text(0x0020, 0x0013, "IS", "12");
  data_set.text(0x0020, 0x0032, "DS", "-125.5\\-130\\88.25");
  data_set.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0");
  data_set.text(0x0028, 0x1050, "DS", "40\\400");
  data_set.text(0x0028, 0x1051, "DS", "350\\2000");
  data_set.text(0x0028, 0x1052, "DS", "-1024");
  data_set.text(0x0028, 0x1053, "DS", "1");
  return data_set.image(2, 3).us(0x0028, 0x0103, 1).pixels(ct).bytes;
}

std::vector<std::uint8_t> deflated(const std::vector<std::uint8_t>& bytes) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::vector<std::uint8_t> out(bytes.size() + 1024);
  stream.next_in = const_cast<Bytef*>(bytes.data());
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::vector<int> samples_of(const decoded_slice& slice) {
  std::vector<int> samples;
  for (std::size_t i = 0; i + 1 < slice.samples.size(); i += 2) {
    const int value = slice.samples[i] | slice.samples[i + 1] << 8;
    samples.push_back(slice.samples_signed ? static_cast<std::int16_t>(value) : value);
  }
  return samples;
}

struct syntax_case {
  const char* name;
  std::vector<std::uint8_t> file;
  std::string transfer_syntax;
};

}  // namespace

TEST(slice_reader, reads_the_same_image_in_every_uncompressed_form) {
  const auto explicit_le = ct_data_set(true, false);
  const std::vector<syntax_case> cases = {
      {"flat implicit", ct_data_set(false, false), ""},
      {"implicit", part10_file("1.2.840.10008.1.2", ct_data_set(false, false)),
       "1.2.840.10008.1.2"},
      {"explicit little", part10_file("1.2.840.10008.1.2.1", explicit_le), "1.2.840.10008.1.2.1"},
      {"explicit big", part10_file("1.2.840.10008.1.2.2", ct_data_set(true, true)),
       "1.2.840.10008.1.2.2"},
      {"deflated", part10_file("1.2.840.10008.1.2.1.99", deflated(explicit_le)),
       "1.2.840.10008.1.2.1.99"},
      {"meta without preamble", part10_file("1.2.840.10008.1.2.1", explicit_le, false),
       "1.2.840.10008.1.2.1"},
      {"flat explicit little", explicit_le, ""},
      {"flat explicit big", ct_data_set(true, true), ""},
      // Some writers name explicit VR and write implicit.
      {"implicit named explicit", part10_file("1.2.840.10008.1.2.1", ct_data_set(false, false)),
       "1.2.840.10008.1.2.1"},
  };
  for (const auto& c : cases) {
    const slice_read read = read_slice(c.file, decoder);
    ASSERT_EQ(read.verdict, read_verdict::decoded) << c.name << ": " << describe(read.problem);
    const decoded_slice& slice = read.slice;
    EXPECT_EQ(slice.rows, 2) << c.name;
    EXPECT_EQ(slice.columns, 3) << c.name;
    EXPECT_EQ(slice.frames, 1u) << c.name;
    EXPECT_TRUE(slice.samples_signed) << c.name;
    EXPECT_EQ(samples_of(slice), ct) << c.name;
    EXPECT_EQ(slice.transfer_syntax, c.transfer_syntax) << c.name;
    const dicom::image_attributes& a = slice.attributes;
    EXPECT_EQ(a.series_uid, "1.2.3.4") << c.name;
    EXPECT_EQ(a.instance_number, 12) << c.name;
    EXPECT_EQ(a.common.position, (std::array<double, 3>{-125.5, -130, 88.25})) << c.name;
    EXPECT_EQ(a.common.orientation, (std::array<double, 6>{1, 0, 0, 0, 1, 0})) << c.name;
    EXPECT_EQ(a.common.window_center, 40.0) << c.name;
    EXPECT_EQ(a.common.window_width, 350.0) << c.name;
    EXPECT_EQ(a.common.rescale_intercept, -1024.0) << c.name;
    EXPECT_EQ(a.common.rescale_slope, 1.0) << c.name;
    EXPECT_EQ(a.photometric, "MONOCHROME2") << c.name;
  }
}

TEST(slice_reader, unsigned_samples_and_frames) {
  auto data_set = in(true, false).image(1, 2).us(0x0028, 0x0103, 0);
  data_set.text(0x0028, 0x0008, "IS", "3").pixels({0, 65535, 1, 2, 3, 40000, 9});
  const auto file = part10_file("1.2.840.10008.1.2.1", data_set.bytes);
  const slice_read read = read_slice(file, decoder);
  ASSERT_EQ(read.verdict, read_verdict::decoded) << describe(read.problem);
  EXPECT_FALSE(read.slice.samples_signed);
  EXPECT_EQ(read.slice.frames, 3u);
  EXPECT_EQ(samples_of(read.slice), (std::vector<int>{0, 65535, 1, 2, 3, 40000}));
  const auto third = read.slice.frame(2);
  EXPECT_EQ(std::vector<std::uint8_t>(third.begin(), third.end()),
            (std::vector<std::uint8_t>{3, 0, 0x40, 0x9C}));
}

struct refusal_case {
  const char* name;
  std::vector<std::uint8_t> file;
  read_verdict verdict;
  std::string problem;
};

// Reports, colour images, dose grids and segmentations come from real files
// (real_files_test.cpp); these are the cases they lack.
TEST(slice_reader, skips_what_is_no_greyscale_slice_and_refuses_what_is_damaged) {
  const auto image = [](unsigned bits) {
    return in(true, false).text(0x0008, 0x0060, "CS", "RTDOSE").image(1, 1, bits);
  };
  const std::string le = "1.2.840.10008.1.2.1";
  auto palette = in(true, false).image(1, 1, 16);
  palette.text(0x0028, 0x0004, "CS", "PALETTE COLOR").pixels({1});
  auto cut_meta = part10_file(le, {});
  cut_meta.resize(140);
  const std::vector<refusal_case> cases = {
      {"meta cut", cut_meta, read_verdict::damaged, "file ends inside the file meta information"},
      {"unknown syntax", part10_file("1.2.3.4", image(16).pixels({1}).bytes), read_verdict::damaged,
       "transfer syntax 1.2.3.4 is not one slicejpeg can read"},
      {"not inflatable", part10_file("1.2.840.10008.1.2.1.99", {1, 2, 3, 4}), read_verdict::damaged,
       "deflated data set cannot be inflated"},
      {"frames short", part10_file(le, image(16).text(0x0028, 0x0008, "IS", "2").pixels({1}).bytes),
       read_verdict::damaged, "pixel data holds 2 bytes, the image needs 2 x 2"},
      {"frames text", part10_file(le, image(16).text(0x0028, 0x0008, "IS", "1A").pixels({1}).bytes),
       read_verdict::damaged, "Number of Frames \"1A\" is not a frame count from 1 to 100000"},
      // Pixel data that could hold them does not make two million frames a slice.
      {"frames beyond any series",
       part10_file(le, image(16).text(0x0028, 0x0008, "IS", "2000000").pixels({1}).bytes),
       read_verdict::damaged, "Number of Frames \"2000000\" is not a frame count from 1 to 100000"},
      {"sequence cut",
       part10_file(le, in(true, false).header(0x0008, 0x1140, "SQ", 0xFFFFFFFF).bytes),
       read_verdict::damaged, "file ends inside sequence (0008,1140)"},
      {"stray encapsulation",
       part10_file(le, image(16).header(0x7FE0, 0x0010, "OB", 0xFFFFFFFF).bytes),
       read_verdict::damaged,
       "pixel data is encapsulated, but the transfer syntax is not a compressed one"},
  };
  for (const auto& c : cases) {
    const slice_read read = read_slice(c.file, decoder);
    EXPECT_EQ(read.verdict, c.verdict) << c.name;
    EXPECT_EQ(describe(read.problem), c.problem) << c.name;
  }
}

// A raw deflate stream of `before`, then `zeros` zero bytes, streamed so the
// test never holds them.
std::vector<std::uint8_t> deflated_with_zeros(const std::vector<std::uint8_t>& before,
                                              std::size_t zeros) {
  z_stream stream{};
  deflateInit2(&stream, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::vector<std::uint8_t> out;
  std::vector<std::uint8_t> chunk(1 << 20);
  const std::vector<std::uint8_t> zero_block(1 << 20, 0);
  const auto feed = [&](const std::uint8_t* data, std::size_t size, int flush) {
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    do {
      stream.next_out = chunk.data();
      stream.avail_out = static_cast<uInt>(chunk.size());
      deflate(&stream, flush);
      out.insert(out.end(), chunk.data(), chunk.data() + (chunk.size() - stream.avail_out));
    } while (stream.avail_out == 0);
  };
  feed(before.data(), before.size(), Z_NO_FLUSH);
  for (std::size_t left = zeros; left > 0;) {
    const std::size_t size = std::min(left, zero_block.size());
    feed(zero_block.data(), size, Z_NO_FLUSH);
    left -= size;
  }
  feed(nullptr, 0, Z_FINISH);
  deflateEnd(&stream);
  return out;
}

TEST(slice_reader, a_deflate_bomb_is_refused_near_what_its_image_can_need) {
  // An 8 x 8 image, then a private element of 1 GiB of zeros after it.
  dicom_bytes image{true, false, {}};
  image.image(8, 8).pixels(std::vector<int>(64, 7)).header(0x7FE1, 0x0010, "OB", 1u << 30);
  // The same zeros before the image: no image header in sight for 1 GiB.
  dicom_bytes hidden{true, false, {}};
  hidden.header(0x0009, 0x0010, "OB", 1u << 30);
  const struct {
    const char* name;
    std::vector<std::uint8_t> before;
    std::size_t zeros;
    bool refused;
  } cases[] = {
      // A quarter of the declared GiB is well past what either can need.
      {"zeros after the image", image.bytes, std::size_t{256} << 20, true},
      {"zeros before any image", hidden.bytes, std::size_t{256} << 20, true},
      {"a few bytes after the image", image.bytes, 16, false},
  };
  for (const auto& c : cases) {
    const auto file = part10_file("1.2.840.10008.1.2.1.99", deflated_with_zeros(c.before, c.zeros));
    const auto read = dicom::read_slice(file, decoder);
    if (c.refused) {
      EXPECT_EQ(read.problem.what, dicom::read_problem::kind::deflate_too_large) << c.name;
    } else {
      EXPECT_NE(read.problem.what, dicom::read_problem::kind::deflate_too_large) << c.name;
    }
  }
}
