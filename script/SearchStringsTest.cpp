#include <gtest/gtest.h>

#include <string>

#include "script/LexEnigneUtility.h"
#include "script/UrduCharSet.h"

namespace {

class SearchStringsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // alef 0, beh 1, peh 2, teh 3
    for (unsigned short c : {0x0627, 0x0628, 0x067E, 0x062A}) map_.Insert(c);
  }
  UniChar2IndexMap map_;
  LexEnigneUtility util_;
};

TEST_F(SearchStringsTest, ValidateSearchStringHonoursTheLimit) {
  const std::wstring word = {0x0627, 0x0628, 0x067E};
  EXPECT_TRUE(util_.ValidateSearchString(map_, 3, word));
  EXPECT_FALSE(util_.ValidateSearchString(map_, 2, word));
  EXPECT_FALSE(util_.ValidateSearchString(map_, 0, word));
  EXPECT_FALSE(util_.ValidateSearchString(map_, -1, word));
  EXPECT_TRUE(util_.ValidateSearchString(map_, 0, L""));
  // A character outside the alphabet, and one in a known page but unmapped.
  EXPECT_FALSE(util_.ValidateSearchString(map_, 100, L"\x0627x"));
  EXPECT_FALSE(util_.ValidateSearchString(map_, 100, L"\x0629"));
  // The map passed by value is a copy; the original still answers.
  EXPECT_EQ(1, map_.GetIndex(0x0628));
  EXPECT_EQ(4, map_.GetTotalNumChars());
}

TEST_F(SearchStringsTest, PronunciationAcceptsPlusAndParentheses) {
  const std::wstring text = L"\x0627(\x0628)+";
  EXPECT_FALSE(util_.ValidateSearchString(map_, 4, text));
  EXPECT_TRUE(util_.ValidatePronunciationString(map_, 4, text));
  EXPECT_TRUE(util_.ValidatePronunciationString(map_, 0, L"()+"));
  EXPECT_FALSE(util_.ValidatePronunciationString(map_, 1, text));
  EXPECT_FALSE(util_.ValidatePronunciationString(map_, 4, L"\x0627-"));
}

TEST_F(SearchStringsTest, RemoveInvalidSearchCharsKeepsOrder) {
  std::wstring text = L"x\x062A\x0627 \x0628y\x067E";
  EXPECT_TRUE(util_.RemoveInvalidSearchChars(map_, 3, text));
  EXPECT_EQ((std::wstring{0x0627, 0x0628, 0x067E}), text);

  std::wstring all = {0x0627, 0x0628};
  EXPECT_TRUE(util_.RemoveInvalidSearchChars(map_, 0, all));
  EXPECT_TRUE(all.empty());
}

TEST_F(SearchStringsTest, EnglishSearchStrings) {
  EXPECT_TRUE(util_.ValidateEnglishSearchString(L""));
  EXPECT_TRUE(util_.ValidateEnglishSearchString(L"Look-up table"));
  EXPECT_TRUE(util_.ValidateEnglishSearchString(L"azAZ"));
  for (const wchar_t* bad : {L"don't", L"a1", L"a_b", L"caf\x00E9", L"(a)",
                             L"a\tb", L"`", L"{", L"@", L"["}) {
    EXPECT_FALSE(util_.ValidateEnglishSearchString(bad)) << bad;
  }

  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"Rock-'n'-Roll", L"rock n roll"},
      {L"John's (book)", L"john book"},
      {L"Look-Up", L"look up"},
      {L"John's book", L"john book"},
      {L"JOHN'S", L"john"},
      {L"rock'n'roll", L"rocknroll"},
      {L"it's'", L"it"},
      {L"'", L""},
      {L"(Noun) Verb", L"noun verb"},
      {L"A-Z [x] 9", L"a z [x] 9"},
      {L"\x00C9t\x00C9", L"\x00C9t\x00C9"},  // tolower of POSIX: ASCII only
      {L"\x0627-\x0628", L"\x0627 \x0628"},
      {L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(std::wstring(c.out), util_.NormalizeEnglishSearchString(c.in))
        << c.in;
  }
}

TEST_F(SearchStringsTest, LabelTruthTables) {
  unsigned short zero[3] = {0, 0, 0};
  unsigned short a[3] = {0, 5, 0};
  unsigned short ab[3] = {5, 0, 7};
  unsigned short b[3] = {7, 7, 0};
  unsigned short ba[3] = {7, 0, 5};
  unsigned short c[3] = {9, 0, 0};

  EXPECT_TRUE(util_.IsLabelZero(zero, 3));
  EXPECT_FALSE(util_.IsLabelZero(a, 3));
  EXPECT_TRUE(util_.IsLabelZero(a, 1));  // only the first slot counts
  EXPECT_TRUE(util_.IsLabelZero(a, 0));
  EXPECT_TRUE(util_.IsLabelZero(nullptr, -1));

  const struct {
    unsigned short* first;
    unsigned short* second;
    bool or_result;
    bool and_result;
  } rows[] = {
      {zero, c, true, true},  // an empty first set matches anything
      {zero, zero, true, true},
      {a, zero, false, false},  // zero slots of second match nothing
      {a, ab, true, true},
      {ab, a, true, false},  // 5 found, 7 not
      {ab, ba, true, true},  // order does not matter
      {ab, b, true, false},
      {b, ab, true, true},  // repeated labels
      {ab, c, false, false},
      {c, ab, false, false},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(r.or_result, util_.OrLabels(r.first, r.second, 3));
    EXPECT_EQ(r.and_result, util_.AndLabels(r.first, r.second, 3));
  }

  unsigned short three[2] = {3, 0};
  unsigned short five[2] = {0, 5};
  unsigned short three_five[2] = {3, 5};
  unsigned short five_seven[2] = {5, 7};
  EXPECT_FALSE(util_.OrLabels(three, five, 2));
  EXPECT_FALSE(util_.AndLabels(three, five, 2));
  EXPECT_TRUE(util_.OrLabels(three_five, five_seven, 2));
  EXPECT_FALSE(util_.AndLabels(three_five, five_seven, 2));
}

}  // namespace
