#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "foundation/TestUtil.h"
#include "normalization/Normalizer.h"

namespace {

using urdulex::test::TempDirTest;
using urdulex::test::Utf16File;

std::vector<std::wstring> Flat(const std::vector<NormRule>& rules) {
  std::vector<std::wstring> out;
  for (const NormRule& r : rules) {
    out.push_back(r.pattern);
    out.push_back(r.replacement);
  }
  return out;
}

class NormalizerFileTest : public TempDirTest {
 protected:
  // Writes 16-bit `text` (with the mark) as a rules file.
  std::string Rules(const std::wstring& text) {
    return MakeFile("rules.txt", Utf16File(text));
  }
};

struct ReadCase {
  const char* what;
  std::string bytes;
  bool ok;
  std::vector<std::wstring> rules;  // pattern, replacement, pattern, ...
};

TEST_F(NormalizerFileTest, ReadingRules) {
  const ReadCase cases[] = {
      {"one rule",
       Utf16File(L"\x06CC:\x064A\r\n"),
       true,
       {L"\x06CC", L"\x064A"}},
      {"only the mark", Utf16File(L""), true, {}},
      {"blanks are text", Utf16File(L" a : b \r\n"), true, {L" a ", L" b "}},
      {"empty replacement", Utf16File(L"a:\r\n"), true, {L"a", L""}},
      {"last two colons", Utf16File(L"a:b:c\r\n"), true, {L"b", L"c"}},
      {"no colon keeps the pattern",
       Utf16File(L"x:y\r\nabc\r\n"),
       true,
       {L"x", L"y", L"x", L"abc"}},
      {"no colon on the first line",
       Utf16File(L"abc\r\n"),
       true,
       {L"", L"abc"}},
      {"empty line", Utf16File(L"x:y\r\n\r\n"), true, {L"x", L"y", L"x", L""}},
      {"LF alone is text", Utf16File(L"a:b\nc:d\r\n"), true, {L"b\nc", L"d"}},
      {"unit after CR skipped unseen",
       Utf16File(L"a:b\rXc:d\r\n"),
       true,
       {L"a", L"b", L"c", L"d"}},
      {"text after the last CR ignored",
       Utf16File(L"a:b\r\nc:d"),
       true,
       {L"a", L"b"}},
      {"odd byte at the end dropped",
       Utf16File(L"a:b\r\n") + "c",
       true,
       {L"a", L"b"}},
      {"CR as the last unit fails after its rule",
       Utf16File(L"a:b\r\nc:d\r"),
       false,
       {L"a", L"b", L"c", L"d"}},
      {"CR then a lone byte fails",
       Utf16File(L"a:b\r") + "\n",
       false,
       {L"a", L"b"}},
      {"no mark", "a:b\r\n", false, {}},
      {"big-endian mark", "\xFE\xFF\0a\0:\0b\0\r\0\n", false, {}},
      {"empty file", "", false, {}},
  };
  for (const ReadCase& c : cases) {
    Normalizer n;
    const std::string path = MakeFile("rules.txt", c.bytes);
    EXPECT_EQ(c.ok, n.ReadPatterns(path.c_str())) << c.what;
    EXPECT_EQ(c.rules, Flat(n.rules)) << c.what;
    EXPECT_EQ(c.ok, n.GetLastError().empty()) << c.what;
  }
}

TEST_F(NormalizerFileTest, ReadPatternsAppendsAndReportsWhy) {
  Normalizer n;
  const std::string path = Rules(L"a:b\r\n");
  ASSERT_TRUE(n.ReadPatterns(path.c_str()));
  ASSERT_TRUE(n.ReadPatterns(path.c_str()));
  EXPECT_EQ(2u, n.rules.size());

  EXPECT_FALSE(n.ReadPatterns(Path("missing.txt").c_str()));
  EXPECT_EQ("Could not open file: " + Path("missing.txt") + ".",
            n.GetLastError());
  EXPECT_FALSE(n.ReadPatterns(""));
  EXPECT_EQ("Invalid file name specified.", n.GetLastError());
  EXPECT_EQ(2u, n.rules.size());
}

TEST_F(NormalizerFileTest, LoadsOnceUntilCleared) {
  Normalizer n;
  EXPECT_FALSE(n.LoadNormRules(MakeFile("plain.txt", "a:b\r\n")));
  EXPECT_FALSE(n.fsm.isDefined());
  EXPECT_EQ(L"a", n.NormalizeString(L"a"));

  ASSERT_TRUE(n.LoadNormRules(Rules(L"a:b\r\n")));
  EXPECT_EQ(L"xbx", n.NormalizeString(L"xax"));
  // Loaded: another file is not read.
  ASSERT_TRUE(n.LoadNormRules(Path("missing.txt")));
  EXPECT_EQ(1u, n.rules.size());

  n.Clear();
  EXPECT_TRUE(n.rules.empty());
  EXPECT_FALSE(n.fsm.isDefined());
  ASSERT_TRUE(n.LoadNormRules(Rules(L"a:c\r\n")));
  EXPECT_EQ(L"xcx", n.NormalizeString(L"xax"));
}

TEST_F(NormalizerFileTest, FailedLoadKeepsItsRulesAndAppendsAgain) {
  Normalizer n;
  const std::string path = Rules(L"a:b\r\nc:d\r");
  EXPECT_FALSE(n.LoadNormRules(path));
  EXPECT_EQ(2u, n.rules.size());
  EXPECT_FALSE(n.LoadNormRules(path));
  EXPECT_EQ(4u, n.rules.size());
  EXPECT_EQ("End of file encountered.", n.GetLastError());
}

TEST_F(NormalizerFileTest, TooManyRulesForTheAutomaton) {
  std::wstring text;
  for (size_t i = 0; i <= FSM::kMaxPatterns; ++i) text += L"a:b\r\n";
  Normalizer n;
  EXPECT_FALSE(n.LoadNormRules(Rules(text)));
  EXPECT_FALSE(n.fsm.isDefined());
  EXPECT_EQ("Too many rules, pattern states or pattern characters.",
            n.GetLastError());
  EXPECT_EQ(L"a", n.NormalizeString(L"a"));
}

TEST_F(NormalizerFileTest, Replacing) {
  struct Case {
    std::wstring rules;
    std::wstring text;
    std::wstring want;
  };
  const Case cases[] = {
      {L"ab:x\r\nabc:y\r\n", L"abcd", L"xcd"},
      {L"abc:y\r\nab:x\r\n", L"abcd", L"yd"},
      {L"a:aa\r\n", L"aaa", L"aaaaaa"},  // replacements not searched again
      {L"x:y\r\n\r\n", L"axb", L"ab"},
      {L"x:y\r\nabc\r\n", L"x", L"abc"},
      {L"a:b\r\n", L"", L""},
      {L"ab:c\r\nca:d\r\n", L"aba", L"ca"},  // no match across a replacement
      {L"a:b\r\na:c\r\n", L"a", L"c"},       // the last line for a pattern
      {L"\x0627\x0653:\x0622\r\n", L"\x0627\x0653\x0627\x0653",
       L"\x0622\x0622"},
  };
  for (const Case& c : cases) {
    Normalizer n;
    ASSERT_TRUE(n.LoadNormRules(Rules(c.rules)));
    EXPECT_EQ(c.want, n.NormalizeString(c.text));
    std::wstring in_place = c.text;
    n.ReplaceMatches(in_place);
    EXPECT_EQ(c.want, in_place);
    std::wstring scratch = c.text, out = L"old";
    n.NormalizeInto(scratch, &out);
    EXPECT_EQ(c.want, out);
  }
}

// The changes as "POSITION:BEFORE>AFTER " pieces.
std::wstring ShowChanges(const std::vector<NormChange>& changes) {
  std::wstring shown;
  for (const NormChange& c : changes) {
    shown +=
        std::to_wstring(c.position) + L":" + c.before + L">" + c.after + L" ";
  }
  return shown;
}

TEST_F(NormalizerFileTest, ChangesAreWhatTheStepsDid) {
  Normalizer n;
  ASSERT_TRUE(
      n.LoadNormRules(Rules(L"\x0627\x0653:\x0622\r\n\x064A:\x06CC\r\n"
                            L"\x0643:\x06A9\r\nb\x06BE\x064E:X\r\n"
                            L"q:q\r\n")));
  struct Case {
    std::wstring text;
    std::wstring changes;
  } cases[] = {
      {L"", L""},
      {L"\x06A9\x062A", L""},
      {L"\x0643\x062A\x0627\x0628", L"0:\x0643>\x06A9 "},
      // Neighbouring rules are separate changes; a pattern of two units is
      // one change.
      {L"\x064A\x0643 \x0627\x0653",
       L"0:\x064A>\x06CC 1:\x0643>\x06A9 3:\x0627\x0653>\x0622 "},
      // U+06BE moved in front of the marks before it.
      {L"b\x064F\x0651\x06BE", L"1:\x064F\x0651\x06BE>\x06BE\x064F\x0651 "},
      // A move and a rule over its result are one change.
      {L"ab\x064E\x06BE\x064A", L"1:b\x064E\x06BE>X 4:\x064A>\x06CC "},
      // A move that splits a pattern: the pattern is not matched.
      {L"\x0627\x0653\x06BE", L"1:\x0653\x06BE>\x06BE\x0653 "},
      // A rule that gives back its pattern changes nothing.
      {L"q", L""},
  };
  for (const Case& c : cases) {
    std::wstring out = L"old";
    std::vector<NormChange> changes;
    n.NormalizeWithChanges(c.text, &out, &changes);
    EXPECT_EQ(c.changes, ShowChanges(changes)) << ShowChanges(changes).size();
    EXPECT_EQ(n.NormalizeString(c.text), out);
    // The changes, applied to the text, give the result.
    std::wstring applied;
    size_t at = 0;
    for (const NormChange& change : changes) {
      ASSERT_EQ(change.before,
                c.text.substr(change.position, change.before.size()));
      applied += c.text.substr(at, change.position - at) + change.after;
      at = change.position + change.before.size();
    }
    EXPECT_EQ(out, applied + c.text.substr(std::min(at, c.text.size())));
  }
}

TEST_F(NormalizerFileTest, ReplacingIsLinearInTheTextLength) {
  Normalizer n;
  ASSERT_TRUE(n.LoadNormRules(Rules(L"\x064A:\x06CC\x06CC\r\n")));
  // 10 million characters with a match every 10: erasing and inserting in
  // place would move the tail a million times.
  const std::wstring unit =
      L"\x0628\x0627\x0631\x064A\x06A9\x0627\x0645 \x0627\x0644";
  std::wstring text;
  text.reserve(10000000);
  while (text.size() < 10000000) text += unit;
  const auto begin = std::chrono::steady_clock::now();
  std::wstring out = n.NormalizeString(text);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin)
          .count();
  ASSERT_EQ(text.size() + text.size() / unit.size(), out.size());
  EXPECT_EQ(L"\x0628\x0627\x0631\x06CC\x06CC\x06A9", out.substr(0, 6));
  EXPECT_EQ(std::wstring::npos, out.find(L'\x064A'));
  EXPECT_LT(seconds, 30.0);
}

// The U+06BE step exactly as stated: the test for a diacritic just before
// looks at the result, the search for the run at the input.
std::wstring ReferenceHehMove(const std::wstring& text) {
  Normalizer n;
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == 0x06BE && i > 0 && n.IsDiac(out.back())) {
      long j = static_cast<long>(i) - 1;
      while (j >= 0 && n.IsDiac(text[j])) --j;
      out.insert(out.begin() + (j + 1), 0x06BE);
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

TEST(NormalizerTest, HehMoves) {
  struct Case {
    std::wstring text;
    std::wstring want;
  };
  const Case cases[] = {
      {L"\x0628\x064E\x0651\x06BE", L"\x0628\x06BE\x064E\x0651"},
      {L"\x06BE\x0628", L"\x06BE\x0628"},              // at the start
      {L"\x0628\x06BE", L"\x0628\x06BE"},              // after a letter
      {L"\x0628\x064C\x06BE", L"\x0628\x064C\x06BE"},  // U+064C is no diacritic
      {L"\x0628\x0655\x06BE", L"\x0628\x0655\x06BE"},  // nor U+0655
      {L"\x064E\x06BE", L"\x06BE\x064E"},              // a run at the start
      {L"\x0628\x0670\x06BE\x0627", L"\x0628\x06BE\x0670\x0627"},
      // Two U+06BE after one run: the second stays after the first's run.
      {L"\x0628\x064E\x06BE\x06BE", L"\x0628\x06BE\x064E\x06BE"},
      // A second run after a move: the search stops at the moved U+06BE.
      {L"\x0628\x064E\x06BE\x0650\x06BE", L"\x0628\x06BE\x064E\x06BE\x0650"},
      {L"", L""},
  };
  Normalizer n;
  for (const Case& c : cases) {
    EXPECT_EQ(c.want, n.DiacriticHehDoChasmee(c.text));
    EXPECT_EQ(c.want, ReferenceHehMove(c.text));
    EXPECT_EQ(c.want, n.NormalizeString(c.text));  // no rules: step 1 only
  }
}

TEST(NormalizerTest, HehMoveAgreesWithTheStatedAlgorithm) {
  std::mt19937 rng(7);
  const std::wstring alphabet = L"\x0628\x06BE\x064E\x0651\x0670\x064C\x0610";
  Normalizer n;
  for (int round = 0; round < 20000; ++round) {
    std::wstring text(rng() % 12, L' ');
    for (wchar_t& c : text) c = alphabet[rng() % alphabet.size()];
    ASSERT_EQ(ReferenceHehMove(text), n.DiacriticHehDoChasmee(text))
        << "round " << round;
  }
}

TEST(NormalizerTest, TheEighteenDiacritics) {
  const std::vector<wchar_t> diacritics = {
      0x0610, 0x0611, 0x0612, 0x0613, 0x0614, 0x0615, 0x064B, 0x064E, 0x064F,
      0x0650, 0x0651, 0x0652, 0x0653, 0x0654, 0x0656, 0x0657, 0x0658, 0x0670};
  Normalizer n;
  int count = 0;
  for (wchar_t c = 0x0600; c < 0x0700; ++c) {
    const bool listed =
        std::find(diacritics.begin(), diacritics.end(), c) != diacritics.end();
    EXPECT_EQ(listed, n.IsDiac(c)) << std::hex << c;
    count += n.IsDiac(c);
  }
  EXPECT_EQ(18, count);
}

}  // namespace
