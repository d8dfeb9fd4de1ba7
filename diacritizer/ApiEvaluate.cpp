// Evaluate of urdulex/evaluate.h over the comparison of Evaluate.h.

#include "diacritizer/ApiWordFormTable.h"
#include "diacritizer/Evaluate.h"
#include "foundation/ApiSupport.h"
#include "urdulex/evaluate.h"

namespace urdulex {

namespace {

double Rate(uint64_t part, uint64_t whole) {
  return whole == 0 ? 0.0
                    : static_cast<double>(part) / static_cast<double>(whole);
}

}  // namespace

double Evaluation::DiacriticErrorRate() const {
  return Rate(letter_errors, letters);
}
double Evaluation::WordErrorRate() const { return Rate(word_errors, words); }
double Evaluation::DiacriticErrorRateBeforeLast() const {
  return Rate(letter_errors - last_letter_errors, letters - words);
}
double Evaluation::WordErrorRateBeforeLast() const {
  return Rate(word_errors_before_last, words);
}

std::string Evaluation::Report() const { return urdu::FormatEvaluation(*this); }

Evaluation Evaluate(std::string_view gold, std::string_view predicted,
                    const WordFormTable* table) {
  return urdu::ApiCall([&] {
    urdu::MemorySource gold_source(std::string(gold), "gold");
    urdu::MemorySource predicted_source(std::string(predicted), "predicted");
    urdu::TextReader gold_reader(gold_source, false);
    urdu::TextReader predicted_reader(predicted_source, false);
    urdu::WordStream gold_words(gold_reader);
    urdu::WordStream predicted_words(predicted_reader);
    Evaluation e;
    urdu::Evaluate(gold_words, predicted_words,
                   table != nullptr ? table->data_->table.get() : nullptr, &e);
    return e;
  });
}

}  // namespace urdulex
