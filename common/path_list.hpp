#pragma once

#include <string>
#include <string_view>
#include <vector>

// The path list: the plain-text contract between the three programs. dirsort
// writes it; slicejpeg reads the first token of each line, triview every token.
namespace common {

// ("..\data\sample", "IM.1") => "..\data\sample\IM.1": the pattern as typed.
std::string path_line(std::string_view pattern, std::string_view name);

// The line as a list holds it: in double quotes when it holds white space,
// so that readers, which split at white space, take it whole.
// "CT Head\IM.1" => "\"CT Head\IM.1\""; "sample\IM.1" stays as it is.
std::string list_line(std::string_view path);

// Whether list_line can write the path so that it reads back: a path that
// needs quotes cannot hold a double quote itself.
bool listable(std::string_view path);

// A list holds one path per line, so a name with a line break has no line of its own.
bool has_line_break(std::string_view name);

// Unsigned byte order, as strcmp: "IM.10" < "IM.9" < "a.DCM"; bytes 0x80-0xFF after ASCII.
void sort_lines(std::vector<std::string>& lines);

// Every line followed by `line_end`; no lines => "".
std::string list_text(const std::vector<std::string>& lines, std::string_view line_end = "\n");

// The first white-space separated token of every line that has one; a NUL
// byte ends a line's text. "sample\\IM.1 x\r\n\n IM.2" => {"sample\\IM.1", "IM.2"}.
// A token that starts with a double quote runs to the next one (or the end
// of the line) and loses both: "\"CT Head\\IM.1\"" => {"CT Head\\IM.1"}.
std::vector<std::string> first_tokens(std::string_view text);

// Every white-space separated token, quoted ones whole: "a.jpg b.jpg\r\nc.jpg" => 3 tokens.
std::vector<std::string> all_tokens(std::string_view text);

}  // namespace common
