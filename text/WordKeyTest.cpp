#include <gtest/gtest.h>

#include <string>

#include "text/WordKey.h"

namespace urdulex::internal {
namespace {

TEST(WordKeyTest, KeysLeaveOutMarksDirectionalMarksAndTatweels) {
  struct Case {
    std::u16string word;
    bool own_key;
    std::u16string key;
  } cases[] = {
      {u"\u06A9\u062A\u0627\u0628", true, u""},
      {u"\u06A9\u0650\u062A\u0627\u0628", false, u"\u06A9\u062A\u0627\u0628"},
      {u"\u06A9\u062A\u0640\u0640\u0627\u0628", false,
       u"\u06A9\u062A\u0627\u0628"},
      {u"\u06A9\u200E\u0650\u062A\u0627\u0628\u061C", false,
       u"\u06A9\u062A\u0627\u0628"},
      {u"\u2067\u06A9\u202B\u062A\u202E\u2069", false, u"\u06A9\u062A"},
      {u"\u0640", false, u""},
      // ZWNJ inside a word is part of its key; superscript alef stays.
      {u"\u0642\u200C\u062F\u0670", true, u""},
  };
  for (const Case& c : cases) {
    std::u16string key = u"=";
    EXPECT_EQ(!c.own_key, AppendWordKey(c.word.data(), c.word.size(), &key));
    EXPECT_EQ(u"=" + c.key, key);
  }
}

TEST(WordKeyTest, DirectionalMarksGoBackAfterTheirLetter) {
  const std::u16string form = u"\u06A9\u0650\u062A\u0627\u0628";  // kitaab
  struct Case {
    std::u16string original;
    std::u16string written;
  } cases[] = {
      {u"\u06A9\u062A\u200E\u0627\u0628",
       u"\u06A9\u0650\u062A\u200E\u0627\u0628"},
      // A mark before a letter's vowel comes after it.
      {u"\u06A9\u200E\u0650\u062A\u0627\u0628",
       u"\u06A9\u0650\u200E\u062A\u0627\u0628"},
      {u"\u202B\u06A9\u062A\u0627\u0628\u202C",
       u"\u202B\u06A9\u0650\u062A\u0627\u0628\u202C"},
      // Tatweels are dropped; the marks keep their letters.
      {u"\u06A9\u062A\u0640\u200F\u0627\u0628\u0640",
       u"\u06A9\u0650\u062A\u200F\u0627\u0628"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.written,
              WithDirectionalMarks(c.original.data(), c.original.size(),
                                   form.data(), form.size()));
  }
}

}  // namespace
}  // namespace urdulex::internal
