#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/Tokenizer.h"

namespace urdulex::internal {
namespace {

// The tokens of `text` as "[word]" and "<separators>" pieces ("{...}" for
// a dropped blank, "!...!" for an overlong word, "*" after a word with a
// lifted mark), fed `step` units at a time the way the diacritizer does.
std::u16string Show(const std::u16string& text, bool lines, size_t step) {
  Tokenizer tokenizer(lines);
  std::u16string pending;
  std::u16string shown;
  size_t at = 0;
  while (true) {
    const size_t k = std::min(step, text.size() - at);
    pending.append(text, at, k);
    at += k;
    const bool final = at == text.size();
    std::vector<Token> tokens;
    const size_t used =
        tokenizer.Split(pending.data(), pending.size(), final, &tokens);
    for (const Token& t : tokens) {
      const std::u16string piece = pending.substr(t.start, t.length);
      switch (t.kind) {
        case Token::kWord:
          shown += u"[" + piece + (t.marked ? u"*]" : u"]");
          break;
        case Token::kSeparator:
          shown += u"<" + piece + u">";
          break;
        case Token::kBlank:
          shown += u"{" + piece + u"}";
          break;
        case Token::kOverlong:
          shown += u"!" + piece + u"!";
          break;
      }
    }
    pending.erase(0, used);
    if (final) break;
  }
  // A run of separators may come in pieces, one per block.
  for (size_t at = shown.find(u"><"); at != std::u16string::npos;
       at = shown.find(u"><")) {
    shown.erase(at, 2);
  }
  return shown;
}

TEST(TokenizerTest, RunningText) {
  struct Case {
    std::u16string text;
    std::u16string tokens;
  } cases[] = {
      {u"", u""},
      {u"\u0627\u0628 \u062C", u"[\u0627\u0628]< >[\u062C]"},
      // Urdu and ASCII punctuation, quotes and brackets separate; digits,
      // Latin letters and marks belong to words.
      {u"\u0627\u060C\u0628\u061F \u062C\u06D4\n",
       u"[\u0627]<\u060C>[\u0628]<\u061F >[\u062C]<\u06D4\n>"},
      {u"(\u0627) \"x1\" \u00AB\u0628\u00BB\u2018y\u2019 a-b",
       u"<(>[\u0627]<) \">[x1]<\" \u00AB>[\u0628]<\u00BB\u2018>[y]<\u2019 >"
       u"[a]<->[b]"},
      {u"\u06F1\u066B\u06F5 3,5", u"[\u06F1]<\u066B>[\u06F5]< >[3]<,>[5]"},
      // ZWNJ inside a word belongs to it, at its ends it separates.
      {u"\u0642\u0644\u0645\u200C\u062F\u0627\u0646",
       u"[\u0642\u0644\u0645\u200C\u062F\u0627\u0646]"},
      {u"\u200C\u0627\u200C \u200D", u"<\u200C>[\u0627]<\u200C \u200D>"},
      // A word with a lifted mark is flagged; superscript alef is not one.
      {u"\u0627\u064E\u0628 \u0649\u0670",
       u"[\u0627\u064E\u0628*]< >[\u0649\u0670]"},
      {u"\t\u00A0\u3000", u"<\t\u00A0\u3000>"},
      // Directional marks at the ends of a word separate, inside they
      // belong to it; tatweel belongs to a word anywhere.
      {u"\u200F\u0627\u200E\u0628\u2069 \u0640\u0627\u0640",
       u"<\u200F>[\u0627\u200E\u0628]<\u2069 >[\u0640\u0627\u0640]"},
  };
  for (const Case& c : cases) {
    for (size_t step : {size_t{1}, size_t{2}, size_t{1000}}) {
      EXPECT_EQ(c.tokens, Show(c.text, false, step)) << step;
    }
  }
}

TEST(TokenizerTest, WordsWithLettersAndIgnorables) {
  struct Case {
    std::u16string word;
    bool letter;
    bool ignorable;
  } cases[] = {
      {u"\u0627\u0628", true, false},
      {u"x1", false, false},
      {u"\u06F1\u06F2", false, false},
      {u"\u064E\u0651", false, false},
      {u"\u0640", false, true},
      {u"\u0627\u202E\u0628", true, true},
      {u"\u200F\u0627\u200F", true, false},  // the marks are separators
      {u"\uFEB3", true, false},              // a presentation form
  };
  for (const Case& c : cases) {
    Tokenizer tokenizer;
    std::vector<Token> tokens;
    tokenizer.Split(c.word.data(), c.word.size(), true, &tokens);
    size_t words = 0;
    for (const Token& t : tokens) {
      if (t.kind != Token::kWord) continue;
      ++words;
      EXPECT_EQ(c.letter, t.letter) << words;
      EXPECT_EQ(c.ignorable, t.ignorable) << words;
    }
    EXPECT_EQ(1u, words);
  }
}

TEST(TokenizerTest, LineMode) {
  // Each line trimmed of blanks is one word; the blanks are dropped.
  EXPECT_EQ(u"{  }[\u0627 \u0628]{\r}<\n>[]<\n>[x]",
            Show(u"  \u0627 \u0628\r\n\nx", true, 1));
  EXPECT_EQ(u"[a]<\n>", Show(u"a\n", true, 1000));
}

TEST(TokenizerTest, OverlongWordsAreNotHeld) {
  const std::u16string word(Tokenizer::kMaxWordUnits + 1, u'\u0627');
  EXPECT_EQ(u"[a]< >!" + word + u"!< >[b]",
            Show(u"a " + word + u" b", false, 1000000));
  // Fed in blocks, the pieces of one overlong word stay overlong.
  const std::u16string shown = Show(u"a " + word + word + u" b", false, 700);
  EXPECT_EQ(0u, shown.find(u"[a]< >!"));
  EXPECT_EQ(std::u16string::npos, shown.find(u"[\u0627"));
  EXPECT_NE(std::u16string::npos, shown.find(u"!< >[b]"));
}

// Lines too long to be words lose their blanks at either end, as the
// diacritizer trims them, however the blocks fall; a line that is short
// without them is a word.
TEST(TokenizerTest, OverlongLinesAreTrimmedToo) {
  const std::u16string word(Tokenizer::kMaxWordUnits + 1, u'\u0627');
  const std::u16string blanks(1500, u' ');
  const struct {
    std::u16string text;
    std::u16string tokens;
  } kCases[] = {
      {u"  " + word + u" \t\r\nx", u"{  }!" + word + u"!{ \t\r}<\n>[x]"},
      {word + u"  ", u"!" + word + u"!{  }"},
      {u" " + word + u" \t " + word + u" \n",
       u"{ }!" + word + u" \t " + word + u"!{ }<\n>"},
      {blanks + u"ab" + blanks + u"\n",
       u"{" + blanks + u"}[ab]{" + blanks + u"}<\n>"},
      {blanks + u"\n" + blanks, u"{" + blanks + u"}[]<\n>{" + blanks + u"}[]"},
  };
  for (const auto& c : kCases) {
    for (size_t step : {1u, 7u, 700u, 1000000u}) {
      std::u16string shown = Show(c.text, true, step);
      // Pieces of one run, one per block, joined.
      for (const char16_t* join : {u"}{", u"!!"}) {
        for (size_t at = shown.find(join); at != std::u16string::npos;
             at = shown.find(join)) {
          shown.erase(at, 2);
        }
      }
      EXPECT_TRUE(c.tokens == shown) << "step " << step;
    }
  }
}

}  // namespace
}  // namespace urdulex::internal
