#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Every text and exit status of dirsort in one place.
namespace dirsort {

inline constexpr int exit_ok = 0;
inline constexpr int exit_failed = 1;  // a search found nothing, or a list could not be written
inline constexpr int exit_usage = 64;  // EX_USAGE: a malformed option, nothing written

inline constexpr const char* unknown_option =
    "unknown option (a directory whose name starts with - follows --)";

inline constexpr const char* default_pattern = ".\\*.*";
inline constexpr const char* program_name = "dirsort";

// The Japanese texts, converted once into the console's encoding.
struct console_labels {
  std::string file_name;      // "ファイル名: "
  std::string directory;      // "(ディレクトリ)"
  std::string search_failed;  // "検索失敗\n"
  std::string file_size;      // "ファイルサイズ: "
  std::string cannot_delete;  // " 消去できません\n"
  std::string deleted;        // " 消去しました。\n"
};

console_labels labels_for(const std::string& codeset);

// "dirsort: sample_list.txt: cannot write" form, without the line feed.
std::string error_text(const std::string& subject, const std::string& what);

std::string usage_text();

inline constexpr const char* skipped_companion =
    "skipped: a Mac resource companion (\"._\" file), not a slice";
std::string more_companions(std::size_t count);
// Names kept out of every list, and why.
std::string names_with_line_breaks(std::size_t count);
std::string names_with_space_and_quote(std::size_t count);
std::string unnamable_names(std::size_t count);
// "also holds the .TXT files: this volume takes names that differ only in case for one"
std::string also_holds(const std::string& extension);
// "no slice files here; sub-folders hold some: CD/DICOM/S1 (108 slice files); run dirsort on one of
// them"
std::string slice_folders_hint(const std::vector<std::pair<std::string, std::size_t>>& folders);

}  // namespace dirsort
