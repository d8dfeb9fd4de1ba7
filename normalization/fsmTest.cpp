#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "normalization/CharSetMap.h"
#include "normalization/fsm.h"

namespace {

TEST(CharSetMapTest, IndexesByInsertionAndCopiesDeeply) {
  CharSetMap map;
  EXPECT_EQ(CharSetMap::kAbsent, map.GetIndex(L'a'));
  EXPECT_TRUE(map.Insert(0x0627));
  EXPECT_TRUE(map.Insert(L'a'));
  EXPECT_TRUE(map.Insert(0x0627));  // no duplicate check: a new index
  EXPECT_EQ(3, map.GetTotalNumOfChars());
  EXPECT_EQ(2, map.GetIndex(0x0627));
  EXPECT_EQ(1, map.GetIndex(L'a'));
  EXPECT_EQ(CharSetMap::kAbsent, map.GetIndex(0x0628));
  // Only the low 16 bits take part.
  EXPECT_EQ(1, map.GetIndex(static_cast<wchar_t>(0x10061)));

  CharSetMap copy(map);
  map.Clear();
  EXPECT_EQ(0, map.GetTotalNumOfChars());
  EXPECT_EQ(CharSetMap::kAbsent, map.GetIndex(L'a'));
  EXPECT_EQ(3, copy.GetTotalNumOfChars());
  EXPECT_EQ(2, copy.GetIndex(0x0627));
  map = copy;
  EXPECT_EQ(1, map.GetIndex(L'a'));
}

struct FindCase {
  std::vector<std::wstring> patterns;
  std::wstring text;
  unsigned start;
  int position;
  unsigned short pattern;
};

TEST(FSMTest, FindCases) {
  const FindCase cases[] = {
      {{L"ab", L"abc"}, L"xabcd", 0, 1, 0},  // smallest index, not longest
      {{L"abc", L"ab"}, L"xabcd", 0, 1, 0},
      {{L"abc", L"ab"}, L"xabd", 0, 1, 1},
      {{L"a", L"b", L"x", L"y", L"a"}, L"a", 0, 0, 4},  // last duplicate wins
      {{L"ab"}, L"ab", 2, -1, 0xFFFF},                  // start at the end
      {{L"ab"}, L"ab", 7, -1, 0xFFFF},                  // start past the end
      {{L"ab"}, L"abab", 1, 2, 0},
      {{L"abc", L"b"}, L"abxb", 0, 1, 1},  // 'x' ends the attempt at 0
      {{L"bc", L"abd"}, L"abc", 0, 1, 0},  // a failed longer attempt
      {{L""}, L"abc", 0, -1, 0xFFFF},      // the empty pattern is never found
      {{}, L"abc", 0, -1, 0xFFFF},
      {{L"\x0627\x0653"}, L"\x0628\x0627\x0627\x0653", 0, 2, 0},
      {{L"c"}, L"abc", 0, 2, 0},  // a match that ends the text
  };
  for (const FindCase& c : cases) {
    FSM fsm;
    ASSERT_TRUE(fsm.allocFSM(c.patterns));
    FSMMatch m = fsm.find(c.text, c.start);
    EXPECT_EQ(c.position, m.position) << c.text.size();
    EXPECT_EQ(c.pattern, m.patternIndex) << c.text.size();
  }
  // Starts of full width: none may wrap around to the start of the text,
  // nor read the 'a' in front of it.
  FSM fsm;
  ASSERT_TRUE(fsm.allocFSM({L"a"}));
  const wchar_t buffer[] = L"aa";
  for (size_t start : {size_t{1}, SIZE_MAX - 1, SIZE_MAX}) {
    size_t position = 7;
    unsigned short pattern = 7;
    EXPECT_FALSE(fsm.findIn(buffer + 1, 1, start, &position, &pattern));
    EXPECT_EQ(7u, position);
  }
}

TEST(FSMTest, FindWhole) {
  FSM fsm;
  EXPECT_FALSE(fsm.findWhole(L""));  // not defined
  EXPECT_EQ(-1, fsm.find(L"a", 0).position);
  ASSERT_TRUE(fsm.allocFSM({L"ab", L"abcd"}));
  EXPECT_TRUE(fsm.findWhole(L"ab"));
  EXPECT_TRUE(fsm.findWhole(L"abcd"));
  EXPECT_FALSE(fsm.findWhole(L"a"));
  EXPECT_FALSE(fsm.findWhole(L"abc"));
  EXPECT_FALSE(fsm.findWhole(L"abcde"));
  EXPECT_FALSE(fsm.findWhole(L"zz"));
  EXPECT_FALSE(fsm.findWhole(L""));

  ASSERT_TRUE(fsm.allocFSM({}));
  EXPECT_TRUE(fsm.isDefined());
  EXPECT_EQ(1u, fsm.NumStates());
  EXPECT_FALSE(fsm.findWhole(L""));

  ASSERT_TRUE(fsm.allocFSM({L"x", L""}));
  EXPECT_TRUE(fsm.findWhole(L""));
  EXPECT_EQ(-1, fsm.find(L"ab", 0).position);
}

TEST(FSMTest, TableLayout) {
  FSM fsm;
  ASSERT_TRUE(fsm.allocFSM({L"ba", L"bc", L"a"}));
  // Columns by first occurrence: b=0, a=1, c=2.
  EXPECT_EQ(3, fsm.NumChars());
  EXPECT_EQ(0, fsm.CharSet().GetIndex(L'b'));
  EXPECT_EQ(1, fsm.CharSet().GetIndex(L'a'));
  EXPECT_EQ(2, fsm.CharSet().GetIndex(L'c'));
  // States in order of creation: root, b, ba, bc, a.
  ASSERT_EQ(5u, fsm.NumStates());
  EXPECT_EQ(1, fsm.Transition(0, 0));
  EXPECT_EQ(2, fsm.Transition(1, 1));
  EXPECT_EQ(3, fsm.Transition(1, 2));
  EXPECT_EQ(4, fsm.Transition(0, 1));
  EXPECT_EQ(0, fsm.Transition(0, 2));
  EXPECT_EQ(FSM::kNoPattern, fsm.Accept(0));
  EXPECT_EQ(FSM::kNoPattern, fsm.Accept(1));
  EXPECT_EQ(0, fsm.Accept(2));
  EXPECT_EQ(1, fsm.Accept(3));
  EXPECT_EQ(2, fsm.Accept(4));
}

TEST(FSMTest, CopiesAreDeepAndKeepDefinedness) {
  FSM empty;
  FSM empty_copy(empty);
  EXPECT_FALSE(empty_copy.isDefined());

  FSM fsm;
  ASSERT_TRUE(fsm.allocFSM({L"ab", L"b"}));
  FSM copy(fsm);
  fsm.deAllocFSM();
  EXPECT_FALSE(fsm.isDefined());
  EXPECT_EQ(0, fsm.NumChars());
  EXPECT_TRUE(copy.isDefined());
  EXPECT_EQ(1, copy.find(L"xab", 0).position);
  EXPECT_EQ(1, copy.find(L"xb", 0).patternIndex);
  fsm = copy;
  EXPECT_TRUE(fsm.findWhole(L"ab"));
}

// Every start position, every pattern, the smallest index.
FSMMatch NaiveFind(const std::vector<std::wstring>& patterns,
                   const std::wstring& text, size_t start) {
  FSMMatch m;
  for (size_t b = start; b < text.size(); ++b) {
    for (size_t i = 0; i < patterns.size(); ++i) {
      const std::wstring& p = patterns[i];
      if (p.empty() || text.compare(b, p.size(), p) != 0) continue;
      // The last occurrence of a pattern is the index the automaton keeps.
      size_t index = i;
      for (size_t k = i + 1; k < patterns.size(); ++k) {
        if (patterns[k] == p) index = k;
      }
      if (index < m.patternIndex) {
        m.position = static_cast<int>(b);
        m.patternIndex = static_cast<unsigned short>(index);
      }
    }
    if (m.position >= 0) break;
  }
  return m;
}

TEST(FSMTest, FindAgreesWithNaiveSearch) {
  std::mt19937 rng(12345);
  const std::wstring alphabet = L"abcd\x0627\x0653";
  auto random_string = [&](size_t max_len) {
    std::wstring s(rng() % (max_len + 1), L' ');
    for (wchar_t& c : s) c = alphabet[rng() % alphabet.size()];
    return s;
  };
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::wstring> patterns(rng() % 7);
    for (std::wstring& p : patterns) p = random_string(4);
    FSM fsm;
    ASSERT_TRUE(fsm.allocFSM(patterns));
    for (int t = 0; t < 5; ++t) {
      const std::wstring text = random_string(20);
      const unsigned start = rng() % (text.size() + 2);
      FSMMatch got = fsm.find(text, start);
      FSMMatch want = NaiveFind(patterns, text, start);
      ASSERT_EQ(want.position, got.position) << "round " << round;
      ASSERT_EQ(want.patternIndex, got.patternIndex) << "round " << round;
      bool whole = false;
      for (const std::wstring& p : patterns) whole = whole || p == text;
      ASSERT_EQ(whole, fsm.findWhole(text)) << "round " << round;
    }
  }
}

TEST(FSMTest, LimitsRefuseTheListAndLeaveItUndefined) {
  FSM fsm;
  // One more pattern than 16-bit indexes allow (0xFFFF means none).
  std::vector<std::wstring> many(FSM::kMaxPatterns + 1, L"a");
  ASSERT_TRUE(fsm.allocFSM({L"a"}));
  EXPECT_FALSE(fsm.allocFSM(many));
  EXPECT_FALSE(fsm.isDefined());
  EXPECT_EQ(-1, fsm.find(L"a", 0).position);
  many.pop_back();
  EXPECT_TRUE(fsm.allocFSM(many));
  EXPECT_EQ(FSM::kMaxPatterns - 1, fsm.find(L"a", 0).patternIndex);

  // One state too many: a pattern of 65,536 characters needs 65,536 states
  // besides the root.
  EXPECT_FALSE(fsm.allocFSM({std::wstring(FSM::kMaxStates + 1, L'a')}));
  EXPECT_FALSE(fsm.isDefined());
  EXPECT_TRUE(fsm.allocFSM({std::wstring(FSM::kMaxStates, L'a')}));
  EXPECT_TRUE(fsm.findWhole(std::wstring(FSM::kMaxStates, L'a')));

  // Every 16-bit character: one column too many.
  std::vector<std::wstring> chars(256);
  for (int c = 0; c <= 0xFFFF; ++c) {
    chars[c >> 8].push_back(static_cast<wchar_t>(c));
  }
  EXPECT_FALSE(fsm.allocFSM(chars));
  EXPECT_FALSE(fsm.isDefined());
}

}  // namespace
