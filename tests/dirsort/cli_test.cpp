// Whole-program runs of the built dirsort on real directories.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;

namespace {

struct program_run {
  std::string out;
  std::string err;
  int status = -1;
};

struct run_options {
  std::string locale = "C.UTF-8";
  bool unprivileged = false;  // as nobody when the tests run as root, so permissions count
  std::string out_file = {};  // standard output goes here instead of being captured
};

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A copy of the program that nobody may run: a clone under /root (mode 700) is out of its reach.
const std::string& binary_for_nobody() {
  static const std::string copy = [] {
    const fs::path dir = fs::temp_directory_path() / ("dirsort-bin-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::copy_file(DIRSORT_BIN, dir / "dirsort", fs::copy_options::overwrite_existing);
    fs::permissions(dir / "dirsort", fs::perms::owner_all | fs::perms::group_exec |
                                         fs::perms::others_exec | fs::perms::group_read |
                                         fs::perms::others_read);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(fs::temp_directory_path() / ("dirsort-bin-" + std::to_string(::getpid())),
                     ignored);
    });
    return (dir / "dirsort").string();
  }();
  return copy;
}

program_run run_dirsort(const fs::path& cwd, const std::vector<std::string>& args,
                        const run_options& options = {}) {
  const std::string binary =
      options.unprivileged && ::geteuid() == 0 ? binary_for_nobody() : std::string(DIRSORT_BIN);
  const fs::path out_path =
      fs::temp_directory_path() / ("dirsort-out-" + std::to_string(::getpid()));
  const fs::path err_path = out_path.string() + ".err";
  const pid_t child = ::fork();
  if (child == 0) {
    const fs::path out_target = options.out_file.empty() ? out_path : fs::path(options.out_file);
    const int out_fd = ::open(out_target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err_fd = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out_fd < 0 || err_fd < 0 || ::dup2(out_fd, 1) < 0 || ::dup2(err_fd, 2) < 0) ::_exit(126);
    if (options.unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(126);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::setenv("LC_ALL", options.locale.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  program_run result{read_file(out_path), read_file(err_path),
                     WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  fs::remove(out_path);
  fs::remove(err_path);
  return result;
}

void touch(const fs::path& path) {
  std::ofstream(path, std::ios::binary) << "";
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// The sample directory of the documentation: slices, two cases of txt, a subdirectory.
void make_sample(const fs::path& dir) {
  fs::create_directories(dir / "old");
  for (const char* name : {"IM.1", "IM.2", "IM.10", "a.DCM", "b.txt", "c.TXT"}) touch(dir / name);
}

const char* const sample_transcript =
    "sample : sample\n"
    "ファイル名: sample(ディレクトリ)fwname:sample_list.txt\n"
    "ファイル名: .\n(ディレクトリ)ファイル名: ..\n(ディレクトリ)"
    "ファイル名: IM.1\nsample\\IM.1\nsample\\IM.1\n"
    "ファイル名: IM.10\nsample\\IM.10\nsample\\IM.10\n"
    "ファイル名: IM.2\nsample\\IM.2\nsample\\IM.2\n"
    "ファイル名: a.DCM\nsample\\a.DCM\nsample\\a.DCM\n"
    "ファイル名: b.txt\nsample\\b.txt\next:txt\ntmp_fwname:sample_txt_list.txt\n"
    "ファイル名: c.TXT\nsample\\c.TXT\next:TXT\ntmp_fwname:sample_TXT_list.txt\n"
    "ファイル名: old\n(ディレクトリ)"
    "tmp_fwname:sample_list.txt\n"
    "ext:txt\ntmp_fwname:sample_txt_list.txt\n"
    "ext:TXT\ntmp_fwname:sample_TXT_list.txt\n"
    "ファイルサイズ: 50\n";

// The same texts as Shift_JIS bytes, written out independently of iconv.
std::string in_shift_jis(std::string text) {
  const std::pair<const char*, const char*> labels[] = {
      {"ファイル名: ", "\x83\x74\x83\x40\x83\x43\x83\x8B\x96\xBC: "},
      {"(ディレクトリ)", "(\x83\x66\x83\x42\x83\x8C\x83\x4E\x83\x67\x83\x8A)"},
      {"ファイルサイズ: ", "\x83\x74\x83\x40\x83\x43\x83\x8B\x83\x54\x83\x43\x83\x59: "},
      {"検索失敗", "\x8C\x9F\x8D\xF5\x8E\xB8\x94\x73"},
      {"消去しました。", "\x8F\xC1\x8B\x8E\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42"}};
  for (const auto& [utf8, sjis] : labels)
    for (std::size_t at; (at = text.find(utf8)) != std::string::npos;)
      text.replace(at, std::string_view(utf8).size(), sjis);
  return text;
}

bool locale_exists(const char* name) {
  const locale_t loc = ::newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return false;
  ::freelocale(loc);
  return true;
}

}  // namespace

TEST(dirsort_cli, sample_directory_in_utf8) {
  temp_dir dir;
  make_sample(dir / "sample");
  const auto result = run_dirsort(dir.path(), {"sample"});
  EXPECT_EQ(result.out, sample_transcript);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("sample_list.txt"),
            "sample\\IM.1\nsample\\IM.10\nsample\\IM.2\nsample\\a.DCM\n");
  EXPECT_EQ(dir.read("sample_txt_list.txt"), "sample\\b.txt\n");
  EXPECT_EQ(dir.read("sample_TXT_list.txt"), "sample\\c.TXT\n");
}

TEST(dirsort_cli, sample_directory_in_shift_jis) {
  ASSERT_TRUE(locale_exists("ja_JP.SJIS")) << "scripts/setup.sh generates the ja_JP.SJIS locale";
  temp_dir dir;
  make_sample(dir / "sample");
  const auto result = run_dirsort(dir.path(), {"sample"}, {.locale = "ja_JP.SJIS"});
  EXPECT_EQ(result.out, in_shift_jis(sample_transcript));
  EXPECT_EQ(result.status, 0);

  fs::create_directory(dir / "empty");
  const auto removed = run_dirsort(dir.path(), {"empty"}, {.locale = "ja_JP.SJIS"});
  EXPECT_TRUE(
      removed.out.ends_with(in_shift_jis("ファイルサイズ: 0\nempty_list.txt 消去しました。\n")));
}

TEST(dirsort_cli, help_and_argument_forms) {
  temp_dir dir;
  const auto help = run_dirsort(dir.path(), {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("usage: dirsort"));
  const auto unknown = run_dirsort(dir.path(), {"-r", "sample"});
  EXPECT_EQ(unknown.status, 64);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err,
            "dirsort: -r: unknown option (a directory whose name starts with - follows --)\n");

  make_sample(dir / "data" / "sample");
  fs::create_directory(dir / "work");
  const auto relative = run_dirsort(dir / "work", {"..\\data\\sample", "ignored"});
  EXPECT_EQ(relative.status, 0);
  EXPECT_EQ(lines_of(read_file(dir / "work" / "sample_list.txt"))[0], "..\\data\\sample\\IM.1");

  fs::create_directory(dir / "work" / "-old");
  touch(dir / "work" / "-old" / "IM.1");
  const auto dashed = run_dirsort(dir / "work", {"--", "-old"});
  EXPECT_EQ(dashed.status, 0);
  EXPECT_EQ(lines_of(read_file(dir / "work" / "-old_list.txt"))[0], "-old\\IM.1");

  const auto slashes = run_dirsort(dir / "work", {"../data/sample"});
  EXPECT_EQ(slashes.status, 0);
  EXPECT_EQ(lines_of(read_file(dir / "work" / "sample_list.txt"))[0], "../data/sample\\IM.1");
}

TEST(dirsort_cli, without_argument_a_failed_second_search_keeps_every_list) {
  temp_dir dir;
  make_sample(dir / "sample");
  dir.write("sample_list.txt", "kept\n");
  const auto result = run_dirsort(dir.path(), {});
  EXPECT_EQ(result.out,
            ".\\*.*\nファイル名: .(ディレクトリ)ファイル名: ..(ディレクトリ)"
            "ファイル名: sample(ディレクトリ)ファイル名: sample_list.txt"
            "fwname:sample_list.txt\n検索失敗\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "dirsort: .\\*.*\\*.*: cannot open directory ./*.*: no such file or directory\n");
  EXPECT_EQ(dir.read("sample_list.txt"), "kept\n");
}

TEST(dirsort_cli, missing_directory_or_regular_file) {
  temp_dir dir;
  dir.write("nosuch_list.txt", "kept\n");
  const auto missing = run_dirsort(dir.path(), {"nosuch"});
  EXPECT_EQ(missing.out, "nosuch : nosuch\n検索失敗\n");
  EXPECT_EQ(missing.err, "dirsort: nosuch: no such file or directory\n");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(dir.read("nosuch_list.txt"), "kept\n");

  const auto file = run_dirsort(dir.path(), {"nosuch_list.txt"});
  EXPECT_EQ(file.out, "nosuch_list.txt : nosuch_list.txt\nファイル名: nosuch_list.txt検索失敗\n");
  EXPECT_EQ(file.status, 1);
  EXPECT_EQ(dir.read("nosuch_list.txt"), "kept\n");
}

TEST(dirsort_cli, console_that_cannot_be_written_is_reported) {
  temp_dir dir;
  make_sample(dir / "sample");
  const auto result = run_dirsort(dir.path(), {"sample"}, {.out_file = "/dev/full"});
  EXPECT_EQ(result.err, "dirsort: standard output: cannot write: no space left on device\n");
  EXPECT_EQ(result.status, 1);
}

TEST(dirsort_cli, unreadable_directory_keeps_the_old_list) {
  temp_dir dir;
  fs::permissions(dir.path(), fs::perms::all);
  make_sample(dir / "sample");
  dir.write("sample_list.txt", "kept\n");
  fs::permissions(dir / "sample", fs::perms::none);
  const auto result = run_dirsort(dir.path(), {"sample"}, {.unprivileged = true});
  fs::permissions(dir / "sample", fs::perms::owner_all);
  EXPECT_TRUE(result.out.ends_with("fwname:sample_list.txt\n検索失敗\n"));
  EXPECT_EQ(result.err, "dirsort: sample\\*.*: cannot open directory sample: permission denied\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(dir.read("sample_list.txt"), "kept\n");
}

TEST(dirsort_cli, list_that_cannot_be_replaced_is_named_and_kept) {
  temp_dir dir;
  make_sample(dir / "sample");
  fs::create_directories(dir / "sample_txt_list.txt" / "inside");
  const auto result = run_dirsort(dir.path(), {"sample"});
  EXPECT_EQ(result.out, sample_transcript);
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(result.err.starts_with("dirsort: sample_txt_list.txt: cannot replace: "));
  EXPECT_TRUE(fs::is_directory(dir / "sample_txt_list.txt" / "inside"));
  EXPECT_EQ(dir.read("sample_TXT_list.txt"), "sample\\c.TXT\n");
  for (const auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);
}

TEST(dirsort_cli, non_ascii_names_sort_after_ascii) {
  temp_dir dir;
  fs::create_directory(dir / "s");
  for (const char* name : {"\xE6\x97\xA5\xE6\x9C\xAC.1", "\x93\xFA\x96\x7B.2", "z.3", "A.4"})
    touch(dir / "s" / name);
  const auto result = run_dirsort(dir.path(), {"s"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("s_list.txt"),
            "s\\A.4\ns\\z.3\ns\\\x93\xFA\x96\x7B.2\ns\\\xE6\x97\xA5\xE6\x9C\xAC.1\n");
}

TEST(dirsort_cli, long_names_and_patterns) {
  temp_dir dir;
  // A pattern of more than 300 characters, naming a directory that holds a 255-byte name.
  fs::path deep = dir.path();
  std::string pattern;
  for (int i = 0; i < 3; ++i) {
    const std::string part(100, static_cast<char>('a' + i));
    deep /= part;
    if (!pattern.empty()) pattern += '\\';
    pattern += part;
  }
  deep /= "series";
  pattern += "\\series";
  fs::create_directories(deep);
  const std::string long_name = std::string(251, 'n') + ".12";
  touch(deep / long_name);
  auto result = run_dirsort(dir.path(), {pattern});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("series_list.txt"), pattern + "\\" + long_name + "\n");

  // A list name beyond the file system's limit is reported, not cut short.
  const std::string long_dir(250, 'd');
  fs::create_directory(dir / long_dir);
  touch(dir / long_dir / "IM.1");
  result = run_dirsort(dir.path(), {long_dir});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find(long_dir + "_list.txt: "), std::string::npos);
  EXPECT_NE(result.err.find("file name too long"), std::string::npos);
}

TEST(dirsort_cli, ten_thousand_files) {
  temp_dir dir;
  const fs::path series = dir / "big";
  fs::create_directory(series);
  for (int i = 1; i <= 6000; ++i) touch(series / ("IM." + std::to_string(i)));
  const char* const others[] = {"txt", "jpg", "TXT", "log"};
  for (int i = 0; i < 4000; ++i) {
    std::string name = std::to_string(i);
    name.insert(name.begin(), 'f');
    name += '.';
    name += others[i % 4];
    touch(series / name);
  }
  const auto result = run_dirsort(dir.path(), {"big"});
  EXPECT_EQ(result.status, 0);
  const auto main_lines = lines_of(dir.read("big_list.txt"));
  ASSERT_EQ(main_lines.size(), 6000u);
  EXPECT_TRUE(std::is_sorted(main_lines.begin(), main_lines.end()));
  EXPECT_EQ(main_lines[0], "big\\IM.1");
  EXPECT_EQ(main_lines[1], "big\\IM.10");
  EXPECT_EQ(lines_of(dir.read("big_jpg_list.txt")).size(), 1000u);
  EXPECT_EQ(lines_of(dir.read("big_TXT_list.txt")).size(), 1000u);
}

TEST(dirsort_cli, jpeg_slices_listed_in_slice_order) {
  temp_dir dir;
  fs::create_directory(dir / "sample");
  for (int i = 120; i >= 1; --i) {
    char name[32];
    std::snprintf(name, sizeof name, "sample%03d.jpg", i);
    touch(dir / "sample" / name);
  }
  touch(dir / "sample" / "IM.1");
  const auto result = run_dirsort(dir.path(), {"sample"});
  EXPECT_EQ(result.status, 0);
  const auto lines = lines_of(dir.read("sample_jpg_list.txt"));
  ASSERT_EQ(lines.size(), 120u);
  EXPECT_EQ(lines.front(), "sample\\sample001.jpg");
  EXPECT_EQ(lines[99], "sample\\sample100.jpg");
  EXPECT_EQ(lines.back(), "sample\\sample120.jpg");
}

TEST(dirsort_cli, exported_series_named_by_number_given_with_a_final_separator) {
  temp_dir dir;
  fs::create_directories(dir / "series");
  for (const char* name : {"IM000002", "IM000001", "10", "9", "DICOMDIR", "VERSION"})
    touch(dir / "series" / name);
  const auto result = run_dirsort(dir.path(), {"series/"});
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out.starts_with("series/ : series\n"));
  EXPECT_NE(result.out.find("ファイル名: DICOMDIR\nseries\\DICOMDIR\nファイル名: IM000001\n"
                            "series\\IM000001\nseries\\IM000001\n"),
            std::string::npos);
  EXPECT_EQ(dir.read("series_list.txt"),
            "series\\10\nseries\\9\nseries\\IM000001\nseries\\IM000002\n");
  EXPECT_EQ(run_dirsort(dir.path(), {"series\\"}).status, 0);
  EXPECT_EQ(lines_of(dir.read("series_list.txt"))[0], "series\\10");
}
