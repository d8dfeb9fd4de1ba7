#include <gtest/gtest.h>

#include <string>

#include "script/LexEnigneUtility.h"

namespace {

// Letters and marks used below, by their Urdu names.
const wchar_t kAlef = 0x0627, kBeh = 0x0628, kTeh = 0x062A, kKaf = 0x06A9,
              kLam = 0x0644, kMeem = 0x0645, kHamza = 0x0621, kWaw = 0x0648;
const wchar_t kZabar = 0x064E, kZer = 0x0650, kPesh = 0x064F, kJazm = 0x0652,
              kKhariZabar = 0x0670, kTanween = 0x064B, kShadda = 0x0651,
              kMaddah = 0x0653, kAlefMadda = 0x0622;

struct SplitCase {
  const char* name;
  std::wstring word;
  std::wstring bare;
  std::string symbols;
  std::wstring merged;  // what the merge gives back
};

class SymbolicDiacriticsTest : public testing::Test {
 protected:
  LexEnigneUtility util_;
};

TEST_F(SymbolicDiacriticsTest, SeparateAndMergeBack) {
  const SplitCase cases[] = {
      {"empty", L"", L"", "", L""},
      {"second letter with fatha",
       {kBeh, kAlef, kZabar},
       {kBeh, kAlef},
       "XZ",
       {kBeh, kAlef, kZabar}},
      {"every vowel and sukun",
       {kKaf, kZer, kTeh, kZabar, kAlef, kBeh, kJazm, kMeem, kPesh},
       {kKaf, kTeh, kAlef, kBeh, kMeem},
       "RZXJP",
       {kKaf, kZer, kTeh, kZabar, kAlef, kBeh, kJazm, kMeem, kPesh}},
      {"shadda then vowel",
       {kMeem, kPesh, kBeh, kShadda, kZabar, kTeh},
       {kMeem, kBeh, kTeh},
       "PSZX",
       {kMeem, kPesh, kBeh, kShadda, kZabar, kTeh}},
      {"vowel typed before shadda",
       {kBeh, kZabar, kShadda},
       {kBeh},
       "SZ",
       {kBeh, kShadda, kZabar}},
      {"shadda without vowel",
       {kBeh, kShadda, kTeh},
       {kBeh, kTeh},
       "SXX",
       {kBeh, kShadda, kTeh}},
      {"sukun after shadda is lost",
       {kBeh, kShadda, kJazm},
       {kBeh},
       "SJ",
       {kBeh, kShadda}},
      {"alef with madda",
       {kAlefMadda, kMeem},
       {kAlefMadda, kMeem},
       "MX",
       {kAlefMadda, kMeem}},
      {"alef with madda after a waiting letter",
       {kBeh, kAlefMadda},
       {kBeh, kAlefMadda},
       "XM",
       {kBeh, kAlefMadda}},
      {"combining madda is not restored",
       {kAlef, kMaddah, kMeem},
       {kAlef, kMeem},
       "MX",
       {kAlef, kMeem}},
      {"two marks on one letter shift to the next",
       {kBeh, kZabar, kJazm, kTeh},
       {kBeh, kTeh},
       "ZJX",
       {kBeh, kZabar, kTeh, kJazm}},
      {"superscript alef and fathatan stay letters",
       {kBeh, kKhariZabar, kAlef, kTanween},
       {kBeh, kKhariZabar, kAlef, kTanween},
       "XXXX",
       {kBeh, kKhariZabar, kAlef, kTanween}},
      {"space, ZWJ and ZWNJ own no symbol",
       {kBeh, kShadda, kZabar, L' ', kTeh, 0x200D, kMeem, 0x200C, kLam},
       {kBeh, L' ', kTeh, 0x200D, kMeem, 0x200C, kLam},
       "SZXXX",
       {kBeh, kShadda, kZabar, L' ', kTeh, 0x200D, kMeem, 0x200C, kLam}},
      {"shadda before any letter goes to the first",
       {kShadda, kBeh},
       {kBeh},
       "SXX",
       {kBeh, kShadda}},
      {"marks with no letter", {kZabar, kZer}, L"", "ZR", L""},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring bare = L"stale";
    std::string symbols = "stale";
    EXPECT_TRUE(util_.SeparateSymbolicDiacritics(c.word, bare, symbols));
    EXPECT_EQ(c.bare, bare);
    EXPECT_EQ(c.symbols, symbols);
    EXPECT_EQ(c.merged, util_.MergeSymbolicDiacritics(bare, symbols));
  }
}

TEST_F(SymbolicDiacriticsTest, MergeTakesSymbolsAsTheyCome) {
  const std::wstring three = {kBeh, kTeh, kMeem};
  struct {
    std::wstring bare;
    std::string symbols;
    std::wstring merged;
  } cases[] = {
      {L"", "ZRP", L""},
      {three, "ZZ", {kBeh, kZabar, kTeh, kZabar, kMeem}},
      {{kBeh, kTeh}, "ZZZZ", {kBeh, kZabar, kTeh, kZabar}},
      {three, "KDX", {kBeh, kKhariZabar, kTeh, kTanween, kMeem}},
      // S consumes two symbols whatever the second is.
      {three, "SRP", {kBeh, kShadda, kZer, kTeh, kPesh, kMeem}},
      {three, "SJZ", {kBeh, kShadda, kTeh, kZabar, kMeem}},
      {three, "SXP", {kBeh, kShadda, kTeh, kPesh, kMeem}},
      {{kBeh}, "S", {kBeh, kShadda}},
      // M, X and unknown bytes each use up one symbol and write nothing.
      {three, "MQZ", {kBeh, kTeh, kMeem, kZabar}},
      {{kBeh, L' ', kTeh}, "ZR", {kBeh, kZabar, L' ', kTeh, kZer}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.symbols);
    EXPECT_EQ(c.merged, util_.MergeSymbolicDiacritics(c.bare, c.symbols));
  }
}

TEST_F(SymbolicDiacriticsTest, MatchWithWildcards) {
  struct {
    const char* pattern;
    const char* candidate;
    bool expected;
  } cases[] = {
      {"XZ", "SZZ", true},  {"ZX", "Z", false},   {"X", "ZX", false},
      {"", "", true},       {"ZRP", "ZRP", true}, {"ZRP", "ZRX", false},
      {"XXX", "ZRP", true}, {"ZX", "ZX", true},   {"ZZ", "ZX", false},
      {"X", "X", true},     {"Z", "X", false},    {"X", "S", false},
      {"XX", "SZ", false},  {"SZ", "SZ", true},   {"", "Z", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " vs " + c.candidate);
    EXPECT_EQ(c.expected,
              util_.MatchSymbolicDiacritics(c.pattern, c.candidate, true));
    EXPECT_TRUE(util_.MatchSymbolicDiacritics(c.pattern, c.candidate, false));
  }
}

TEST_F(SymbolicDiacriticsTest, RemoveDiacritics) {
  EXPECT_EQ(std::wstring(L""), util_.RemoveDiacritics(L""));
  EXPECT_EQ(std::wstring({kKaf, kTeh, kAlef, kBeh}),
            util_.RemoveDiacritics({kKaf, kZer, kTeh, kZabar, kAlef, kBeh,
                                    kShadda, kPesh, kJazm}));
  EXPECT_EQ(std::wstring({kAlef, kBeh}),
            util_.RemoveDiacritics({kAlef, kMaddah, kBeh}));
  // Superscript alef and fathatan are kept.
  EXPECT_EQ(std::wstring({kBeh, kKhariZabar, kAlef, kTanween}),
            util_.RemoveDiacritics({kBeh, kKhariZabar, kAlef, kTanween}));
  // Hamza followed by waw becomes waw with hamza above.
  EXPECT_EQ(std::wstring({kLam, 0x0624, kMeem}),
            util_.RemoveDiacritics({kLam, kHamza, kWaw, kMeem}));
  EXPECT_EQ(std::wstring({0x0624}), util_.RemoveDiacritics({kHamza, kWaw}));
  // A hamza at the end, or before anything but waw, stays.
  EXPECT_EQ(std::wstring({kAlef, kHamza}),
            util_.RemoveDiacritics({kAlef, kHamza}));
  EXPECT_EQ(std::wstring({kHamza, kAlef}),
            util_.RemoveDiacritics({kHamza, kZabar, kAlef}));
}

TEST_F(SymbolicDiacriticsTest, DiacriticSet) {
  const wchar_t marks[] = {kZabar,      kZer,     kPesh,   kJazm,
                           kKhariZabar, kTanween, kShadda, kMaddah};
  for (wchar_t c : marks) {
    EXPECT_TRUE(util_.IsDiacritic(c)) << std::hex << c;
    EXPECT_TRUE(util_.DoesContainDiacritics({kBeh, c, kTeh}));
  }
  const wchar_t others[] = {kAlef,  kAlefMadda, kHamza, 0x064C, 0x064D,
                            0x0654, 0x0655,     L' ',   0};
  for (wchar_t c : others) EXPECT_FALSE(util_.IsDiacritic(c)) << std::hex << c;
  EXPECT_FALSE(util_.DoesContainDiacritics({kKaf, kTeh, kAlef, kBeh}));
  EXPECT_FALSE(util_.DoesContainDiacritics(L""));
}

}  // namespace
