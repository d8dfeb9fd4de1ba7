// The public API of mark removal and letter codes.

#include <gtest/gtest.h>

#include <string>

#include "urdulex/urdulex.h"

namespace {

TEST(ApiStripTest, MarksGoLettersStay) {
  const struct {
    const char* text;
    bool keep_shadda;
    const char* stripped;
  } cases[] = {
      {"کِتاب", false, "کتاب"},
      {"اَچّھی", false, "اچھی"},
      {"اَچّھی", true, "اچّھی"},
      {"\u0627\u0653\u067E", false,
       "\u0622\u067E"},  // alef and madda: one letter
      {"\u06CC\u0654", false, "\u0626"},
      {"ab 12", false, "ab 12"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.stripped, urdulex::StripDiacritics(c.text, {c.keep_shadda}))
        << c.text;
  }
}

TEST(ApiLetterCodesTest, CodesOfTheShippedTable) {
  const urdulex::LetterCodes codes = urdulex::LetterCodes::Open(
      std::string(URDULEX_SOURCE_DIR) + "/data/codemapper/rules.txt");
  // Every letter has a code; ASCII passes; a doubled letter is written twice.
  const std::string kitab = codes.Map("کتاب");
  EXPECT_FALSE(kitab.empty());
  EXPECT_EQ(std::string::npos, kitab.find_first_not_of("0123456789"));
  EXPECT_EQ("ab " + kitab, codes.Map("ab کتاب"));
  try {
    urdulex::LetterCodes::Open("missing.txt");
    ADD_FAILURE() << "no error";
  } catch (const urdulex::Error& e) {
    EXPECT_EQ(0, std::string(e.what()).find("code table missing.txt: "));
  }
}

}  // namespace
