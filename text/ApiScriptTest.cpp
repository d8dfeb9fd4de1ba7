// The public API of the script services: diacritics split and merged, and
// UZT through a mapping file, with the messages of `urdu`.

#include <gtest/gtest.h>

#include <string>

#include "urdulex/urdulex.h"

namespace {

TEST(ApiDiacriticsTest, SplitAndMergeAreInverse) {
  const struct {
    const char* word;
    const char* bare;
    const char* symbols;
  } cases[] = {
      {"کِتاب", "کتاب", "RXXX"},
      {"قَلَم", "قلم", "ZZX"},
      {"اَچّھی", "اچھی", "ZSXXX"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    const urdulex::SplitWord split = urdulex::SplitDiacritics(c.word);
    EXPECT_EQ(c.bare, split.bare);
    EXPECT_EQ(c.symbols, split.symbols);
    EXPECT_EQ(c.word, urdulex::MergeDiacritics(c.bare, c.symbols));
  }
}

TEST(ApiDiacriticsTest, InvalidUtf8IsAnError) {
  try {
    urdulex::SplitDiacritics("\xDA\xA9\xFF");
    ADD_FAILURE() << "no error";
  } catch (const urdulex::Error& e) {
    EXPECT_STREQ("text: line 1, byte offset 2: invalid UTF-8", e.what());
  }
}

std::string Mapping() {
  return std::string(URDULEX_SOURCE_DIR) + "/data/uzt/test-mapping.txt";
}

TEST(ApiUztTest, RoundTripAndPolicies) {
  const urdulex::UztCodec codec = urdulex::UztCodec::Open(Mapping());
  const std::string text = "کتاب\n";
  EXPECT_EQ("\x9C\x84\x81\x82\n", codec.Encode(text));
  EXPECT_EQ(text, codec.Decode(codec.Encode(text)));
  const struct {
    urdulex::ErrorPolicy policy;
    const char* encoded;
  } cases[] = {
      {urdulex::ErrorPolicy::kSkip, "\x9C\x84\x81\x82 "},
      {urdulex::ErrorPolicy::kSubstitute, "\x9C\x84\x81\x82 ?"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.encoded, codec.Encode("کتاب 一", c.policy));
  }
  try {
    codec.Encode("کتاب 一");
    ADD_FAILURE() << "no error";
  } catch (const urdulex::Error& e) {
    EXPECT_STREQ(
        "text: line 1, column 6, byte offset 9: U+4E00 has no UZT form in "
        "the mapping",
        e.what());
  }
}

}  // namespace
