// The built program on error paths and without a display: exact console text
// and exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "tests/common/exif_jpeg.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

const std::string hot_keys =
    "Hot keys: \n\tESC - quit the program\n\tl : move left(x-), r : move right(x+) r\n\tf : "
    "move forward(y+), b : move back(y-) ward\n\tu : move upper(z+), d : move down( z- )\n";

// Runs triview in `dir` with no display, so no window can open; `limits`
// are shell commands run first (ulimit). Ten seconds at most: none may hang.
program_run run_triview(const temp_dir& dir, const std::string& args,
                        const std::string& binary = TRIVIEW_BINARY,
                        const std::string& limits = "") {
  return run_in(dir.path(),
                limits + " env -u DISPLAY timeout 10 " + shell_quote(binary) + " " + args);
}

// The sanitizers' shadow memory does not fit under a `ulimit -v`.
constexpr bool sanitized =
#if defined(__SANITIZE_ADDRESS__)
    true;
#else
    false;
#endif

std::string memory_limit(const std::string& kib) {
  return sanitized ? "" : "ulimit -v " + kib + ";";
}

void write_slice(const temp_dir& dir, const std::string& name, int width, int height) {
  std::filesystem::create_directories((dir / name).parent_path());
  ASSERT_TRUE(cv::imwrite((dir / name).string(), cv::Mat(height, width, CV_8UC1, cv::Scalar(90))));
}

TEST(triview_cli, help_prints_usage_and_succeeds) {
  temp_dir dir;
  const auto run = run_triview(dir, "--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("usage: triview [options] [LIST]\n", 0), 0u) << run.out;
}

// Each case from a fresh folder of the same slices and lists. Lists and
// slices are read only when they are regular files: a FIFO, a device or a
// directory is refused at once with what it is.
TEST(triview_cli, console_text_and_status_of_each_outcome) {
  const std::string no_display = "triview: DISPLAY is not set: cannot open display\n";
  std::vector<std::uint8_t> bomb, full;
  ASSERT_TRUE(cv::imencode(".jpg", cv::Mat(8, 8, CV_8UC1, cv::Scalar(0)), bomb));
  bomb = with_declared_size(std::move(bomb), 30000, 30000);
  cv::Mat noise(48, 64, CV_8UC1);
  cv::randu(noise, 0, 255);
  ASSERT_TRUE(cv::imencode(".jpg", noise, full));
  // Far below what decoding the bomb would take.
  const std::string bomb_limit = memory_limit("800000");
  // 32768 x 32767 is plausible for a file of a megabyte, but no view can hold it.
  std::vector<std::uint8_t> huge = with_declared_size(bomb, 32768, 32767);
  huge.resize(std::size_t{1} << 20);
  // Thousands of empty scans would keep a decoder busy for minutes.
  std::vector<std::uint8_t> scans = full;
  for (int i = 0; i < 1001; ++i) scans.insert(scans.end(), {0xFF, 0xDA, 0x00, 0x02});
  const std::string dicom(128, '\0');
  const std::string loaded = "triview: sample\\";
  const struct {
    const char* args;
    const char* default_list;  // sample_jpg_list.txt; nullptr: none
    int status;
    std::string out;
    std::string err;
    std::string limits = "";
  } cases[] = {
      {"", nullptr, 1, "",
       "triview: sample_jpg_list.txt: cannot open path list: no such file or directory\n"},
      {"other_list.txt", nullptr, 1, "",
       "triview: other_list.txt: cannot open path list: no such file or directory\n"},
      {"", " \r\n\n", 1, "", "triview: sample_jpg_list.txt: path list holds no file name\n"},
      {"", "sample\\a.jpg\r\nsample/c.jpg\r\n", 1, "islice:2\n" + hot_keys, no_display},
      // An unreadable first slice ends with -1 before the count, a later one after it.
      {"missing.txt", nullptr, 255, "",
       "triview: sample\\missing.jpg: cannot load image: no such file or directory\n"},
      {"later.txt", nullptr, 255, "islice:3\n",
       loaded + "b.jpg: cannot load image: is not a JPEG, PNG or BMP image\n"},
      // A DICOM list is read by the DICOM library, never by a library that can
      // abort on bad data, and never mixed with images; nor is anything
      // decoded in a format whose size is not read from its header first.
      {"dicom.txt", nullptr, 1, "",
       loaded + "ct.dcm: is no greyscale 16-bit DICOM image (a report, a plan, a colour image, "
                "or damaged)\n"},
      {"later_dicom.txt", nullptr, 255, "islice:2\n",
       loaded + "ct.dcm: cannot load image: is a DICOM file in a list of images: a list holds "
                "JPEG slices or DICOM slices, not both\n"},
      {"tiff.txt", nullptr, 255, "",
       loaded + "t.tif: cannot load image: is not a JPEG, PNG or BMP image\n"},
      {"bmp.txt", nullptr, 255, "",
       "triview: bomb.bmp: cannot load image: declares 30000x30000 pixels, more than its 26 bytes "
       "can hold\n"},
      {"scans.txt", nullptr, 255, "islice:2\n",
       "triview: scans.jpg: cannot load image: has 1002 JPEG scans, more than the 1000 a real "
       "image has\n"},
      {"huge.txt", nullptr, 1, "islice:1\n",
       "triview: huge.txt: 1 slices of 32768x32767 are too large to show: the x-y view would hold "
       "3.0 GiB\n",
       bomb_limit},
      {"sizes.txt", nullptr, 1, "islice:3\n",
       "triview: sample\\w.jpg: size 9x6 differs from the first slice's 8x6\n"},
      {"fifo", nullptr, 1, "",
       "triview: fifo: cannot open path list: is a fifo, not a regular file\n"},
      {"d", nullptr, 1, "", "triview: d: cannot open path list: is a directory\n"},
      {"fifo_list.txt", nullptr, 255, "",
       "triview: fifo: cannot load image: is a fifo, not a regular file\n"},
      {"zero_list.txt", nullptr, 255, "islice:2\n",
       "triview: /dev/zero: cannot load image: is a device, not a regular file\n"},
      {"--z-scale abc one.txt", nullptr, 64, "",
       "triview: --z-scale: is not a positive number: 'abc'\n"},
      {"--z-scale", nullptr, 64, "", "triview: --z-scale: needs a value, a positive number\n"},
      {"--z-scale 5e6 one.txt", nullptr, 64, "",
       "triview: --z-scale: is more than 32767, the most rows a window can show\n"},
      {"--zoom 17 one.txt", nullptr, 64, "", "triview: --zoom: is more than 16\n"},
      {"--zscale 2 one.txt", nullptr, 64, "",
       "triview: --zscale: unknown option (a list whose name starts with - follows --)\n"},
      {"--z-scale 2.5 one.txt", nullptr, 1, "islice:1\n" + hot_keys, no_display},
      // A decompression bomb is refused from its header; later slices are held
      // against the first one's size, before decoding.
      {"first.txt", nullptr, 255, "",
       "triview: bomb.jpg: cannot load image: declares 30000x30000 pixels, more than its " +
           std::to_string(bomb.size()) + " bytes can hold\n",
       bomb_limit},
      {"second.txt", nullptr, 1, "islice:3\n",
       "triview: bomb.jpg: size 30000x30000 differs from the first slice's 64x64\n", bomb_limit},
      // A truncated JPEG loads and is named.
      {"truncated.txt", nullptr, 1, "islice:3\n" + hot_keys,
       "triview: cut.jpg: file is incomplete, the rest of the slice is shown grey\n" + no_display},
  };
  for (const auto& c : cases) {
    temp_dir dir;
    write_slice(dir, "sample/a.jpg", 8, 6);
    write_slice(dir, "sample/c.jpg", 8, 6);
    write_slice(dir, "sample/w.jpg", 9, 6);
    dir.write("sample/b.jpg", "truncated");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "d");
    dir.write("missing.txt", "sample\\missing.jpg\n");
    dir.write("later.txt", "sample\\a.jpg\nsample\\b.jpg\nsample\\c.jpg\n");
    dir.write("sizes.txt", "sample\\a.jpg sample\\c.jpg sample\\w.jpg");
    dir.write("fifo_list.txt", "fifo");
    dir.write("zero_list.txt", "sample\\a.jpg /dev/zero");
    dir.write("one.txt", "sample\\a.jpg");
    dir.write("bomb.jpg", {bomb.begin(), bomb.end()});
    write_slice(dir, "b64.jpg", 64, 64);
    dir.write("first.txt", "bomb.jpg b64.jpg");
    dir.write("second.txt", "b64.jpg bomb.jpg b64.jpg");
    dir.write("full.jpg", {full.begin(), full.end()});
    dir.write("cut.jpg",
              {full.begin(), full.begin() + static_cast<std::ptrdiff_t>(full.size() * 2 / 3)});
    dir.write("truncated.txt", "full.jpg cut.jpg full.jpg");
    dir.write("sample/ct.dcm", dicom + "DICM");
    dir.write("dicom.txt", "sample\\ct.dcm sample\\a.jpg");
    dir.write("later_dicom.txt", "sample\\a.jpg sample\\ct.dcm");
    dir.write("sample/t.tif", std::string("II*\0\x08\0\0\0", 8));
    dir.write("tiff.txt", "sample\\t.tif");
    dir.write("scans.jpg", {scans.begin(), scans.end()});
    dir.write("scans.txt", "full.jpg scans.jpg");
    dir.write("huge.jpg", {huge.begin(), huge.end()});
    dir.write("huge.txt", "huge.jpg");
    dir.write("bomb.bmp",
              std::string("BM\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x30\x75\0\0\x30\x75\0\0", 26));
    dir.write("bmp.txt", "bomb.bmp");
    if (c.default_list) dir.write("sample_jpg_list.txt", c.default_list);
    const auto run = run_triview(dir, c.args, TRIVIEW_BINARY, c.limits);
    EXPECT_EQ(run.status, c.status) << c.args;
    EXPECT_EQ(run.out, c.out) << c.args;
    EXPECT_EQ(run.err, c.err) << c.args;
  }
}

// A copy of the program with no imread module beside it: JPEG slices load
// without it; a PNG fails as an unreadable image, the reason first.
TEST(triview_cli, without_the_imread_module_only_other_formats_fail) {
  temp_dir dir;
  std::filesystem::create_directories(dir / "alone/bin");
  std::filesystem::copy_file(TRIVIEW_BINARY, dir / "alone/bin/triview");
  const std::string alone = (dir / "alone/bin/triview").string();
  write_slice(dir, "s/a.jpg", 8, 6);
  write_slice(dir, "s/b.png", 8, 6);
  dir.write("jpegs.txt", "s\\a.jpg s\\a.jpg");
  dir.write("png.txt", "s\\a.jpg s\\b.png");

  auto run = run_triview(dir, "jpegs.txt", alone);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "islice:2\n" + hot_keys);
  EXPECT_EQ(run.err, "triview: DISPLAY is not set: cannot open display\n");

  run = run_triview(dir, "png.txt", alone);
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.out, "islice:2\n");
  const std::string alone_dir = std::filesystem::canonical(dir / "alone").string();
  EXPECT_EQ(run.err,
            "triview: libtriview_imread_fallback.so: cannot load the image reader "
            "module: not found in " +
                alone_dir + "/lib/ctview nor in " + alone_dir +
                "/lib\ntriview: s\\b.png: cannot load image\n");

  // With the module: the PNG loads.
  run = run_triview(dir, "png.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "islice:2\n" + hot_keys);

  // Too little address space for the module's libraries: the file is not at
  // fault, so memory is named and the status is the memory refusals' 1.
  if (sanitized) return;
  for (const char* kib : {"110000", "150000"}) {
    run = run_triview(dir, "png.txt", TRIVIEW_BINARY, memory_limit(kib));
    if (run.err.find("cannot load the image reader module") == std::string::npos) continue;
    EXPECT_EQ(run.status, 1) << kib << run.err;
    EXPECT_NE(run.err.find("triview: s\\b.png: cannot load image: out of memory\n"),
              std::string::npos)
        << kib << run.err;
  }
}

// 1,000 slices of 512 x 512 under a sweep of address-space limits: refused
// with what the stack needs, or with what it leaves for the windows, and at
// no limit a crash or a hang. Where each refusal begins depends on what the
// libraries map, so the sweep looks for both rather than at fixed limits.
TEST(triview_cli, a_stack_beyond_the_memory_limit_is_refused_before_any_window) {
  if (sanitized) GTEST_SKIP() << "no memory limit under the sanitizers";
  temp_dir dir;
  write_slice(dir, "s/a.jpg", 512, 512);
  std::string list;
  for (int i = 0; i < 1000; ++i) list += "s\\a.jpg\n";
  dir.write("list.txt", list);
  const std::string needs =
      "triview: list.txt: 1000 slices of 512x512 need 250.0 MiB of memory for the stack, which "
      "is not available\n";
  const std::string leaves =
      "triview: list.txt: the stack (250.0 MiB) leaves less than the 135.4 MiB the windows need\n";
  bool saw_needs = false, saw_leaves = false, saw_room = false;
  for (int limit_kib = 260000; limit_kib <= 900000 && !saw_room; limit_kib += 20000) {
    const std::string limit = "ulimit -v " + std::to_string(limit_kib) + ";";
    const auto run = run_triview(dir, "list.txt", TRIVIEW_BINARY, limit);
    EXPECT_EQ(run.status, 1) << limit << run.err;
    saw_needs = saw_needs || run.err == needs;
    saw_leaves = saw_leaves || run.err == leaves;
    // With room for everything, the viewer gets as far as the display.
    saw_room = run.out == "islice:1000\n" + hot_keys;
    if (!saw_room) {
      EXPECT_EQ(run.out, "islice:1000\n") << limit;
      EXPECT_TRUE(run.err == needs || run.err == leaves) << limit << ": " << run.err;
    }
  }
  EXPECT_TRUE(saw_needs);
  EXPECT_TRUE(saw_leaves);
  EXPECT_TRUE(saw_room);
}

// 32,787 slices of 1 x 65500 overflow an int; the y-z view alone would hold 6 GiB.
TEST(triview_cli, a_stack_too_large_to_show_is_refused) {
  temp_dir dir;
  write_slice(dir, "tall.jpg", 1, 65500);
  std::string list;
  for (int i = 0; i < 32787; ++i) list += "tall.jpg\n";
  dir.write("list.txt", list);
  const auto run = run_triview(dir, "list.txt", TRIVIEW_BINARY, memory_limit("2000000"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "islice:32787\n");
  EXPECT_EQ(run.err,
            "triview: list.txt: 32787 slices of 1x65500 are too large to show: the y-z view "
            "would hold 6.0 GiB\n");
  // One such slice fits in memory, but no window can be 65,500 pixels high.
  dir.write("one_tall.txt", "tall.jpg\n");
  const auto tall = run_triview(dir, "one_tall.txt", TRIVIEW_BINARY, memory_limit("2000000"));
  EXPECT_EQ(tall.status, 1);
  EXPECT_EQ(tall.err,
            "triview: one_tall.txt: the y-z view would be 65500x1 pixels on screen, more than the "
            "32767 a window can hold\n");
}

}  // namespace
