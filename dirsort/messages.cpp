#include "dirsort/messages.hpp"

#include "common/console_text.hpp"
#include "common/diagnostic.hpp"

namespace dirsort {

console_labels labels_for(const std::string& codeset) {
  const auto encode = [&codeset](const char* utf8) {
    return common::encode_for_console(utf8, codeset);
  };
  return {encode("ファイル名: "),     encode("(ディレクトリ)"),    encode("検索失敗\n"),
          encode("ファイルサイズ: "), encode(" 消去できません\n"), encode(" 消去しました。\n")};
}

std::string error_text(const std::string& subject, const std::string& what) {
  return common::diagnostic(program_name, subject, what);
}

std::string usage_text() {
  return "usage: dirsort [--] [DIRECTORY]\n"
         "Lists the files of DIRECTORY (a name or a search pattern; default .\\*.*) and\n"
         "writes, sorted in byte order, DIR_list.txt with its slice files (extension\n"
         "starting with a digit, .dcm, .dicm, or no dot and a final digit, as in\n"
         "IM000001) and DIR_EXT_list.txt for every other extension, into the working\n"
         "directory. An empty DIR_list.txt is removed. -- ends the options (a directory\n"
         "whose name starts with -).\n";
}

}  // namespace dirsort

namespace dirsort {

std::string more_companions(std::size_t count) {
  return "skipped " + std::to_string(count) + " more Mac resource companions (\"._\" files)";
}

std::string names_with_line_breaks(std::size_t count) {
  return std::to_string(count) + " paths with a line break left out of the lists";
}

std::string names_with_space_and_quote(std::size_t count) {
  return std::to_string(count) +
         " paths with white space and a double quote left out of the lists (a quoted line "
         "cannot hold a double quote)";
}

std::string unnamable_names(std::size_t count) {
  return std::to_string(count) + " names the code page cannot hold left out of the lists";
}

std::string also_holds(const std::string& extension) {
  return "also holds the ." + extension +
         " files: this volume takes names that differ only in case for one";
}

std::string slice_folders_hint(const std::vector<std::pair<std::string, std::size_t>>& folders) {
  constexpr std::size_t named = 5;
  std::string text = "no slice files here; sub-folders hold some: ";
  for (std::size_t i = 0; i < folders.size() && i < named; ++i) {
    if (i > 0) text += ", ";
    text += folders[i].first + " (" + std::to_string(folders[i].second) +
            (folders[i].second == 1 ? " slice file)" : " slice files)");
  }
  if (folders.size() > named) text += " and " + std::to_string(folders.size() - named) + " more";
  return text + "; run dirsort on one of them";
}

}  // namespace dirsort
