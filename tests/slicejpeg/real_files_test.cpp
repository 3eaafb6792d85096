// The reader over the DICOM files Debian's python3-pydicom ships, in every
// transfer syntax they come in, against the samples pydicom decodes. A few
// forms pydicom's files lack are made from them at test time: the data set
// with its meta but no preamble, a deflated copy (DCMTK) and a cine of
// three frames (pydicom).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "dicom/decoder_client.hpp"
#include "dicom/slice_reader.hpp"
#include "dicom/transfer_syntax.hpp"
#include "slicejpeg/messages.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;
using namespace dicom;
using slicejpeg::text::describe;

namespace {

// Compressed files go to the helper process, as in slicejpeg.
dicom::helper_decoder decoder;

// Prints "NAME ROWS COLUMNS FRAMES SIGNED" for every file whose pixels pydicom
// can decode and writes NAME.raw (the samples, little-endian 16-bit).
const char* const reference_script = R"(
import os, sys, shutil, subprocess, warnings
import pydicom, pydicom.data
warnings.simplefilter('ignore')
out = sys.argv[1]
source = os.path.join(os.path.dirname(pydicom.data.__file__), 'test_files')
names = sys.argv[2:]
for name in names:
    if os.path.exists(os.path.join(source, name)):
        shutil.copy(os.path.join(source, name), os.path.join(out, name))
with open(os.path.join(source, 'CT_small.dcm'), 'rb') as f:
    whole = f.read()
with open(os.path.join(out, 'CT_small_no_preamble.dcm'), 'wb') as f:
    f.write(whole[132:])
subprocess.run(['dcmconv', '+td', os.path.join(source, 'CT_small.dcm'),
                os.path.join(out, 'CT_small_deflated.dcm')], check=True)
cine = pydicom.dcmread(os.path.join(source, 'MR_small.dcm'))
frames = cine.pixel_array
import numpy
stack = numpy.stack([frames, frames // 2, frames - 100]).astype(frames.dtype)
cine.NumberOfFrames = 3
cine.PixelData = stack.tobytes()
cine.save_as(os.path.join(out, 'MR_small_cine.dcm'))
for name in names:
    path = os.path.join(out, name)
    try:
        data = pydicom.dcmread(path, force=True)
        samples = data.pixel_array
    except Exception:
        continue
    signed = int(data.get('PixelRepresentation', 1))
    samples.astype('<i2' if signed else '<u2').tofile(path + '.raw')
    print(name, data.Rows, data.Columns, int(data.get('NumberOfFrames', 1)), signed)
)";

struct reference {
  int rows = 0, columns = 0;
  std::size_t frames = 0;
  bool samples_signed = true;
  std::string raw;
};

enum class expect { decoded, skipped, damaged, compressed };

struct real_case {
  const char* file;
  expect outcome;
  const char* problem = "";  // the start of the reason, for skipped and damaged files
};

std::vector<std::uint8_t> bytes_of(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(real_files, every_syntax_pydicom_ships_against_pydicom_samples) {
  const std::vector<real_case> cases = {
      {"CT_small.dcm", expect::decoded},
      {"CT_small_no_preamble.dcm", expect::decoded},
      {"CT_small_deflated.dcm", expect::decoded},
      {"MR_small.dcm", expect::decoded},
      {"MR_small_implicit.dcm", expect::decoded},
      {"MR_small_bigendian.dcm", expect::decoded},
      {"MR_small_expb.dcm", expect::decoded},
      {"MR_small_padded.dcm", expect::decoded},
      {"MR_small_cine.dcm", expect::decoded},
      {"MR_small_RLE.dcm", expect::compressed},
      {"MR_small_jp2klossless.dcm", expect::compressed},
      {"MR_small_jpeg_ls_lossless.dcm", expect::compressed},
      {"JPEG2000.dcm", expect::compressed},
      {"JPGExtended.dcm", expect::compressed},
      {"ExplVR_LitEndNoMeta.dcm", expect::skipped, "skipped: no pixel data"},
      {"rtplan.dcm", expect::skipped, "skipped: no pixel data, not an image (modality RTPLAN)"},
      {"reportsi.dcm", expect::skipped, "skipped: no pixel data, not an image (modality SR)"},
      {"UN_sequence.dcm", expect::skipped, "skipped: no pixel data"},
      {"waveform_ecg.dcm", expect::skipped, "skipped: no pixel data"},
      {"rtdose.dcm", expect::skipped, "skipped: 32-bit samples (modality RTDOSE)"},
      {"image_dfl.dcm", expect::skipped, "skipped: 8-bit samples"},
      {"liver_1frame.dcm", expect::skipped, "skipped: 1-bit samples (modality SEG)"},
      {"ExplVR_BigEnd.dcm", expect::skipped, "skipped: colour image (3 samples per pixel, RGB)"},
      {"SC_rgb_jpeg_gdcm.dcm", expect::skipped, "skipped: colour image"},
      {"MR_truncated.dcm", expect::damaged, "file ends inside the pixel data"},
      {"rtplan_truncated.dcm", expect::damaged, "file ends inside"},
  };
  temp_dir dir;
  dir.write("reference.py", reference_script);
  std::string names;
  for (const auto& c : cases) names += std::string(" ") + c.file;
  const auto made = run_in(dir.path(), "/usr/bin/python3 reference.py . " + names);
  if (made.status != 0 && made.err.find("No module named 'pydicom'") != std::string::npos)
    GTEST_SKIP() << "python3-pydicom is not installed";
  ASSERT_EQ(made.status, 0) << "python3-numpy and dcmtk are needed: " << made.err;
  std::map<std::string, reference> references;
  std::istringstream lines(made.out);
  for (std::string name; lines >> name;) {
    reference& ref = references[name];
    int is_signed = 1;
    lines >> ref.rows >> ref.columns >> ref.frames >> is_signed;
    ref.samples_signed = is_signed != 0;
    ref.raw = dir.read(name + ".raw");
  }

  for (const auto& c : cases) {
    const auto bytes = bytes_of(dir / c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;
    const slice_read read = read_slice(bytes, decoder);
    const auto ref = references.find(c.file);
    if (read.header && ref != references.end()) {
      EXPECT_EQ(read.header->rows, ref->second.rows) << c.file;
      EXPECT_EQ(read.header->columns, ref->second.columns) << c.file;
    }
    if (c.outcome == expect::skipped || c.outcome == expect::damaged) {
      EXPECT_EQ(read.verdict,
                c.outcome == expect::skipped ? read_verdict::skipped : read_verdict::damaged)
          << c.file << ": " << describe(read.problem);
      EXPECT_TRUE(describe(read.problem).starts_with(c.problem))
          << c.file << ": " << describe(read.problem);
      continue;
    }
    // Compressed pixel data is the decoder's: a refusal in its words, or
    // samples that match wherever pydicom can decode them too.
    if (c.outcome == expect::compressed && read.verdict == read_verdict::damaged) {
      EXPECT_NE(read.problem.what, read_problem::kind::none) << c.file;
      continue;
    }
    ASSERT_EQ(read.verdict, read_verdict::decoded) << c.file << ": " << describe(read.problem);
    if (ref == references.end()) {
      EXPECT_EQ(c.outcome, expect::compressed) << c.file << ": pydicom read no samples";
      continue;
    }
    const decoded_slice& slice = read.slice;
    EXPECT_EQ(slice.frames, ref->second.frames) << c.file;
    EXPECT_EQ(slice.samples_signed, ref->second.samples_signed) << c.file;
    ASSERT_EQ(slice.samples.size(), ref->second.raw.size()) << c.file;
    EXPECT_TRUE(
        std::equal(slice.samples.begin(), slice.samples.end(), ref->second.raw.begin(),
                   [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }))
        << c.file;
  }
}
