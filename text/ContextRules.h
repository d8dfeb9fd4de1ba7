// Rules that choose the reading of a homograph by the words around it, read
// from a small text file (doc/context-rules.md):
//
//   # مَیں "I" is the subject of نے and of ہوں
//   میں -> مَیں: next=نے|ہوں
//   کیا -> کِیا: prev.tag=noun|pronoun next=گیا|ہے|تھا
//   جلد -> جَلد: next=ہی
//
// A rule names a bare form, the reading it gives, and tests that must all
// hold: the word one or two before or after is one of some words (prev,
// prev2, next, next2) or has one of some parts of speech (.tag), the word
// starts or ends its sentence (start, end); `!` before a test negates it.
// The rules of a form are tried in file order; the first that holds
// chooses. Words are compared by their canonical keys (text/MarkedWord.h),
// so marks and spelling variants in the text do not matter.

#ifndef URDULEX_TEXT_CONTEXTRULES_H_
#define URDULEX_TEXT_CONTEXTRULES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/Error.h"

namespace urdulex::internal {

// The bit of a part of speech of the lexicon (its tag: 10 noun, 11 proper
// noun, 20 verb, ...; doc/lexicon.md), or 0 for a tag it does not have.
uint32_t TagBit(int tag);

// A word of a sentence as the rules see it: its canonical key and the
// TagBits of its readings (0 when the table does not know it).
struct ContextWord {
  std::u16string key;
  uint32_t tags = 0;
};

class ContextRules {
 public:
  // Reads the rules of `text`, named `name` in messages ("NAME:LINE:COLUMN:
  // what is wrong"). On failure the rules are left as they were.
  Status Parse(std::string_view text, const std::string& name);

  bool empty() const { return rules_.empty(); }
  size_t size() const { return rules_.size(); }

  // The reading the first rule that holds gives words[i], or null: no rule
  // of its form holds. Also tells which rule (its line) when `line` is set.
  const std::u16string* Choose(const std::vector<ContextWord>& words, size_t i,
                               int* line = nullptr) const;

 private:
  struct Test {
    enum Kind : uint8_t { kWord, kTag, kStart, kEnd };
    Kind kind;
    bool negated;
    int8_t offset;                      // of the word tested: -2, -1, 1, 2
    uint32_t tags;                      // kTag
    std::vector<std::u16string> words;  // kWord: canonical keys
  };
  struct Rule {
    std::u16string reading;
    std::vector<Test> tests;
    int line;
  };
  static bool Holds(const Test& test, const std::vector<ContextWord>& words,
                    size_t i);

  std::vector<Rule> rules_;
  // The rules of each form's key, in file order.
  std::unordered_map<std::u16string, std::vector<size_t>> by_form_;
};

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_CONTEXTRULES_H_
