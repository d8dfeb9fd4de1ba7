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

// A word of a sentence as the rules see it: its canonical key (kept by the
// caller) and the TagBits of its readings (0 when the table does not know
// it).
struct ContextWord {
  std::u16string_view key;
  uint32_t tags = 0;
};

// Gives the tags of the word `j` of the words a rule is tried on, when a
// rule first tests them (finding them costs a lookup).
class TagSource {
 public:
  virtual uint32_t TagsOf(size_t j) = 0;

 protected:
  ~TagSource() = default;
};

class ContextRules {
 public:
  ContextRules() = default;
  // Moved, never copied: form_of_ points into form_keys_.
  ContextRules(ContextRules&&) = default;
  ContextRules& operator=(ContextRules&&) = default;
  ContextRules(const ContextRules&) = delete;
  ContextRules& operator=(const ContextRules&) = delete;

  // Reads the rules of `text`, named `name` in messages ("NAME:LINE:COLUMN:
  // what is wrong"). On failure the rules are left as they were.
  Status Parse(std::string_view text, const std::string& name);

  bool empty() const { return rules_.empty(); }
  size_t size() const { return rules_.size(); }

  // The number of the forms the rules are of.
  size_t forms() const { return form_rules_.size(); }
  // The form whose key is key[0, n): its number (from 0), or -1 when no
  // rule is of it.
  int FormOf(const char16_t* key, size_t n) const {
    if (n == 0) return -1;
    const size_t bit = FilterBit(key, n);
    if ((filter_[bit / 64] >> (bit % 64) & 1) == 0) return -1;
    const auto it = form_of_.find(std::u16string_view(key, n));
    return it == form_of_.end() ? -1 : it->second;
  }

  // The reading the first rule that holds gives words[i], or null: no rule
  // of its form holds. Also tells which rule (its line) when `line` is set.
  // The tags are those of `words`, or when `tags` is given those it gives.
  const std::u16string* Choose(const std::vector<ContextWord>& words, size_t i,
                               int* line = nullptr,
                               TagSource* tags = nullptr) const {
    return Choose(FormOf(words[i].key.data(), words[i].key.size()), words, i,
                  line, tags);
  }
  // The same for a word of the form `form` (FormOf).
  const std::u16string* Choose(int form, const std::vector<ContextWord>& words,
                               size_t i, int* line, TagSource* tags) const;

 private:
  struct Test {
    enum Kind : uint8_t { kWord, kTag, kStart, kEnd };
    Kind kind;
    bool negated;
    int8_t offset;                      // of the word tested: -2, -1, 1, 2
    uint32_t tags;                      // kTag
    std::vector<std::u16string> words;  // kWord: canonical keys
    std::vector<int> ids;               // their numbers (word_id_), sorted
  };
  struct Rule {
    std::u16string reading;
    std::vector<Test> tests;
    int line;
  };
  // `ids` holds the number (word_id_) of the words at offsets -2 to 2 of
  // words[i], kNotLooked for one not yet looked up.
  bool Holds(const Test& test, const std::vector<ContextWord>& words, size_t i,
             TagSource* tags, int* ids) const;
  static constexpr int kNotLooked = -2;
  // Most words are no rule's form: a bit per hash of a key's first and
  // last units and length turns them away without a string.
  static size_t FilterBit(const char16_t* key, size_t n) {
    const uint32_t h = (key[0] * 0x9E3779B1u) ^ (key[n / 2] * 0x85EBCA77u) ^
                       (key[n - 1] * 0xC2B2AE3Du) ^ static_cast<uint32_t>(n);
    return (h * 0x27D4EB2Fu) >> (32 - kFilterLog);
  }
  static constexpr size_t kFilterLog = 15;
  static constexpr size_t kFilterBits = size_t{1} << kFilterLog;

  std::vector<Rule> rules_;
  // The forms' keys (in rules_' readings), and the rules of each form in
  // file order.
  std::vector<std::u16string> form_keys_;
  std::unordered_map<std::u16string_view, int> form_of_;
  // A number for each word the tests name (in rules_' tests).
  std::unordered_map<std::u16string_view, int> word_id_;
  std::vector<std::vector<size_t>> form_rules_;
  uint64_t filter_[kFilterBits / 64] = {};
};

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_CONTEXTRULES_H_
