#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>

#include "codemapper/CodeMapper.h"
#include "foundation/FileReader.h"
#include "foundation/TestUtil.h"
#include "text/LoadNormalization.h"
#include "text/TextFilters.h"
#include "text/TextIO.h"
#include "text/Utf8Filters.h"

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

// The UTF-8 filters against the UTF-16 ones, on texts drawn from the
// characters where they differ: marks that compose or not, their bases,
// U+0647 and U+06BE after a diacritic, the rules' letters, characters of
// three and four bytes (E0 B8 A7 ends as alef + a continuation would),
// ASCII, NUL and line ends.
TEST(Utf8FiltersTest, SameAsOnUnits) {
  Normalization normalization;
  LoadNormalization(URDULEX_SOURCE_DIR "/data/normalization/config.ini",
                    &normalization);
  const Normalizer& rules = *normalization.NfcNormalizer();
  const UnchangedText urdu(rules, true), plain(rules, false);
  // Rules that end in ASCII, in a character of three bytes and in the low
  // half of a pair.
  const std::u16string odd_file =
      u"\uFEFFa:b\r\n\u0628\u200C:c\r\n\U0001F600:d\r\n";
  std::string odd_bytes;
  for (const char16_t u : odd_file) {
    odd_bytes += static_cast<char>(u & 0xFF);
    odd_bytes += static_cast<char>(u >> 8);
  }
  Normalizer odd_rules;
  ASSERT_TRUE(odd_rules.LoadNormRules(
      reinterpret_cast<const unsigned char*>(odd_bytes.data()),
      odd_bytes.size()));
  const UnchangedText odd(odd_rules, false);
  const std::u16string alphabet[] = {
      u"\u0627",     u"\u0653", u"\u0654",
      u"\u0655",     u"\u064E", u"\u0651",
      u"\u06CC",     u"\u064A", u"\u0647",
      u"\u06BE",     u"\u0628", u"\u06C1",
      u"\u06D2",     u"\u06DD", u"\u0670",
      u"\u0610",     u"\u06ED", u"\u0648",
      u"\u06D5",     u"\u0660", u"\u0E27",
      u"\U0001F600", u"\u200C", u" ",
      u"a",          u"\n",     std::u16string(1, u'\0'),
      u"\u061A",     u"\u064B", u"\u065F",
      u"\u06D6"};
  // Characters no rule ends in (with the marks), for long texts that
  // hold a key or none.
  const size_t quiet[] = {0,  3,  4,  5,  6,  10, 11, 12, 13, 14, 15,
                          16, 17, 18, 20, 23, 25, 27, 28, 29, 30};
  std::mt19937 random(5);
  std::u16string scratch;
  // Short texts, and long ones over many widths of the vector checks: of
  // any characters, and of quiet ones with one in forty of any.
  for (int round = 0; round < 6000; ++round) {
    std::u16string text;
    const int kind = round % 3;
    const size_t n = random() % (kind == 0 ? 12 : 64);
    for (size_t i = 0; i < n; ++i) {
      const bool any = kind != 2 || random() % 40 == 0;
      text +=
          alphabet[any ? random() % (sizeof(alphabet) / sizeof(alphabet[0]))
                       : quiet[random() % (sizeof(quiet) / sizeof(quiet[0]))]];
    }
    if (round == 0) text = std::u16string(70, u'\u064E') + u"\u0653";
    if (round == 1)
      text = u"\u0627" + std::u16string(40, u'\u064E') + u"\u0653";
    const std::string bytes = ToUtf8(text);
    SCOPED_TRACE(bytes);
    for (const bool keep : {false, true}) {
      std::u16string units = text;
      units.resize(StripMarks(&units[0], units.size(), keep));
      std::string out(bytes.size(), '\0');
      out.resize(
          StripMarksUtf8(bytes.data(), bytes.size(), keep, &out[0], &scratch));
      EXPECT_EQ(ToUtf8(units), out);
    }
    const size_t end = StripSafeEnd(text.data(), text.size());
    const size_t end8 = StripSafeEndUtf8(bytes.data(), bytes.size());
    // A pair is held back whole where the units part it.
    const bool parted = text[end] >= 0xDC00 && text[end] < 0xE000;
    EXPECT_EQ(ToUtf8(text.data(), end - parted), bytes.substr(0, end8));
    std::wstring wide;
    AppendUtf16(bytes.data(), bytes.size(), &wide);
    EXPECT_EQ(std::wstring(text.begin(), text.end()), wide);
    std::wstring normalized, copy = wide;
    NormalizeUrdu(rules, copy, &normalized);
    if (urdu.Holds(bytes.data(), bytes.size())) {
      EXPECT_EQ(wide, normalized);
    }
    copy = wide;
    rules.NormalizeInto(copy, &normalized);
    if (plain.Holds(bytes.data(), bytes.size())) {
      EXPECT_EQ(wide, normalized);
    }
    copy = wide;
    odd_rules.NormalizeInto(copy, &normalized);
    if (odd.Holds(bytes.data(), bytes.size())) {
      EXPECT_EQ(wide, normalized);
    }
  }
  // What holds is told apart from what does not.
  const struct {
    const char* text;
    bool urdu, plain, odd;
  } holds[] = {
      {u8"\u0628\u06BE\u06CC \u0627\u064E", true, true, true},
      {u8"\u0628\u064E\u06BE", false, false, false},  // U+06BE moves
      {u8"\u0628\u0647", false, false, true},         // a rule's U+0647
      {u8"\u0627\u0653", false, false, true},
      {u8"\u06CC\u06C1 x", true, true, true},
      {u8"xa", true, true, false},
      {u8"\u200C\u0E27", true, true, false},
      {u8"\U0001F600", true, true, false},
  };
  for (const auto& h : holds) {
    const size_t n = std::strlen(h.text);
    EXPECT_EQ(h.urdu, urdu.Holds(h.text, n)) << h.text;
    EXPECT_EQ(h.plain, plain.Holds(h.text, n)) << h.text;
    EXPECT_EQ(h.odd, odd.Holds(h.text, n)) << h.text;
  }
}

}  // namespace
}  // namespace urdulex::internal
