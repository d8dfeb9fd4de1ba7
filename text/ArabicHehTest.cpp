// U+0647 read by its place in the word, as the built-in Urdu rules of the
// public API do it; rules of a file apply as they are.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/TestUtil.h"
#include "urdulex/urdulex.h"

namespace {

class ArabicHehTest : public urdulex::test::TempDirTest {};

TEST_F(ArabicHehTest, UrduRulesReadTheHehByPlace) {
  const urdulex::Normalizer urdu = urdulex::Normalizer::Urdu();
  const struct {
    const char* text;
    const char* normalized;
  } cases[] = {
      // After a letter that takes aspiration, with a letter after it.
      {"بهی", "بھی"},
      {"گهر", "گھر"},
      {"تها", "تھا"},
      {"تهے", "تھے"},
      {"مجهے", "مجھے"},
      {"تجهے", "تجھے"},
      {"بهائی", "بھائی"},
      {"پهول", "پھول"},
      {"چهوٹا", "چھوٹا"},
      {"دهوپ", "دھوپ"},
      {"ڈهونڈ", "ڈھونڈ"},
      {"جهیل", "جھیل"},
      {"ٹهیک", "ٹھیک"},
      {"انهوں", "انھوں"},
      {"لکهنا", "لکھنا"},
      {"پڑهائی", "پڑھائی"},
      {"دیکهنا", "دیکھنا"},
      {"ساتهی", "ساتھی"},
      {"گهنٹه", "گھنٹہ"},    // medial and final in one word
      {"ٹههرنا", "ٹھہرنا"},  // the second heh follows a heh
      // Arabic kaf and yeh; marks and a tatweel in between.
      {"كهانا", "کھانا"},
      {"بهي", "بھی"},
      {"بُهول", "بھُول"},  // and U+06BE goes in front of the damma
      {"بـهی", "بـھی"},
      // At the end of a word: the listed words only.
      {"کچه", "کچھ"},
      {"مجه", "مجھ"},
      {"سمجه", "سمجھ"},
      {"ساته", "ساتھ"},
      {"هاته", "ہاتھ"},
      {"پوچه", "پوچھ"},
      {"دیکه", "دیکھ"},
      {"بیٹه", "بیٹھ"},
      {"اٹه", "اٹھ"},
      {"دوده", "دودھ"},
      {"که", "کہ"},
      {"نه", "نہ"},
      {"ره", "رہ"},
      {"مدرسه", "مدرسہ"},
      // First in a word, after other letters.
      {"هسپتال", "ہسپتال"},
      {"هم", "ہم"},
      {"یه", "یہ"},
      {"وه", "وہ"},
      {"شهر", "شہر"},
      {"لاهور", "لاہور"},
      {"x\u0647م", "xہم"},
      // Listed words with heh goal after such a letter.
      {"نهیں", "نہیں"},
      {"نهيں", "نہیں"},
      {"بهت", "بہت"},
      {"کها", "کہا"},
      {"رها", "رہا"},
      {"پهلے", "پہلے"},
      {"لهٰذا", "لہٰذا"},
      // Before a combining hamza it makes U+06C2; words stay apart.
      {"کمره\u0654", "کمرۂ"},
      {"بهی گهر تها کچه", "بھی گھر تھا کچھ"},
      {"ته\u200Cا", "تہ\u200Cا"},  // a non-joiner ends the word
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.normalized, urdu.Normalize(c.text)) << c.text;
    EXPECT_TRUE(urdu.IsNormalized(c.normalized)) << c.normalized;
    // The changes, applied to the text, give the normalized text.
    std::string text = c.text;
    const std::vector<urdulex::Change> changes = urdu.Changes(text);
    for (auto it = changes.rbegin(); it != changes.rend(); ++it) {
      ASSERT_EQ(it->before, text.substr(it->offset, it->before.size()));
      text.replace(it->offset, it->before.size(), it->after);
    }
    EXPECT_EQ(c.normalized, text) << c.text;
  }
}

TEST_F(ArabicHehTest, RulesOfAFileAreAppliedAsTheyAre) {
  MakeFile("nfc.u16", urdulex::test::Utf16File(L"\x0647:\x06C1\r\n"));
  EXPECT_EQ(
      "بہی کچہ",
      urdulex::Normalizer::FromRules(Path("nfc.u16")).Normalize("بهی کچه"));
}

}  // namespace
