// Evaluate of urdulex/evaluate.h over the comparison of Evaluate.h.

#include "text/ApiSupport.h"
#include "text/ApiWordFormTable.h"
#include "text/Evaluate.h"
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

std::string Evaluation::Report() const {
  return urdulex::internal::FormatEvaluation(*this);
}

Evaluation Evaluate(std::string_view gold, std::string_view predicted,
                    const WordFormTable* table) {
  return urdulex::internal::ApiCall([&] {
    urdulex::internal::MemorySource gold_source(std::string(gold), "gold");
    urdulex::internal::MemorySource predicted_source(std::string(predicted),
                                                     "predicted");
    urdulex::internal::TextReader gold_reader(gold_source, false);
    urdulex::internal::TextReader predicted_reader(predicted_source, false);
    urdulex::internal::WordStream gold_words(gold_reader);
    urdulex::internal::WordStream predicted_words(predicted_reader);
    Evaluation e;
    urdulex::internal::Evaluate(
        gold_words, predicted_words,
        table != nullptr ? table->data_->table.get() : nullptr, &e);
    return e;
  });
}

}  // namespace urdulex
