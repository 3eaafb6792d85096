#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace slicejpeg {

// The first white-space separated token of every line that has one; a NUL
// byte ends a line's text. "sample\\IM.1 x\r\n\n IM.2" => {"sample\\IM.1", "IM.2"}
std::vector<std::string> list_tokens(std::string_view text);

}  // namespace slicejpeg
