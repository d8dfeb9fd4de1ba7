#include <gtest/gtest.h>

#include <string>

#include "text/MarkedWord.h"

namespace urdulex::internal {
namespace {

// The word with the reading's marks, or "disagrees".
std::u16string Marked(const std::u16string& word, const std::u16string& form) {
  MarkedWord w, r;
  w.Assign(word.data(), word.size());
  r.Assign(form.data(), form.size());
  if (!Agrees(w, r)) return u"disagrees";
  std::u16string out;
  PutMarks(word.data(), w, r, &out);
  return out;
}

TEST(MarkedWordTest, ReadingsMarksGoOnTheWritersLetters) {
  const struct {
    std::u16string word, form, expected;
  } kCases[] = {
      {u"اللہ", u"اَللّہ", u"اَللّہ"},
      {u"كتاب", u"کِتاب", u"كِتاب"},                  // Arabic kaf stays
      {u"\u0627\u0653پ", u"آپ", u"\u0627\u0653پ"},  // decomposed madda
      {u"ہو\u06cc\u0654ی", u"ہُوئی", u"ہُو\u06cc\u0654ی"},
      {u"مَیں", u"میں", u"disagrees"},
      {u"مَیں", u"مَیں", u"مَیں"},
      {u"اُس", u"اِس", u"disagrees"},
      {u"قابلِ", u"قابِل", u"قابِلِ"},              // izafat kept
      {u"کتاب\u0652", u"کِتاب", u"کِتاب\u0652"},  // sukun where no vowel
      {u"اعلی", u"اَعلیٰ", u"اَعلیٰ"},              // khari zabar added
      {u"اعلیٰ", u"اَعلی", u"disagrees"},
      {u"بـات", u"بات", u"بـات"},
      {u"بـات", u"بَات", u"بَـات"},
      {u"\ufdf2", u"اَللّہ", u"\ufdf2"},  // a ligature takes no marks
      {u"مسئلۂ", u"مَسئلہ", u"مَسئلۂ"},   // izafat hamza
      {u"بِلّی", u"بِلّی", u"بِلّی"},
      {u"بّلی", u"بِلّی", u"disagrees"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Marked(c.word, c.form), c.expected)
        << std::string(c.word.begin(), c.word.end()).size();
  }
}

}  // namespace
}  // namespace urdulex::internal
