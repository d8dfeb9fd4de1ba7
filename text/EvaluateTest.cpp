#include <gtest/gtest.h>

#include <string>

#include "text/Evaluate.h"

namespace urdulex::internal {
namespace {

// Evaluates two UTF-8 texts; the report, or "error: MESSAGE".
std::string EvaluateTexts(const std::string& gold,
                          const std::string& predicted) {
  MemorySource gold_source(gold, "gold");
  MemorySource predicted_source(predicted, "predicted");
  TextReader gold_reader(gold_source, false);
  TextReader predicted_reader(predicted_source, false);
  WordStream g(gold_reader);
  WordStream p(predicted_reader);
  Evaluation evaluation;
  try {
    Evaluate(g, p, nullptr, &evaluation);
  } catch (const Error& e) {
    return "error: " + e.message();
  }
  return FormatEvaluation(evaluation);
}

// The worked example of doc/urdu-evaluate.md, counted by hand:
//   gold       kitaab   (k-kasra t-fatha a b), qalam (q-fatha l-fatha m),
//              aur (no marks), and a number
//   predicted  k-fatha instead of k-kasra (not the last letter),
//              sukun on m (the last letter), aur as it is.
// 10 letters, 2 wrong (1 of them a last letter); 3 words, 2 wrong, 1 of
// them in a letter before its last.
TEST(EvaluateTest, HandCountedExample) {
  const std::string gold =
      "\xDA\xA9\xD9\x90\xD8\xAA\xD9\x8E\xD8\xA7\xD8\xA8\xD8\x8C "  // kitaab,
      "\xD9\x82\xD9\x8E\xD9\x84\xD9\x8E\xD9\x85\n"                 // qalam
      "\xD8\xA7\xD9\x88\xD8\xB1 2026\n";                           // aur 2026
  const std::string predicted =
      "\xDA\xA9\xD9\x8E\xD8\xAA\xD9\x8E\xD8\xA7\xD8\xA8\xD8\x8C "
      "\xD9\x82\xD9\x8E\xD9\x84\xD9\x8E\xD9\x85\xD9\x92\n"
      "\xD8\xA7\xD9\x88\xD8\xB1 2026\n";
  EXPECT_EQ(
      "words\t3\n"
      "letters\t10\n"
      "DER\t20.00%\t2/10\n"
      "DER without last letter\t14.29%\t1/7\n"
      "WER\t66.67%\t2/3\n"
      "WER without last letter\t33.33%\t1/3\n",
      EvaluateTexts(gold, predicted));
}

TEST(EvaluateTest, MarksCompareAsSetsPerLetter) {
  Evaluation e;
  // Shadda then fatha, and fatha then shadda, are the same marks.
  EXPECT_TRUE(CompareWords(u"\u0628\u0651\u064E", u"\u0628\u064E\u0651", &e));
  EXPECT_EQ(0u, e.letter_errors);
  // A mark before the first letter belongs to it.
  EXPECT_TRUE(CompareWords(u"\u064E\u0628", u"\u0628\u064E", &e));
  EXPECT_EQ(0u, e.letter_errors);
  // Tatweels and directional marks are not letters and carry no marks.
  EXPECT_TRUE(CompareWords(u"\u0628\u0640\u064E\u200F\u062A",
                           u"\u0628\u064E\u062A", &e));
  EXPECT_EQ(0u, e.letter_errors);
  // A missing mark is an error; the bare forms must agree.
  EXPECT_TRUE(CompareWords(u"\u0628\u064E\u062A", u"\u0628\u062A", &e));
  EXPECT_EQ(1u, e.letter_errors);
  EXPECT_EQ(4u, e.words);
  EXPECT_FALSE(CompareWords(u"\u0628\u062A", u"\u0628\u062B", &e));
  // No letters: no word.
  EXPECT_TRUE(CompareWords(u"2026", u"2026", &e));
  EXPECT_EQ(4u, e.words);
}

// Words are aligned on their canonical keys: spellings that differ only in
// what the key folds are scored, on their marks alone; other letters fail.
TEST(EvaluateTest, WordsAlignOnTheirCanonicalKeys) {
  const struct {
    std::u16string gold, predicted;
    uint64_t letters, errors;  // letters 0: the words must not align
  } cases[] = {
      // Khari zabar one side writes is left out; one both write is a mark.
      {u"تَعالیٰ", u"تَعالی", 5, 0},
      {u"بٰت", u"بتٰ", 2, 0},
      {u"یٰٰ", u"یٰ", 1, 1},
      // Alef and madda composed or not; a madda on another letter is a mark.
      {u"آپ", u"آپ", 2, 0},
      {u"آَپ", u"آپ", 2, 1},
      {u"بٓ", u"ب", 1, 1},
      // Yeh and hamza; Arabic letters; heh by its place; tatweel.
      {u"ہُوئی", u"ہُوئی", 4, 0},
      {u"كِتاب", u"کتاب", 4, 1},
      {u"بهي", u"بھی", 3, 0},
      {u"بـَت", u"بَت", 2, 0},
      // Presentation forms: a ligature's marks go to its last letter.
      {u"ﮎﺘﺎﺏ", u"کتاب", 4, 0},
      {u"ﷲُ", u"اللہُ", 4, 0},
      {u"ﷲّ", u"اللّہ", 4, 2},
      {u"بﹶ", u"بَ", 1, 0},
      // Tanwin is a mark, as `urdu strip` has it.
      {u"تَقرِیباً", u"تقریبا", 6, 3},
      {u"تَقرِیباً", u"تَقرِیباً", 6, 0},
      {u"فوراً", u"فَوراً", 4, 1},
      // Different letters.
      {u"کتاب", u"کتب", 0, 0},
      {u"آپ", u"اپ", 0, 0},
      {u"ہوئی", u"ہویی", 0, 0},
      {u"بہی", u"بھی", 0, 0},
      {u"كا", u"گا", 0, 0},
  };
  for (const auto& c : cases) {
    const size_t at = static_cast<size_t>(&c - cases);
    Evaluation e;
    EXPECT_EQ(c.letters != 0, CompareWords(c.gold, c.predicted, &e)) << at;
    EXPECT_EQ(c.letters, e.letters) << at;
    EXPECT_EQ(c.errors, e.letter_errors) << at;
  }
}

TEST(EvaluateTest, MismatchesNameLineAndWord) {
  EXPECT_EQ(
      "error: gold:2: word 2 \"\xD8\xA8\" and predicted:2: word 2 "
      "\"\xD8\xAA\" differ in more than their marks",
      EvaluateTexts("x\ny \xD8\xA8", "x\ny \xD8\xAA"));
  EXPECT_EQ("error: predicted ends before gold:1: word 2 \"b\"",
            EvaluateTexts("a b", "a"));
  EXPECT_EQ("error: gold ends before predicted:3: word 1 \"b\"",
            EvaluateTexts("a", "a\n\nb"));
  EXPECT_EQ(
      "words\t0\nletters\t0\nDER\t0.00%\t0/0\nDER without last letter\t0.00%"
      "\t0/0\nWER\t0.00%\t0/0\nWER without last letter\t0.00%\t0/0\n",
      EvaluateTexts("", " \n"));
}

}  // namespace
}  // namespace urdulex::internal
