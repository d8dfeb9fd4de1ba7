#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "text/ContextRules.h"
#include "text/MarkedWord.h"

namespace urdulex::internal {
namespace {

// Malformed rules are refused with the place of the fault, and the rules
// read before stay.
TEST(ContextRulesTest, MalformedRulesNameTheirPlace) {
  const struct {
    const char* text;
    const char* message;  // empty: accepted
  } kCases[] = {
      {"# only a comment\n\n   \n", ""},
      {"میں -> مَیں: next=نے|ہوں\nمیں -> میں\n", ""},
      {"\xEF\xBB\xBFکہ -> کِہ: !next=دو start end # said\n", ""},
      {"میں مَیں\n",
       "r:1:1: a rule is FORM -> READING, then a colon and its "
       "tests"},
      {"مَیں -> مَیں\n", "r:1:1: the form is written with marks; write it bare"},
      {"\nمیں -> کِتاب: next=نے\n",
       "r:2:8: \"کِتاب\" is not a reading of \"میں\": their letters differ"},
      {"میں -> مَیں next=نے\n",
       "r:1:13: a colon goes between the reading and the tests"},
      {"میں -> مَیں:\n", "r:1:12: tests go after the colon"},
      {"میں -> مَیں: nxt=نے\n",
       "r:1:14: unknown test \"nxt\"; the tests are prev, prev2, next, next2 "
       "(with =WORD|WORD or .tag=TAG|TAG), start and end"},
      {"میں -> مَیں: !next\n",
       "r:1:19: an = and what the word is go after "
       "\"next\""},
      {"میں -> مَیں: next=نے||ہوں\n", "r:1:22: a word is empty"},
      {"میں -> مَیں: prev.pos=noun\n",
       "r:1:18: after the word comes .tag or nothing"},
      {"میں -> مَیں: prev.tag=nown\n",
       "r:1:23: unknown part of speech \"nown\"; they are noun, propernoun, "
       "verb, auxiliary, adjective, numeral, determiner, adverb, pronoun, "
       "question, postposition, conjunction, particle, interjection"},
      {"میں -> \xFFمَیں\n", "r:1:8: not UTF-8 text"},
  };
  for (const auto& c : kCases) {
    ContextRules rules;
    ASSERT_TRUE(rules.Parse("جلد -> جَلد: next=ہی\n", "old").ok());
    const Status status = rules.Parse(c.text, "r");
    EXPECT_EQ(c.message, status.ok() ? "" : status.message()) << c.text;
    if (!status.ok()) {
      EXPECT_EQ(1u, rules.size()) << c.text;
    }
  }
}

ContextWord Word(const std::u16string& text, uint32_t tags = 0) {
  static std::deque<std::u16string> keys;  // the words' keys stay here
  MarkedWord word;
  word.Assign(text.data(), text.size());
  keys.push_back(word.key());
  return ContextWord{keys.back(), tags};
}

// The first rule of a form whose tests all hold chooses; words match by
// their canonical keys, tags by any reading's part of speech.
TEST(ContextRulesTest, FirstRuleThatHoldsChooses) {
  ContextRules rules;
  ASSERT_TRUE(rules
                  .Parse("میں -> مَیں: next=نے|ہوں\n"
                         "میں -> مَیں: start !next.tag=noun\n"
                         "کیا -> کِیا: prev.tag=noun|pronoun next=گیا\n"
                         "کیا -> کیا: start\n"
                         "جلد -> جَلد: next2=جلد\n"
                         "جلد -> جِلد: end\n",
                         "rules")
                  .ok());
  const uint32_t noun = TagBit(10), pronoun = TagBit(50), verb = TagBit(20);
  const struct {
    std::vector<ContextWord> words;
    size_t i;
    const char16_t* reading;  // null: no rule holds
    int line;
  } kCases[] = {
      {{Word(u"میں"), Word(u"نے")}, 0, u"مَیں", 1},
      {{Word(u"گھر"), Word(u"میں"), Word(u"ہوں")}, 1, u"مَیں", 1},
      {{Word(u"مَیں"), Word(u"نے")}, 0, u"مَیں", 1},  // marks do not matter
      {{Word(u"میں"), Word(u"جاتا", verb)}, 0, u"مَیں", 2},
      {{Word(u"میں"), Word(u"گھر", noun)}, 0, nullptr, 0},
      {{Word(u"گھر", noun), Word(u"میں")}, 1, nullptr, 0},
      {{Word(u"اس", pronoun), Word(u"کیا"), Word(u"گیا")}, 1, u"کِیا", 3},
      {{Word(u"کیا"), Word(u"گیا")}, 0, u"کیا", 4},
      {{Word(u"كيا")}, 0, u"کیا", 4},  // Arabic kaf and yeh
      {{Word(u"جلد"), Word(u"سے"), Word(u"جلد")}, 0, u"جَلد", 5},
      {{Word(u"جلد"), Word(u"سے"), Word(u"جلد")}, 2, u"جِلد", 6},
      {{Word(u"کتاب"), Word(u"نے")}, 0, nullptr, 0},
  };
  for (const auto& c : kCases) {
    int line = 0;
    const std::u16string* got = rules.Choose(c.words, c.i, &line);
    EXPECT_EQ(c.reading == nullptr, got == nullptr) << c.line;
    if (got != nullptr && c.reading != nullptr) {
      EXPECT_EQ(std::u16string(c.reading), *got);
      EXPECT_EQ(c.line, line);
    }
  }
}

}  // namespace
}  // namespace urdulex::internal
