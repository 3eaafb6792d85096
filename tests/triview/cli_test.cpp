// The built program on error paths and without a display: exact console text
// and exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "tests/common/temp_dir.hpp"

namespace {

const std::string hot_keys =
    "Hot keys: \n\tESC - quit the program\n\tl : move left(x-), r : move right(x+) r\n\tf : "
    "move forward(y+), b : move back(y-) ward\n\tu : move upper(z+), d : move down( z- )\n";

struct run_result {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs triview in `dir` with no display, so no window can open.
run_result run_triview(const temp_dir& dir, const std::string& args,
                       const std::string& binary = TRIVIEW_BINARY) {
  const std::string command = "cd '" + dir.path().string() + "' && env -u DISPLAY '" + binary +
                              "' " + args + " >out.txt 2>err.txt";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir.read("out.txt"), dir.read("err.txt")};
}

void write_slice(const temp_dir& dir, const std::string& name, int width, int height) {
  std::filesystem::create_directories((dir / name).parent_path());
  ASSERT_TRUE(cv::imwrite((dir / name).string(), cv::Mat(height, width, CV_8UC1, cv::Scalar(90))));
}

TEST(triview_cli, help_prints_usage_and_succeeds) {
  temp_dir dir;
  const auto run = run_triview(dir, "--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("usage: triview [LIST]\n", 0), 0u) << run.out;
}

TEST(triview_cli, a_missing_list_is_named_with_status_1) {
  temp_dir dir;
  auto run = run_triview(dir, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "triview: sample_jpg_list.txt: cannot open path list\n");
  run = run_triview(dir, "other_list.txt");
  EXPECT_EQ(run.err, "triview: other_list.txt: cannot open path list\n");
}

TEST(triview_cli, a_list_without_tokens_fails_with_status_1) {
  temp_dir dir;
  dir.write("sample_jpg_list.txt", " \r\n\n");
  const auto run = run_triview(dir, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "triview: sample_jpg_list.txt: path list holds no file name\n");
}

TEST(triview_cli, an_unreadable_first_slice_ends_with_minus_1_before_the_count) {
  temp_dir dir;
  dir.write("list.txt", "sample\\missing.jpg\n");
  const auto run = run_triview(dir, "list.txt");
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "triview: sample\\missing.jpg: cannot load image\n");
}

TEST(triview_cli, an_unreadable_later_slice_ends_with_minus_1_after_the_count) {
  temp_dir dir;
  write_slice(dir, "sample/a.jpg", 8, 6);
  write_slice(dir, "sample/c.jpg", 8, 6);
  dir.write("sample/b.jpg", "truncated");
  dir.write("list.txt", "sample\\a.jpg\nsample\\b.jpg\nsample\\c.jpg\n");
  const auto run = run_triview(dir, "list.txt");
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.out, "islice:3\n");
  EXPECT_EQ(run.err, "triview: sample\\b.jpg: cannot load image\n");
}

TEST(triview_cli, a_slice_of_another_size_is_refused) {
  temp_dir dir;
  write_slice(dir, "s/a.jpg", 8, 6);
  write_slice(dir, "s/b.jpg", 8, 6);
  write_slice(dir, "s/c.jpg", 9, 6);
  dir.write("list.txt", "s\\a.jpg s\\b.jpg s\\c.jpg");
  const auto run = run_triview(dir, "list.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "islice:3\n");
  EXPECT_EQ(run.err, "triview: s\\c.jpg: size 9x6 differs from the first slice's 8x6\n");
}

TEST(triview_cli, without_a_display_the_stack_loads_then_status_1) {
  temp_dir dir;
  write_slice(dir, "sample/sample001.jpg", 8, 6);
  write_slice(dir, "sample/sample002.jpg", 8, 6);
  dir.write("sample_jpg_list.txt", "sample\\sample001.jpg\r\nsample/sample002.jpg\r\n");
  const auto run = run_triview(dir, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "islice:2\n" + hot_keys);
  EXPECT_EQ(run.err, "triview: DISPLAY is not set: cannot open display\n");
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
}

}  // namespace
