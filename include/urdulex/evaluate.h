// The measures of a diacritization: a diacritized text (the prediction)
// against a reference (the gold text), word by word (doc/urdu-evaluate.md).
//
// The n-th word of one text is compared with the n-th word of the other;
// their bare letters must be the same, or Evaluate throws Error naming the
// line and word of both texts where they part.

#ifndef URDULEX_EVALUATE_H_
#define URDULEX_EVALUATE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace urdulex {

class WordFormTable;

struct Evaluation {
  uint64_t words = 0;
  uint64_t letters = 0;
  uint64_t letter_errors = 0;
  uint64_t last_letter_errors = 0;  // of those, on a word's last letter
  uint64_t word_errors = 0;
  uint64_t word_errors_before_last = 0;  // wrong in a letter before the last
  // With a table: the counted gold words whose bare form it knows, and
  // those among them whose gold form is one of the table's forms.
  bool with_table = false;
  uint64_t covered = 0;
  uint64_t covered_exactly = 0;
  // With a table: the counted gold words with several forms in it (the
  // homographs), and those among them the prediction got wrong.
  uint64_t ambiguous = 0;
  uint64_t ambiguous_errors = 0;

  // Diacritic and word error rates, in [0, 1]; 0 when nothing was counted.
  double DiacriticErrorRate() const;
  double WordErrorRate() const;
  // The same without each word's last letter.
  double DiacriticErrorRateBeforeLast() const;
  double WordErrorRateBeforeLast() const;
  // The report of the measures, one measure a line.
  std::string Report() const;
};

Evaluation Evaluate(std::string_view gold, std::string_view predicted,
                    const WordFormTable* table = nullptr);

}  // namespace urdulex

#endif  // URDULEX_EVALUATE_H_
