#include "common/console_text.hpp"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <vector>

namespace common {
namespace {

bool is_utf8(std::string_view codeset) {
  std::string folded;
  for (const char c : codeset)
    if (c != '-' && c != '_')
      folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded == "utf8";
}

// Owns one conversion descriptor so every return path closes it.
class converter {
 public:
  explicit converter(const std::string& codeset) : cd_(::iconv_open(codeset.c_str(), "UTF-8")) {}
  ~converter() {
    if (valid()) ::iconv_close(cd_);
  }
  converter(const converter&) = delete;
  converter& operator=(const converter&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  bool convert(std::string_view text, std::string& out) {
    std::vector<char> input(text.begin(), text.end());
    char* in_ptr = input.data();
    std::size_t in_left = input.size();
    std::vector<char> buffer(text.size() * 2 + 16);
    while (true) {
      char* out_ptr = buffer.data();
      std::size_t out_left = buffer.size();
      const std::size_t done = ::iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
      out.append(buffer.data(), buffer.size() - out_left);
      if (done != static_cast<std::size_t>(-1)) break;
      if (errno != E2BIG) return false;
    }
    char* out_ptr = buffer.data();
    std::size_t out_left = buffer.size();
    if (::iconv(cd_, nullptr, nullptr, &out_ptr, &out_left) == static_cast<std::size_t>(-1))
      return false;
    out.append(buffer.data(), buffer.size() - out_left);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string console_codeset() {
  const locale_t user = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (user == static_cast<locale_t>(nullptr)) return "UTF-8";
  std::string codeset = ::nl_langinfo_l(CODESET, user);
  ::freelocale(user);
  return codeset.empty() ? "UTF-8" : codeset;
}

std::string encode_for_console(std::string_view utf8_text, const std::string& codeset) {
  if (codeset.empty() || is_utf8(codeset)) return std::string(utf8_text);
  converter conversion(codeset);
  std::string encoded;
  if (!conversion.valid() || !conversion.convert(utf8_text, encoded)) return std::string(utf8_text);
  return encoded;
}

}  // namespace common
