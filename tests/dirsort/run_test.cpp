#include "dirsort/run.hpp"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// An in-memory working directory with scripted search results.
struct fake_files {
  std::map<std::string, common::search_result> searches;
  std::map<std::string, std::string> files;
  std::set<std::string> unwritable;
  std::set<std::string> unremovable;
  std::map<std::string, std::string> heads;  // first bytes of files the run may sniff
  bool folds_case = false;
  std::string_view line_end = "\n";

  dirsort::file_system view() {
    return {
        [this](std::string_view pattern) {
          const auto found = searches.find(std::string(pattern));
          return found == searches.end() ? common::search_result{{}, "no entry matches"}
                                         : found->second;
        },
        [this](const std::string& path) -> std::optional<common::dir_entry> {
          const auto found = files.find(path);
          if (found == files.end()) return std::nullopt;
          return common::dir_entry{path, false, static_cast<std::uint32_t>(found->second.size())};
        },
        [this](const std::string& path, std::string_view content) -> std::optional<std::string> {
          if (unwritable.count(path)) return "cannot replace: is a directory";
          files[path] = std::string(content);
          return std::nullopt;
        },
        [this](const std::string& path) -> std::optional<std::string> {
          if (unremovable.count(path)) return "permission denied";
          files.erase(path);
          return std::nullopt;
        },
        [this](const std::string& path, std::size_t bytes) {
          const auto found = heads.find(path);
          return found == heads.end() ? std::string() : found->second.substr(0, bytes);
        },
        [this](const std::string& path) { return folds_case && files.count(path) > 0; },
        line_end,
    };
  }
};

// Names ending in '/' are directories.
common::search_result listing(std::initializer_list<std::string> names) {
  common::search_result result;
  for (std::string name : names) {
    const bool is_directory = name.back() == '/';
    if (is_directory) name.pop_back();
    result.entries.push_back({name, is_directory, 0});
  }
  return result;
}

const dirsort::console_labels& utf8() {
  static const auto labels = dirsort::labels_for("UTF-8");
  return labels;
}

dirsort::run_result run(fake_files& fake, std::optional<std::string> argument) {
  return dirsort::run(argument, utf8(), fake.view());
}

fake_files sample_directory() {
  fake_files fake;
  fake.searches["sample"] = listing({"sample/"});
  fake.searches["sample\\*.*"] =
      listing({"./", "../", "IM.1", "IM.10", "IM.2", "a.DCM", "b.txt", "c.TXT", "old/"});
  return fake;
}

}  // namespace

TEST(run, sample_directory_transcript_and_lists) {
  fake_files fake = sample_directory();
  const auto result = run(fake, "sample");
  EXPECT_EQ(result.console.out_text(),
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
            "ファイルサイズ: 50\n");
  EXPECT_TRUE(result.console.errors().empty());
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(fake.files,
            (std::map<std::string, std::string>{{"sample_list.txt",
                                                 "sample\\IM.1\nsample\\IM.10\nsample\\IM.2\n"
                                                 "sample\\a.DCM\n"},
                                                {"sample_txt_list.txt", "sample\\b.txt\n"},
                                                {"sample_TXT_list.txt", "sample\\c.TXT\n"}}));
}

TEST(run, failed_second_search_without_argument_touches_no_list) {
  fake_files fake;
  fake.searches[".\\*.*"] = listing({"./", "../", "build/", "data/", "notes.txt"});
  fake.searches[".\\*.*\\*.*"] = {{}, "cannot open directory ./*.*: no such file or directory"};
  fake.files["data_list.txt"] = "data\\IM.1\n";
  const auto result = run(fake, std::nullopt);
  EXPECT_EQ(result.console.out_text(),
            ".\\*.*\n"
            "ファイル名: .(ディレクトリ)ファイル名: ..(ディレクトリ)ファイル名: build(ディレクトリ)"
            "ファイル名: data(ディレクトリ)ファイル名: notes.txtfwname:data_list.txt\n"
            "検索失敗\n");
  EXPECT_EQ(result.exit_status, 1);
  ASSERT_EQ(result.console.errors().size(), 1u);
  EXPECT_EQ(result.console.errors()[0].text,
            "dirsort: .\\*.*\\*.*: cannot open directory ./*.*: no such file or directory");
  EXPECT_EQ(fake.files, (std::map<std::string, std::string>{{"data_list.txt", "data\\IM.1\n"}}));
}

TEST(run, nothing_counted_ends_with_failed_size_check) {
  fake_files dots_only;
  dots_only.searches[".\\*.*"] = listing({"./", "../", ".git/", "a.txt"});
  auto result = run(dots_only, std::nullopt);
  EXPECT_EQ(result.console.out_text(),
            ".\\*.*\nファイル名: .(ディレクトリ)ファイル名: ..(ディレクトリ)"
            "ファイル名: .git(ディレクトリ)ファイル名: a.txt検索失敗\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_TRUE(dots_only.files.empty());

  fake_files regular_file;
  regular_file.searches["sample\\IM.1"] = listing({"IM.1"});
  result = run(regular_file, "sample\\IM.1");
  EXPECT_EQ(result.console.out_text(), "sample\\IM.1 : sample\\IM.1\nファイル名: IM.1検索失敗\n");
  ASSERT_EQ(result.console.errors().size(), 1u);
  EXPECT_EQ(result.console.errors()[0].text,
            "dirsort: sample\\IM.1: finds no directory to list, no list written");
  EXPECT_TRUE(regular_file.files.empty());
}

TEST(run, missing_directory_fails_at_the_first_search) {
  fake_files fake;
  fake.searches["nosuch"] = {{}, "no such file or directory"};
  const auto result = run(fake, "nosuch");
  EXPECT_EQ(result.console.out_text(), "nosuch : nosuch\n検索失敗\n");
  EXPECT_EQ(result.exit_status, 1);
  ASSERT_EQ(result.console.errors().size(), 1u);
  EXPECT_EQ(result.console.errors()[0].text, "dirsort: nosuch: no such file or directory");
  EXPECT_EQ(result.console.errors()[0].after, result.console.out_text().size());
}

TEST(run, empty_main_list_is_removed_or_reported) {
  fake_files fake;
  fake.searches["jpg"] = listing({"jpg/"});
  fake.searches["jpg\\*.*"] = listing({"./", "../", "a.jpg"});
  fake.files["jpg_list.txt"] = "jpg\\IM.1\n";  // from a run when it held slices
  auto result = run(fake, "jpg");
  const std::string tail =
      "tmp_fwname:jpg_list.txt\next:jpg\ntmp_fwname:jpg_jpg_list.txt\n"
      "ファイルサイズ: 0\n";
  EXPECT_TRUE(result.console.out_text().ends_with(tail + "jpg_list.txt 消去しました。\n"));
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(fake.files, (std::map<std::string, std::string>{{"jpg_jpg_list.txt", "jpg\\a.jpg\n"}}));

  fake.unremovable.insert("jpg_list.txt");
  result = run(fake, "jpg");
  EXPECT_TRUE(result.console.out_text().ends_with(tail + "jpg_list.txt 消去できません\n"));
  EXPECT_EQ(result.exit_status, 1);
  ASSERT_EQ(result.console.errors().size(), 1u);
  EXPECT_EQ(result.console.errors()[0].text,
            "dirsort: jpg_list.txt: cannot remove: permission denied");
}

TEST(run, unwritable_list_is_named_and_the_others_are_written) {
  fake_files reference = sample_directory();
  const auto expected = run(reference, "sample");
  fake_files fake = sample_directory();
  fake.unwritable.insert("sample_txt_list.txt");
  const auto result = run(fake, "sample");
  EXPECT_EQ(result.console.out_text(), expected.console.out_text());
  EXPECT_EQ(result.exit_status, 1);
  ASSERT_EQ(result.console.errors().size(), 1u);
  EXPECT_EQ(result.console.errors()[0].text,
            "dirsort: sample_txt_list.txt: cannot replace: is a directory");
  EXPECT_TRUE(fake.files.count("sample_list.txt"));
  EXPECT_TRUE(fake.files.count("sample_TXT_list.txt"));
  EXPECT_FALSE(fake.files.count("sample_txt_list.txt"));
}

TEST(run, old_main_list_that_cannot_be_replaced_is_kept) {
  fake_files fake;
  fake.searches["s"] = listing({"s/"});
  fake.searches["s\\*.*"] = listing({"./", "../", "a.txt"});
  fake.files["s_list.txt"] = "";
  fake.unwritable.insert("s_list.txt");
  const auto result = run(fake, "s");
  EXPECT_TRUE(result.console.out_text().ends_with("ファイルサイズ: 0\n"));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_TRUE(fake.files.count("s_list.txt"));
}

TEST(run, extension_list_holds_only_this_runs_files) {
  fake_files fake = sample_directory();
  fake.files["sample_txt_list.txt"] = "sample\\gone.txt\nsample\\older.txt\n";
  run(fake, "sample");
  EXPECT_EQ(fake.files["sample_txt_list.txt"], "sample\\b.txt\n");
}

TEST(run, any_number_and_length_of_extensions) {
  fake_files fake;
  fake.searches["d"] = listing({"d/"});
  common::search_result entries = listing({"./", "../"});
  for (int i = 0; i < 35; ++i) entries.entries.push_back({"f.e" + std::to_string(i), false, 0});
  const std::string long_extension(40, 'x');
  entries.entries.push_back({"long." + long_extension, false, 0});
  fake.searches["d\\*.*"] = entries;
  const auto result = run(fake, "d");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(fake.files.size(), 36u);
  EXPECT_EQ(fake.files["d_e34_list.txt"], "d\\f.e34\n");
  EXPECT_EQ(fake.files["d_" + long_extension + "_list.txt"], "d\\long." + long_extension + "\n");
}

TEST(run, relative_pattern_goes_into_lines_and_dir_name_into_list_names) {
  fake_files fake;
  fake.searches["..\\data\\sample"] = listing({"sample/"});
  fake.searches["..\\data\\sample\\*.*"] = listing({"./", "../", "IM.1", "IM.2"});
  run(fake, "..\\data\\sample");
  EXPECT_EQ(fake.files["sample_list.txt"], "..\\data\\sample\\IM.1\n..\\data\\sample\\IM.2\n");
}

TEST(run, names_with_a_line_break_are_left_out_and_reported) {
  fake_files fake;
  fake.searches["s"] = listing({"s/"});
  fake.searches["s\\*.*"] =
      listing({"./", "../", "IM.1", "a\nb.2", "c\r.txt", "with space.3", "a \"b\".4", "\"q\".5"});
  const auto result = run(fake, "s");
  // A quoted line cannot hold a quote: that path is left out, said, like a line break.
  EXPECT_EQ(fake.files["s_list.txt"], "s\\\"q\".5\ns\\IM.1\n\"s\\with space.3\"\n");
  EXPECT_EQ(fake.files["s_txt_list.txt"], "");
  EXPECT_EQ(result.exit_status, 1);
  ASSERT_EQ(result.console.errors().size(), 2u);
  EXPECT_EQ(result.console.errors()[0].text,
            "dirsort: s: 2 paths with a line break left out of the lists");
  EXPECT_EQ(result.console.errors()[1].text,
            "dirsort: s: 1 paths with white space and a double quote left out of the lists (a "
            "quoted line cannot hold a double quote)");
}

TEST(run, names_without_extension_are_slices_when_they_end_in_a_digit) {
  fake_files fake;
  fake.searches["s"] = listing({"s/"});
  fake.searches["s\\*.*"] = listing({"./", "../", "10", "IM.1", "IM000002", "README", "x."});
  const auto result = run(fake, "s");
  EXPECT_NE(result.console.out_text().find("ファイル名: 10\ns\\10\ns\\10\nファイル名: IM.1\n"),
            std::string::npos);
  EXPECT_NE(result.console.out_text().find("ファイル名: IM000002\ns\\IM000002\ns\\IM000002\n"
                                           "ファイル名: README\ns\\README\nファイル名: x.\ns\\x.\n"
                                           "tmp_fwname:s_list.txt\n"),
            std::string::npos);
  EXPECT_EQ(fake.files,
            (std::map<std::string, std::string>{{"s_list.txt", "s\\10\ns\\IM.1\ns\\IM000002\n"}}));
}

TEST(run, scanner_folders_list_ima_and_dicom_files_without_extension) {
  const std::string dicom_head = std::string(128, '\0') + "DICM";
  fake_files fake;
  fake.searches["CT Head"] = listing({"CT Head/"});
  fake.searches["CT Head\\*.*"] = listing({"./", "../", "DICOMDIR", "IM00000A", "IM00000B",
                                           "README", "S1.IMA", "._S1.IMA", "._a", "._b", "._c"});
  fake.heads["CT Head/IM00000A"] = dicom_head;
  fake.heads["CT Head/IM00000B"] = dicom_head;
  fake.heads["CT Head/DICOMDIR"] = dicom_head;
  fake.heads["CT Head/README"] = "read me";
  const auto result = run(fake, "CT Head");
  // Paths with white space are quoted in the list, so readers take them whole.
  EXPECT_EQ(fake.files["CT Head_list.txt"],
            "\"CT Head\\IM00000A\"\n\"CT Head\\IM00000B\"\n\"CT Head\\S1.IMA\"\n");
  std::string errors;
  for (const auto& line : result.console.errors()) errors += line.text + "\n";
  EXPECT_EQ(
      errors,
      "dirsort: CT Head/._S1.IMA: skipped: a Mac resource companion (\"._\" file), not a slice\n"
      "dirsort: CT Head/._a: skipped: a Mac resource companion (\"._\" file), not a slice\n"
      "dirsort: CT Head/._b: skipped: a Mac resource companion (\"._\" file), not a slice\n"
      "dirsort: CT Head: skipped 1 more Mac resource companions (\"._\" files)\n");
  EXPECT_EQ(result.exit_status, 0);
}

TEST(run, a_cd_root_says_which_sub_folders_hold_slices) {
  fake_files fake;
  fake.searches["CD"] = listing({"CD/"});
  fake.searches["CD\\*.*"] = listing({"./", "../", "DICOMDIR", "DICOM/"});
  fake.searches["CD\\DICOM\\*.*"] = listing({"./", "../", "S0000002/", "S0000001/"});
  fake.searches["CD\\DICOM\\S0000001\\*.*"] = listing({"./", "../", "IM1", "IM2"});
  fake.searches["CD\\DICOM\\S0000002\\*.*"] = listing({"./", "../", "IM1"});
  const auto result = run(fake, "CD");
  ASSERT_EQ(result.console.errors().size(), 1u);
  EXPECT_EQ(result.console.errors()[0].text,
            "dirsort: CD: no slice files here; sub-folders hold some: CD/DICOM/S0000001 (2 slice "
            "files), CD/DICOM/S0000002 (1 slice file); run dirsort on one of them");
  EXPECT_EQ(fake.files.count("CD_list.txt"), 0u);  // the empty list is removed as before
}

// As a Windows volume has them: lines end in CR LF, "txt" and "TXT" would be
// one file, names the code page cannot hold are counted.
TEST(run, windows_volumes_get_crlf_one_list_per_case_folded_extension_and_a_line_for_lost_names) {
  struct case_ {
    bool folds_case;
    std::size_t unnamable;
    std::map<std::string, std::string> lists;
    std::vector<std::string> errors;
    int status;
  };
  const std::vector<case_> cases{
      {false,
       0,
       {{"sample_list.txt", "sample\\IM.1\r\n"},
        {"sample_txt_list.txt", "sample\\b.txt\r\n"},
        {"sample_TXT_list.txt", "sample\\c.TXT\r\n"}},
       {},
       0},
      {true,
       0,
       {{"sample_list.txt", "sample\\IM.1\r\n"},
        {"sample_txt_list.txt", "sample\\b.txt\r\nsample\\c.TXT\r\n"}},
       {"dirsort: sample_txt_list.txt: also holds the .TXT files: this volume takes names that "
        "differ only in case for one"},
       0},
      {true,
       2,
       {{"sample_list.txt", "sample\\IM.1\r\n"},
        {"sample_txt_list.txt", "sample\\b.txt\r\nsample\\c.TXT\r\n"}},
       {"dirsort: sample: 2 names the code page cannot hold left out of the lists",
        "dirsort: sample_txt_list.txt: also holds the .TXT files: this volume takes names that "
        "differ only in case for one"},
       1},
  };
  for (const case_& c : cases) {
    fake_files fake;
    fake.folds_case = c.folds_case;
    fake.line_end = "\r\n";
    fake.searches["sample"] = listing({"sample/"});
    fake.searches["sample\\*.*"] = listing({"./", "../", "IM.1", "b.txt", "c.TXT"});
    fake.searches["sample\\*.*"].unnamable = c.unnamable;
    const auto result = run(fake, "sample");
    EXPECT_EQ(fake.files, c.lists) << c.folds_case << c.unnamable;
    std::vector<std::string> errors;
    for (const auto& line : result.console.errors()) errors.push_back(line.text);
    EXPECT_EQ(errors, c.errors);
    EXPECT_EQ(result.exit_status, c.status);
  }
}
