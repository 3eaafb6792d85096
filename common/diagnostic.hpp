#pragma once

#include <string>
#include <string_view>

// The one form of every line a program adds on standard error:
// "program: subject: what is wrong", lower-case, no final period.
namespace common {

// ("dirsort", "a\nb.txt", "cannot write") => "dirsort: a\\nb.txt: cannot write"
// Line breaks in the subject are escaped so one message stays one line.
std::string diagnostic(std::string_view program, std::string_view subject, std::string_view what);

// The C library's reason for an errno value, worded the same in every program:
// ENOENT => "no such file or directory", ENOSPC => "no space left on device".
std::string system_reason(int error_number);

}  // namespace common
