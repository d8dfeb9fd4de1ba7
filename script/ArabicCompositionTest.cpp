#include <gtest/gtest.h>

#include <string>

#include "script/ArabicComposition.h"

namespace {

// Every case but the Urdu yeh is what Unicode NFC gives for the same text.
TEST(ArabicCompositionTest, ComposesBaseAndHamzaOrMadda) {
  struct Case {
    std::u16string text;
    std::u16string composed;
  } cases[] = {
      {u"\u0627\u0653", u"\u0622"},
      {u"\u0627\u0654", u"\u0623"},
      {u"\u0627\u0655", u"\u0625"},
      {u"\u0648\u0654", u"\u0624"},
      {u"\u064A\u0654", u"\u0626"},
      {u"\u06CC\u0654", u"\u0626"},
      {u"\u06C1\u0654", u"\u06C2"},
      {u"\u06D2\u0654", u"\u06D3"},
      {u"\u06D5\u0654", u"\u06C0"},
      // A mark of another class in between does not block; it stays after
      // the letter.
      {u"\u0627\u064E\u0653", u"\u0622\u064E"},
      {u"\u064A\u0651\u0654", u"\u0626\u0651"},
      {u"\u0627\u0670\u0653", u"\u0622\u0670"},
      {u"\u0627\u0656\u0653", u"\u0622\u0656"},
      {u"\u0627\u0653\u0656", u"\u0622\u0656"},
      {u"\u0627\u0658\u0655", u"\u0625\u0658"},
      // A mark of the same class in between blocks, as does a letter or a
      // tatweel.
      {u"\u0627\u0657\u0653", u"\u0627\u0657\u0653"},
      {u"\u0627\u06ED\u0655", u"\u0627\u06ED\u0655"},
      {u"\u0627\u0640\u0653", u"\u0627\u0640\u0653"},
      // One composition per letter; a composed letter takes no other.
      {u"\u0627\u0654\u0653", u"\u0623\u0653"},
      {u"\u0627\u0654\u0654", u"\u0623\u0654"},
      {u"\u0622\u0653", u"\u0622\u0653"},
      // No pair, or nothing before: unchanged.
      {u"\u0628\u0654", u"\u0628\u0654"},
      {u"\u0653\u0627", u"\u0653\u0627"},
      {u"", u""},
      // In running text.
      {u"\u0627\u0653\u0633\u0627\u0646\u06CC \u06C1\u0654",
       u"\u0622\u0633\u0627\u0646\u06CC \u06C2"},
  };
  for (const Case& c : cases) {
    std::u16string text = c.text;
    text.resize(ComposeArabicLetters(&text[0], text.size()));
    EXPECT_EQ(c.composed, text);
    std::wstring wide(c.text.begin(), c.text.end());
    wide.resize(ComposeArabicLetters(&wide[0], wide.size()));
    EXPECT_EQ(std::wstring(c.composed.begin(), c.composed.end()), wide);
  }
}

}  // namespace
