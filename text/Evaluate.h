// The measures of a diacritization: a diacritized text (the prediction)
// against a reference (the gold text), word by word.
//
// Both texts are split into words by the Tokenizer, and the n-th word of
// one is compared with the n-th word of the other. They must have the same
// letters, compared on their canonical keys (text/CanonicalKey.h) made bare
// (AppendBareForm): khari zabar, tatweels, directional marks, how a letter
// is composed, Arabic or Urdu letters and presentation forms are what the
// diacritizer may change or the stripping of marks took off, so they do
// not part two words. Only the marks lifted off the key (fatha, damma,
// kasra, shadda, sukun, a maddah above not composed into its alef) are
// scored, each with the letter of the key before it; a letter is an
// Arabic-script letter (IsArabicLetter), the marks before a word's first
// letter belong to that letter, and those of a presentation-form ligature
// to its last letter. A khari zabar belongs to the letter before it too,
// but only where both words write it there. A letter is right when it
// carries the same marks in both texts, in any order.
//
//   DER  letters with wrong marks / letters
//   WER  words with a letter with wrong marks / words
// and each again without the last letter of every word (its marks often
// depend on the sentence): that letter is left out of the DER count, and
// a word counts as wrong for WER only for its other letters. Words without
// a letter (numbers, Latin) take no part.

#ifndef URDULEX_TEXT_EVALUATE_H_
#define URDULEX_TEXT_EVALUATE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "text/Diacritize.h"
#include "text/TextIO.h"
#include "text/Tokenizer.h"
#include "urdulex/evaluate.h"

namespace urdulex::internal {

// The counts, as the public API hands them out (urdulex/evaluate.h).
using Evaluation = urdulex::Evaluation;

// Compares one pair of words and adds them to `evaluation`. False, adding
// nothing, when their letters differ.
bool CompareWords(const std::u16string& gold, const std::u16string& predicted,
                  Evaluation* evaluation);

// The words of a text, one at a time, with where they stand.
class WordStream {
 public:
  explicit WordStream(TextReader& reader) : reader_(reader) {}
  // The next word; false at the end. `line` is 1-based, `index` the word's
  // place in its line, from 1.
  bool Next(std::u16string* word, uint64_t* line, uint64_t* index);
  const std::string& name() const { return reader_.name(); }

 private:
  TextReader& reader_;
  Tokenizer tokenizer_;
  Units text_;
  std::vector<Token> tokens_;
  size_t next_ = 0;   // next token to look at
  size_t used_ = 0;   // units the tokens cover
  bool more_ = true;  // the reader may have more
  uint64_t line_ = 1;
  uint64_t index_ = 0;
};

// Compares the whole texts. Throws Error naming the line and word of both
// texts where their letters part, or where one ends first. With a table,
// also counts its coverage of the gold words: a word is known when the
// table has its bare form or else its bare canonical key.
void Evaluate(WordStream& gold, WordStream& predicted,
              const WordFormLookup* table, Evaluation* evaluation);

// The report: one line per measure, name, percentage and fraction,
// separated by tabs.
std::string FormatEvaluation(const Evaluation& evaluation);

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_EVALUATE_H_
