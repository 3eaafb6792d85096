#include "common/console_text.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

namespace {

// Sets LC_ALL for one test and restores it afterwards.
class scoped_lc_all {
 public:
  explicit scoped_lc_all(const char* value) {
    if (const char* old = ::getenv("LC_ALL")) old_ = old;
    ::setenv("LC_ALL", value, 1);
  }
  ~scoped_lc_all() {
    if (old_)
      ::setenv("LC_ALL", old_->c_str(), 1);
    else
      ::unsetenv("LC_ALL");
  }
  scoped_lc_all(const scoped_lc_all&) = delete;
  scoped_lc_all& operator=(const scoped_lc_all&) = delete;

 private:
  std::optional<std::string> old_;
};

}  // namespace

TEST(console_text, utf8_stays_as_it_is) {
  EXPECT_EQ(common::encode_for_console("検索失敗\n", "UTF-8"), "検索失敗\n");
  EXPECT_EQ(common::encode_for_console("検索失敗\n", "utf8"), "検索失敗\n");
}

TEST(console_text, shift_jis_bytes) {
  EXPECT_EQ(common::encode_for_console("検索失敗\n", "SHIFT_JIS"),
            "\x8C\x9F\x8D\xF5\x8E\xB8\x94\x73\n");
  EXPECT_EQ(common::encode_for_console(" 消去しました。", "SHIFT_JIS"),
            " \x8F\xC1\x8B\x8E\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42");
  EXPECT_EQ(common::encode_for_console("fwname:a", "SHIFT_JIS"), "fwname:a");
}

TEST(console_text, falls_back_to_utf8_when_the_codeset_cannot_hold_the_text) {
  EXPECT_EQ(common::encode_for_console("ファイル名: ", "ANSI_X3.4-1968"), "ファイル名: ");
  EXPECT_EQ(common::encode_for_console("ファイル名: ", "NO-SUCH-CODESET"), "ファイル名: ");
  EXPECT_EQ(common::encode_for_console("", "SHIFT_JIS"), "");
}

TEST(console_text, codeset_follows_the_locale) {
  {
    scoped_lc_all utf8("C.UTF-8");
    EXPECT_EQ(common::console_codeset(), "UTF-8");
  }
  {
    scoped_lc_all sjis("ja_JP.SJIS");
    EXPECT_EQ(common::console_codeset(), "SHIFT_JIS")
        << "the ja_JP.SJIS locale is missing; scripts/setup.sh generates it";
  }
  scoped_lc_all missing("xx_XX.NOPE");
  EXPECT_EQ(common::console_codeset(), "UTF-8");
}
