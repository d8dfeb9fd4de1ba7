#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "codemapper/CodeMapper.h"
#include "foundation/FileReader.h"
#include "foundation/TestUtil.h"
#include "text/TextFilters.h"

namespace urdulex::internal {
namespace {

TEST(StripMarksTest, RemovesMarksAndKeepsLetters) {
  struct Case {
    std::u16string text;
    std::u16string stripped;
    std::u16string keeping_shadda;
  } cases[] = {
      // Fatha, shadda, superscript alef, small high marks, sukun.
      {u"\u0628\u064E\u0651\u0627\u0670\u0610\u06D6\u06ED\u0652",
       u"\u0628\u0627", u"\u0628\u0651\u0627"},
      // Letters with their mark in the code point are never decomposed.
      {u"\u0622\u0623\u0624\u0626\u06C2\u06D3",
       u"\u0622\u0623\u0624\u0626\u06C2\u06D3",
       u"\u0622\u0623\u0624\u0626\u06C2\u06D3"},
      // A base letter with a combining madda or hamza keeps it, as one
      // letter, even with a vowel mark in between.
      {u"\u0627\u0653\u0633\u0627\u0646\u06CC \u0627\u064E\u0653 "
       u"\u06CC\u0651\u0654 \u06D2\u0654",
       u"\u0622\u0633\u0627\u0646\u06CC \u0622 \u0626 \u06D3",
       u"\u0622\u0633\u0627\u0646\u06CC \u0622 \u0626\u0651 \u06D3"},
      // The ends of the ranges, and their neighbours.
      {u"\u060F\u0610\u061A\u061B\u064A\u064B\u065F\u0660\u066F\u0670\u0671"
       u"\u06D5\u06D6\u06ED\u06EE",
       u"\u060F\u061B\u064A\u0660\u066F\u0671\u06D5\u06EE",
       u"\u060F\u061B\u064A\u0660\u066F\u0671\u06D5\u06EE"},
  };
  for (const Case& c : cases) {
    std::u16string a = c.text, b = c.text;
    a.resize(StripMarks(&a[0], a.size(), false));
    b.resize(StripMarks(&b[0], b.size(), true));
    EXPECT_EQ(c.stripped, a);
    EXPECT_EQ(c.keeping_shadda, b);
  }
}

TEST(StripMarksTest, SafeEndHoldsTheLastLetterAndItsMarks) {
  struct Case {
    std::u16string text;
    size_t end;
  } cases[] = {
      {u"", 0},
      {u"\u0628", 0},
      {u"\u0628 \u0627", 2},
      {u"\u0628 \u0627\u064E\u0651", 2},
      {u"\u064E\u0651", 0},
      {std::u16string(64, u'\u064E'), 64},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.end, StripSafeEnd(c.text.data(), c.text.size()));
  }
}

class LineCodesTest : public urdulex::test::TempDirTest {};

// The codes of a line are those codemapper's reader and mapping give for
// the same line read from a 16-bit file, shadda doubling included.
TEST_F(LineCodesTest, SameAsTheReaderWithGeminationExpansion) {
  ASSERT_TRUE(ReadPatterns(URDULEX_SOURCE_DIR "/data/codemapper/rules.txt"));
  const std::u16string lines[] = {
      u"\u0628\u0651\u0627",            // a doubled letter
      u"\u067E\u06BE\u0651\u0631",      // an aspirated pair doubled
      u"\u0651\u0628",                  // a shadda with nothing before
      u"\u06BE\u0651",                  // U+06BE alone doubled
      u"\u0628\u0651\u0651 x\u00E9\r",  // two shaddas, Latin, CR
  };
  for (const std::u16string& line : lines) {
    const std::wstring wide(line.begin(), line.end());
    const std::string path = MakeFile("in.u16", urdulex::test::Utf16File(wide));
    FileReader reader;
    reader.SetGeminationExpansion(true);
    reader.Open(path, FileReader::UNICODE);
    std::wstring read;
    reader.GetLine(read, INT_MAX, L'\n');
    std::string expected;
    AppendValue(read, &expected);
    std::wstring scratch;
    std::string codes;
    AppendLineCodes(line.data(), line.size(), &scratch, &codes);
    EXPECT_EQ(expected, codes);
  }
}

}  // namespace
}  // namespace urdulex::internal
