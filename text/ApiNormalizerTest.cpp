// The public API of normalization: the rules built in (no file on disk),
// the change list with byte offsets, and the verdicts on rules files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "foundation/TestUtil.h"
#include "urdulex/urdulex.h"

namespace {

class ApiNormalizerTest : public urdulex::test::TempDirTest {};

TEST_F(ApiNormalizerTest, BuiltInRulesAndTheirChanges) {
  // Run from an empty folder: the shipped rules need no file.
  ASSERT_EQ(0, chdir(Path("").c_str()));
  const urdulex::Normalizer urdu = urdulex::Normalizer::Urdu();
  EXPECT_GT(urdu.size(), 0u);
  const struct {
    const char* text;
    const char* normalized;
    size_t changes;
    size_t last_offset;  // bytes
  } cases[] = {
      {"كتاب", "کتاب", 1, 0},
      {"a ميں كتاب", "a میں کتاب", 2, 9},
      {"\u0627\u0653b", "\u0622b", 1, 0},
      {"کتاب", "کتاب", 0, 0},
      {"\xEF\xBB\xBF"
       "كتاب",
       "کتاب", 1, 3},  // offsets count the mark
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.normalized, urdu.Normalize(c.text)) << c.text;
    EXPECT_EQ(c.changes == 0, urdu.IsNormalized(c.text)) << c.text;
    const std::vector<urdulex::Change> changes = urdu.Changes(c.text);
    ASSERT_EQ(c.changes, changes.size()) << c.text;
    if (changes.empty()) continue;
    const urdulex::Change& last = changes.back();
    EXPECT_EQ(c.last_offset, last.offset) << c.text;
    // Replacing each change in the text gives the normalized text.
    std::string text = c.text;
    for (auto it = changes.rbegin(); it != changes.rend(); ++it) {
      ASSERT_EQ(it->before, text.substr(it->offset, it->before.size()));
      text.replace(it->offset, it->before.size(), it->after);
    }
    EXPECT_EQ(c.normalized,
              text.substr(text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0));
  }
}

TEST_F(ApiNormalizerTest, RulesFilesAreJudgedAsUrduJudgesThem) {
  const std::string rules = urdulex::test::Utf16File(L"b:p\r\nc:d");
  MakeFile("nfc.u16", rules);
  MakeFile("config.ini", "NFCfilepath = nfc.u16\r\n");
  const struct {
    std::string path;
    bool config;
    std::string message;
  } cases[] = {
      {Path("config.ini"), true,
       "NFC rules file " + Path("nfc.u16") +
           " ends without CR LF: line 2 would be ignored"},
      {Path("nfc.u16"), false,
       "NFC rules file " + Path("nfc.u16") +
           " ends without CR LF: line 2 would be ignored"},
      {Path("missing.ini"), true,
       "Could not open configuration file: " + Path("missing.ini") + "."},
  };
  for (const auto& c : cases) {
    try {
      c.config ? urdulex::Normalizer::FromConfig(c.path)
               : urdulex::Normalizer::FromRules(c.path);
      ADD_FAILURE() << c.path;
    } catch (const urdulex::Error& e) {
      EXPECT_EQ(c.message, e.what());
    }
  }
  MakeFile("nfc.u16", rules + urdulex::test::Utf16File(L"\r\n", false));
  EXPECT_EQ(
      "pa",
      urdulex::Normalizer::FromConfig(Path("config.ini")).Normalize("ba"));
}

}  // namespace
