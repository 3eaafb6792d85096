// Compressed pixel data from real files (python3-pydicom's test files and
// copies DCMTK and GDCM compress at test time), decoded by the helper
// process and compared with the uncompressed samples as pydicom reads them.
#include "dicom/decoder_client.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <thread>

#include "common/file_read.hpp"
#include "dicom/transfer_syntax.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;
using dicom::compressed_frames;

namespace {

// One helper for the tests that decode in turn: it is restarted after a
// file that ends it, as in a run.
dicom::helper_decoder& helper() {
  static dicom::helper_decoder decoder;
  return decoder;
}

compressed_frames decode_compressed(std::span<const std::uint8_t> bytes) {
  return helper().decode(bytes);
}

}  // namespace

namespace {

// pydicom's reading of an uncompressed file: the header line, then the
// samples little-endian into the named file.
const char* const dump_script = R"(
import sys, pydicom
d = pydicom.dcmread(sys.argv[1])
a = d.pixel_array
open(sys.argv[2], 'wb').write(a.astype(a.dtype.newbyteorder('<')).tobytes())
print(d.Rows, d.Columns, int(getattr(d, 'NumberOfFrames', 1)), d.BitsAllocated,
      d.SamplesPerPixel, d.PixelRepresentation)
)";

// CT_small as 12-bit signed samples (negative ones included) or as 8 bits;
// a compressed file that claims 65535 x 65535 pixels or a first fragment of
// almost 4 GiB.
const char* const derive_script = R"(
import sys, numpy, pydicom
d = pydicom.dcmread(sys.argv[1])
if sys.argv[3] == 'huge':
    d.Rows = d.Columns = 65535
elif sys.argv[3] == 'fragment':
    b = bytearray(open(sys.argv[1], 'rb').read())
    at = b.rfind(bytes.fromhex('e07f1000')) + 12
    at += 8 + int.from_bytes(b[at + 4:at + 8], 'little')
    b[at + 4:at + 8] = bytes.fromhex('f0ffffff')
    open(sys.argv[2], 'wb').write(b)
    sys.exit()
elif sys.argv[3] == '12':
    a = d.pixel_array.astype(numpy.int32)
    d.PixelData = numpy.clip(a - 1024, -2048, 2047).astype('<i2').tobytes()
    d.BitsStored, d.HighBit = 12, 11
else:
    a = d.pixel_array.astype(numpy.int32)
    d.PixelData = (a // 16).astype(numpy.uint8).tobytes()
    d.BitsAllocated, d.BitsStored, d.HighBit, d.PixelRepresentation = 8, 8, 7, 0
d.save_as(sys.argv[2])
)";

// Runs `command` in `dir` with $T the test files and the scripts at hand.
program_run prepare(const temp_dir& dir, const std::string& command) {
  dir.write("dump.py", dump_script);
  dir.write("derive.py", derive_script);
  return run_in(dir.path(), "T=" + shell_quote(pydicom_test_files()) + "; " + command);
}

std::vector<std::uint8_t> file_bytes(const fs::path& path) {
  return common::read_regular_file(path.string(), std::size_t{1} << 28).bytes;
}

std::size_t expected_size(const compressed_frames& frames) {
  return static_cast<std::size_t>(frames.rows) * static_cast<std::size_t>(frames.columns) *
         static_cast<std::size_t>(frames.samples_per_pixel) *
         static_cast<std::size_t>(frames.bits_allocated / 8) * frames.frames;
}

#define SKIP_WITHOUT_PYDICOM() \
  if (pydicom_test_files().empty()) GTEST_SKIP() << "python3-pydicom is not installed"

struct decode_case {
  const char* name;
  const char* make_compressed;  // writes in.dcm
  const char* make_reference;   // writes ref.dcm, the same image uncompressed
};

const decode_case decode_cases[] = {
    {"rle", "cp $T/MR_small_RLE.dcm in.dcm", "cp $T/MR_small.dcm ref.dcm"},
    {"jpeg_ls_lossless", "cp $T/MR_small_jpeg_ls_lossless.dcm in.dcm",
     "cp $T/MR_small.dcm ref.dcm"},
    {"jpeg_2000_lossless", "cp $T/MR_small_jp2klossless.dcm in.dcm", "cp $T/MR_small.dcm ref.dcm"},
    {"jpeg_lossless_by_dcmtk", "dcmcjpeg +el $T/CT_small.dcm in.dcm", "cp $T/CT_small.dcm ref.dcm"},
    {"jpeg_lossless_12_bit_signed",
     "/usr/bin/python3 derive.py $T/CT_small.dcm ref.dcm 12 && "
     "dcmcjpeg +e1 ref.dcm in.dcm",
     ":"},
    {"jpeg_baseline_8_bit",
     "/usr/bin/python3 derive.py $T/CT_small.dcm grey.dcm 8 && "
     "dcmcjpeg +eb grey.dcm in.dcm",
     "dcmdjpeg in.dcm ref.dcm"},
    {"jpeg_extended_12_bit", "cp $T/JPGExtended.dcm in.dcm", "dcmdjpeg in.dcm ref.dcm"},
    {"jpeg_ls_near_lossless",
     "/usr/bin/python3 derive.py $T/CT_small.dcm grey.dcm 8 && dcmcjpls +en grey.dcm in.dcm",
     "dcmdjpls in.dcm ref.dcm"},
    {"jpeg_2000_lossy", "cp $T/JPEG2000.dcm in.dcm", "gdcmconv --raw in.dcm ref.dcm"},
    {"rle_15_frames_32_bit", "cp $T/rtdose_rle.dcm in.dcm", "cp $T/rtdose.dcm ref.dcm"},
    {"rle_colour_2_frames", "cp $T/SC_rgb_rle_2frame.dcm in.dcm", "dcmdrle in.dcm ref.dcm"},
};

void PrintTo(const decode_case& c, std::ostream* out) {
  *out << c.name;
}

class decodes : public testing::TestWithParam<decode_case> {};

TEST_P(decodes, the_samples_of_the_uncompressed_image) {
  SKIP_WITHOUT_PYDICOM();
  const decode_case& c = GetParam();
  temp_dir dir;
  const auto made = prepare(dir, std::string(c.make_compressed) + " && " + c.make_reference);
  ASSERT_EQ(made.status, 0) << "dcmtk, libgdcm-tools and python3-numpy are needed: " << made.err;
  const auto reference = prepare(dir, "/usr/bin/python3 dump.py ref.dcm ref.raw");
  ASSERT_EQ(reference.status, 0) << reference.err;

  const compressed_frames frames = decode_compressed(file_bytes(dir / "in.dcm"));

  ASSERT_EQ(frames.problem, "");
  std::ostringstream header;
  header << frames.rows << ' ' << frames.columns << ' ' << frames.frames << ' '
         << frames.bits_allocated << ' ' << frames.samples_per_pixel << ' '
         << frames.pixel_representation << '\n';
  EXPECT_EQ(header.str(), reference.out);
  EXPECT_EQ(frames.samples, file_bytes(dir / "ref.raw"));
}

INSTANTIATE_TEST_SUITE_P(compressed_pixels, decodes, testing::ValuesIn(decode_cases),
                         [](const auto& test) { return std::string(test.param.name); });

struct refusal_case {
  const char* name;
  const char* make_damaged;  // writes in.dcm
  const char* problem;
  bool needs_memory_bound = false;  // sanitizer builds run without one
};

const refusal_case refusal_cases[] = {
    {"cut_inside_the_fragments", "head -c 3000 $T/MR_small_RLE.dcm > in.dcm",
     "cannot decode the RLE pixel data"},
    {"damaged_jpeg_2000_stream", "cp $T/JPEG2000-embedded-sequence-delimiter.dcm in.dcm",
     "cannot decode the JPEG 2000 pixel data"},
    // GDCM asserts on this file's RT dose attributes in VR UN.
    {"library_aborts", "cp $T/rtdose_rle_1frame.dcm in.dcm",
     "the decoder failed on this pixel data (Aborted)"},
    {"rows_and_columns_beyond_the_file",
     "/usr/bin/python3 derive.py $T/MR_small_RLE.dcm in.dcm huge",
     "the declared image size (65535 x 65535 x 1 frames) is implausible"},
    {"fragment_beyond_the_file", "/usr/bin/python3 derive.py $T/MR_small_RLE.dcm in.dcm fragment",
     "cannot read the data set", true},
};

void PrintTo(const refusal_case& c, std::ostream* out) {
  *out << c.name;
}

class refuses : public testing::TestWithParam<refusal_case> {};

TEST_P(refuses, with_the_reason) {
  SKIP_WITHOUT_PYDICOM();
#if defined(__SANITIZE_ADDRESS__)
  if (GetParam().needs_memory_bound) GTEST_SKIP() << "would allocate gigabytes under ASan";
#endif
  temp_dir dir;
  const auto made = prepare(dir, GetParam().make_damaged);
  ASSERT_EQ(made.status, 0) << made.err;

  const compressed_frames frames = decode_compressed(file_bytes(dir / "in.dcm"));

  EXPECT_NE(frames.problem.find(GetParam().problem), std::string::npos) << frames.problem;
  EXPECT_TRUE(frames.samples.empty());
}

INSTANTIATE_TEST_SUITE_P(compressed_pixels, refuses, testing::ValuesIn(refusal_cases),
                         [](const auto& test) { return std::string(test.param.name); });

// Cut and overwritten copies of files in every codec: a problem or a
// consistent result, and the test process lives on.
TEST(compressed_pixels, damaged_files_never_end_the_process) {
  SKIP_WITHOUT_PYDICOM();
  std::mt19937 random(8);
  for (const char* name : {"MR_small_RLE.dcm", "MR_small_jpeg_ls_lossless.dcm",
                           "MR_small_jp2klossless.dcm", "JPGExtended.dcm"}) {
    const std::vector<std::uint8_t> original = file_bytes(pydicom_test_files() + "/" + name);
    ASSERT_FALSE(original.empty()) << name;
    for (int variant = 0; variant < 12; ++variant) {
      std::vector<std::uint8_t> bytes = original;
      if (variant % 2 == 0) {
        bytes.resize(std::uniform_int_distribution<std::size_t>(132, bytes.size())(random));
      } else {
        std::uniform_int_distribution<std::size_t> at(bytes.size() / 4, bytes.size() - 1);
        for (int i = 0; i < 16; ++i) bytes[at(random)] = static_cast<std::uint8_t>(random());
      }
      const compressed_frames frames = decode_compressed(bytes);
      if (frames.problem.empty())
        EXPECT_EQ(frames.samples.size(), expected_size(frames)) << name << " variant " << variant;
      else
        EXPECT_TRUE(frames.samples.empty()) << name << " variant " << variant;
    }
  }
}

// The batch decodes on several worker threads at once.
TEST(compressed_pixels, one_helper_per_thread_decodes_at_once) {
  SKIP_WITHOUT_PYDICOM();
  const std::vector<std::uint8_t> bytes = file_bytes(pydicom_test_files() + "/MR_small_RLE.dcm");
  const std::vector<std::uint8_t> expected = decode_compressed(bytes).samples;
  ASSERT_FALSE(expected.empty());
  std::vector<int> matches(2, 0);
  std::vector<std::thread> threads;
  for (int& count : matches)
    threads.emplace_back([&] {
      dicom::helper_decoder own;
      for (int i = 0; i < 10; ++i) count += own.decode(bytes).samples == expected ? 1 : 0;
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(matches, std::vector<int>(2, 10));
}

TEST(compressed_pixels, encapsulated_syntaxes) {
  struct syntax_case {
    std::string_view uid;
    bool encapsulated;
  };
  const syntax_case cases[] = {
      {"1.2.840.10008.1.2.4.50", true},   {"1.2.840.10008.1.2.4.51", true},
      {"1.2.840.10008.1.2.4.57", true},   {"1.2.840.10008.1.2.4.70", true},
      {"1.2.840.10008.1.2.4.80", true},   {"1.2.840.10008.1.2.4.81", true},
      {"1.2.840.10008.1.2.4.90", true},   {"1.2.840.10008.1.2.4.91", true},
      {"1.2.840.10008.1.2.5", true},      {{"1.2.840.10008.1.2.5\0", 20}, true},
      {"1.2.840.10008.1.2.4.70 ", true},  {"1.2.840.10008.1.2.1.99", false},
      {"1.2.840.10008.1.2", false},       {"1.2.840.10008.1.2.4.5", false},
      {"1.2.840.10008.1.2.4.500", false}, {"1.2.840.10008.1.2.5.1", false},
      {"1.2.840.10008.1.2.4.94", false},  {"", false},
  };
  for (const syntax_case& c : cases)
    EXPECT_EQ(dicom::is_encapsulated_syntax(c.uid), c.encapsulated) << c.uid;
}

}  // namespace

// A series pays the helper's start once: every file goes to one process.
TEST(decoder_client, keeps_one_helper_for_the_run_and_restarts_it_after_a_crash) {
  SKIP_WITHOUT_PYDICOM();
  const auto good = file_bytes(pydicom_test_files() + "/MR_small_RLE.dcm");
  // GDCM asserts on this file's RT dose attributes in VR UN.
  const auto aborts = file_bytes(pydicom_test_files() + "/rtdose_rle_1frame.dcm");
  dicom::helper_decoder decoder;
  ASSERT_EQ(decoder.decode(good).problem, "");
  const long first = decoder.helper_pid();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(decoder.decode(good).problem, "");
  EXPECT_EQ(decoder.helper_pid(), first);
  EXPECT_EQ(decoder.decode(aborts).problem, "the decoder failed on this pixel data (Aborted)");
  EXPECT_EQ(decoder.helper_pid(), -1);
  EXPECT_EQ(decoder.decode(good).problem, "");
  EXPECT_NE(decoder.helper_pid(), first);
}

// Helpers that misbehave each fail one file with a line; the client is
// ready for the next.
TEST(decoder_client, a_helper_that_misbehaves_fails_that_file) {
  temp_dir dir;
  const struct {
    const char* script;
    std::string problem;
  } cases[] = {
      {"kill -SEGV $$", "the decoder failed on this pixel data (Segmentation fault)"},
      {"exit 3", "the decoder failed on this pixel data (exit status 3)"},
      {"exec sleep 60", "the decoder took too long on this pixel data"},
      {"head -c 1012 >/dev/null; printf '%044d' 7", "the decoder sent a garbled result"},
  };
  const std::vector<std::uint8_t> bytes(1000, 7);
  for (const auto& c : cases) {
    const fs::path program = dir.path() / "helper.sh";
    std::ofstream(program) << "#!/bin/sh\n" << c.script << "\n";
    fs::permissions(program, fs::perms::owner_all);
    dicom::helper_settings settings;
    settings.program = program;
    settings.time_base = std::chrono::milliseconds(500);
    dicom::helper_decoder decoder(settings);
    for (int i = 0; i < 2; ++i) {
      const compressed_frames frames = decoder.decode(bytes);
      EXPECT_EQ(frames.problem, c.problem) << c.script;
      EXPECT_TRUE(frames.samples.empty());
    }
  }
  dicom::helper_settings missing;
  missing.missing = "not found in /nowhere";
  EXPECT_EQ(dicom::helper_decoder(missing).decode(bytes).problem,
            "cannot start the decoder ctview-decoder: not found in /nowhere");
}

// A program killed outright takes its helper with it.
TEST(decoder_client, the_helper_dies_with_its_program) {
  SKIP_WITHOUT_PYDICOM();
  const auto good = file_bytes(pydicom_test_files() + "/MR_small_RLE.dcm");
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const pid_t program = ::fork();
  if (program == 0) {
    dicom::helper_decoder decoder;
    const bool decoded = decoder.decode(good).problem.empty();
    const long pid = decoded ? decoder.helper_pid() : -1;
    (void)!::write(ends[1], &pid, sizeof pid);
    ::raise(SIGKILL);
  }
  ::close(ends[1]);
  long helper_pid = -1;
  ASSERT_EQ(::read(ends[0], &helper_pid, sizeof helper_pid),
            static_cast<ssize_t>(sizeof helper_pid));
  ::close(ends[0]);
  ::waitpid(program, nullptr, 0);
  ASSERT_GT(helper_pid, 0);
  const auto gone = [&] {
    std::ifstream stat("/proc/" + std::to_string(helper_pid) + "/stat");
    std::string pid, name, state;
    return !(stat >> pid >> name >> state) || state == "Z" || state == "X";
  };
  for (int i = 0; i < 1000 && !gone(); ++i) ::usleep(10000);
  EXPECT_TRUE(gone()) << "helper " << helper_pid << " outlived its program";
}
