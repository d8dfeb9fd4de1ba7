#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text/CanonicalKey.h"
#include "text/Diacritize.h"

namespace {

using urdulex::internal::AppendCanonicalKey;

std::u16string Key(const std::u16string& word, bool* differs = nullptr) {
  std::u16string key = u"<";  // appended to, not replaced
  const bool d = AppendCanonicalKey(word.data(), word.size(), &key);
  if (differs != nullptr) *differs = d;
  return key.substr(1);
}

TEST(CanonicalKeyTest, FoldsTheSpellingsOfAWord) {
  const struct {
    std::u16string word;
    std::u16string key;
  } cases[] = {
      // Nothing to fold: the word is its own key.
      {u"کتاب", u"کتاب"},
      {u"کِتاب", u"کِتاب"},
      {u"بھی", u"بھی"},
      {u"آپ", u"آپ"},
      {u"", u""},
      {u"ب\u0654", u"ب\u0654"},  // a hamza no letter takes
      // Composition of madda and hamza.
      {u"\u0627\u0653پ", u"آپ"},
      {u"ہو\u06CC\u0654ی", u"ہوئی"},
      {u"کو\u06CC\u0654ی", u"کوئی"},
      {u"\u0627\u0653\u0626\u06CC\u0646\u06C1", u"آئینہ"},
      {u"\u06C1\u0654", u"ۂ"},
      {u"\u06D2\u0654", u"ۓ"},
      {u"\u0627\u0654", u"أ"},
      {u"\u0648\u0654", u"ؤ"},
      {u"\u0627\u064E\u0653", u"\u0622\u064E"},  // across a fatha
      // Arabic letters.
      {u"كتاب", u"کتاب"},
      {u"ميں", u"میں"},
      {u"موسى", u"موسی"},
      {u"في", u"فی"},
      {u"\u064A\u0654", u"ئ"},
      {u"\u0647\u0654", u"ۂ"},
      {u"صلاة", u"صلاۃ"},
      // U+0647 by its place.
      {u"بهی", u"بھی"},
      {u"کچه", u"کچھ"},
      {u"که", u"کہ"},
      {u"هسپتال", u"ہسپتال"},
      {u"نهيں", u"نہیں"},
      {u"كهانا", u"کھانا"},
      // Khari zabar, tatweel and directional marks are left out.
      {u"اعلیٰ", u"اعلی"},
      {u"تعالیٰ", u"تعالی"},
      {u"اللّٰہ", u"اللّہ"},
      {u"اللـہ", u"اللہ"},
      {u"\u200Fکتاب\u200E", u"کتاب"},
      {u"کت\u2067اب\u2069", u"کتاب"},
      {u"ک\u061Cتاب", u"کتاب"},
      // Presentation forms.
      {u"\uFDF2", u"اللہ"},
      {u"\uFB8E\uFE98\uFE8E\uFE8F", u"کتاب"},
      {u"\uFEF5", u"لآ"},
      {u"\uFEFB", u"لا"},
      {u"\uFEEB\uFEE2", u"ہم"},  // heh initial, meem final
      {u"\uFE91\uFEEC\uFEF0", u"بھی"},
      {u"\uFB7C\uFEE8\uFBAB", u"چنھ"},  // heh doachashmee as shown
      {u"\uFBFC", u"ی"},
      {u"ب\uFE76", u"ب\u064E"},         // a spacing mark, its blank left out
      {u"ب\uFE77", u"ب\u064E"},         // a mark on a tatweel
      {u"\uFDFA", u"صلیاللہعلیہوسلم"},  // a phrase: the hehs read word by word
      {u"\uFDFC", u"ریال"},
      {u"\uFD3E", u"\uFD3E"},  // a form without a decomposition stays
  };
  for (const auto& c : cases) {
    bool differs = false;
    const std::u16string key = Key(c.word, &differs);
    EXPECT_TRUE(key == c.key) << c.key.size() << " " << key.size();
    EXPECT_EQ(key != c.word, differs);
    EXPECT_TRUE(Key(key) == key);
  }
}

// The key goes before the bare form: spellings that differ in their marks
// as well then share the bare key.
TEST(CanonicalKeyTest, KeyThenBareFormJoinsSpellings) {
  const std::u16string pairs[][2] = {
      {u"اللہ", u"اللّٰہ"},        {u"اعلی", u"اَعْلیٰ"},
      {u"آپ", u"\u0627\u0653پ"}, {u"کوئی", u"كو\u064A\u0654ی"},
      {u"اللہ", u"\uFDF2"},
  };
  for (const auto& pair : pairs) {
    std::u16string bare[2];
    for (int k = 0; k < 2; ++k) {
      const std::u16string key = Key(pair[k]);
      if (!urdulex::internal::AppendBareForm(key.data(), key.size(),
                                             &bare[k])) {
        bare[k] = key;
      }
    }
    EXPECT_TRUE(bare[0] == bare[1]) << bare[0].size() << " " << bare[1].size();
  }
}

TEST(CanonicalKeyTest, TheKeyOfAKeyIsItself) {
  // Words of the units that fold, and of those they fold to.
  const char16_t pool[] = {0x0627, 0x0628, 0x062A, 0x0643, 0x06A9, 0x0647,
                           0x06C1, 0x06BE, 0x064A, 0x0649, 0x06CC, 0x0629,
                           0x0648, 0x06D2, 0x0653, 0x0654, 0x0655, 0x064E,
                           0x0651, 0x0670, 0x0640, 0x200F, 0x0020, 0x200C,
                           0xFDF2, 0xFEEB, 0xFEF5, 0xFE77, 0xFDFA, 0xFE89};
  std::mt19937 rng(5);
  for (int i = 0; i < 20000; ++i) {
    std::u16string word;
    for (int k = rng() % 9; k > 0; --k) word += pool[rng() % std::size(pool)];
    const std::u16string key = Key(word);
    bool differs = true;
    ASSERT_TRUE(Key(key, &differs) == key) << i;
    ASSERT_FALSE(differs) << i;
  }
}

}  // namespace
