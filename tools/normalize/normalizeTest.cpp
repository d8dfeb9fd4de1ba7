// End-to-end tests: run the built program in a scratch directory and compare
// the output bytes, the exit status and the error line.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "foundation/TestUtil.h"

namespace {

using urdulex::test::TempDirTest;
using urdulex::test::Utf16File;

const std::string kData =
    std::string(URDULEX_SOURCE_DIR) + "/data/normalization";

class NormalizeProgramTest : public TempDirTest {
 protected:
  // The shipped configuration and rules, copied into the scratch directory.
  void PutShippedRules() {
    MakeFile("config.ini", Contents(kData + "/config.ini"));
    MakeFile("nfc-urdu.txt", Contents(kData + "/nfc-urdu.txt"));
  }
  int Exec(const std::string& args) {
    return Run("'" NORMALIZE_PATH "' " + args);
  }
  std::string Out() { return Contents(Path("out.txt")); }
};

TEST_F(NormalizeProgramTest, NormalizesEveryLine) {
  PutShippedRules();
  struct Case {
    std::wstring in, out;
  };
  const Case cases[] = {
      // CR LF lines, Arabic letters and digits, a composed letter.
      {L"\x0643\x062A\x0627\x0628 \x0664\x0665\r\n\x0627\x0653\x067E",
       L"\x06A9\x062A\x0627\x0628 \x06F4\x06F5\r\n\x0622\x067E"},
      // LF lines, U+06BE moved before its diacritic, a final LF.
      {L"\x06AF\x064E\x06BE\x0631\n\x06C1\x064A\x06BA\n",
       L"\x06AF\x06BE\x064E\x0631\r\n\x06C1\x06CC\x06BA\r\n"},
      // Blank lines stay; what needs no change is copied.
      {L"\n\r\nabc \x06A9\x06C1\x200C\x0627",
       L"\r\n\r\nabc \x06A9\x06C1\x200C\x0627"},
      {L"", L""},
  };
  for (const Case& c : cases) {
    MakeFile("in.txt", Utf16File(c.in));
    EXPECT_EQ(0, Exec("in.txt out.txt")) << stderr_;
    EXPECT_EQ("", stderr_);
    EXPECT_EQ(Utf16File(c.out), Out());
  }
}

TEST_F(NormalizeProgramTest, LongLinesAndManyLines) {
  PutShippedRules();
  std::wstring in, want;
  for (int i = 0; i < 20000; ++i) {
    in += L"\x064A\x0628\x0647 ";
    want += L"\x06CC\x0628\x06C1 ";
  }
  in += L"\r\n";
  want += L"\r\n";
  for (int i = 0; i < 50000; ++i) {
    in += L"\x0643\r\n";
    want += L"\x06A9\r\n";
  }
  MakeFile("in.txt", Utf16File(in));
  ASSERT_EQ(0, Exec("in.txt out.txt")) << stderr_;
  EXPECT_EQ(Utf16File(want), Out());
}

TEST_F(NormalizeProgramTest, RunsOnTheShippedSample) {
  PutShippedRules();
  const std::string sample = Contents(kData + "/sample.txt");
  MakeFile("in.txt", sample);
  ASSERT_EQ(0, Exec("in.txt out.txt")) << stderr_;
  const std::string out = Out();
  // Same number of lines, and the sample has something to change.
  EXPECT_NE(sample, out);
  auto lines = [](const std::string& bytes) {
    int n = 0;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      n += bytes[i] == '\n' && bytes[i + 1] == '\0';
    }
    return n;
  };
  EXPECT_EQ(lines(sample), lines(out));
  // Normalizing again changes nothing.
  MakeFile("again.txt", out);
  ASSERT_EQ(0, Exec("again.txt out.txt")) << stderr_;
  EXPECT_EQ(out, Out());
}

struct FailureCase {
  const char* what;
  std::string config;  // empty: no config.ini
  std::string rules;   // empty: no nfc.txt
  std::string input;   // empty: no in.txt
  std::string args;
  int status;
  std::string message;  // a regular expression for the whole line
};

TEST_F(NormalizeProgramTest, Failures) {
  const std::string good_rules = Utf16File(L"a:b\r\n");
  const std::string good_config = "NFCfilepath=nfc.txt\n";
  const std::string good_input = Utf16File(L"a\r\n");
  const FailureCase cases[] = {
      {"no arguments", good_config, good_rules, good_input, "", 2,
       "usage: urdulex-normalize INPUT OUTPUT\n"},
      {"three arguments", good_config, good_rules, good_input, "in.txt a b", 2,
       "usage: urdulex-normalize INPUT OUTPUT\n"},
      {"empty name", good_config, good_rules, good_input, "in.txt ''", 2,
       "usage: urdulex-normalize INPUT OUTPUT\n"},
      {"no configuration", "", good_rules, good_input, "in.txt out.txt", 1,
       "urdulex-normalize: Could not open configuration file: "
       "config\\.ini\\.\n"},
      {"no NFC entry", "NFDfilepath=nfc.txt\n", good_rules, good_input,
       "in.txt out.txt", 1,
       "urdulex-normalize: Configuration file config\\.ini has no NFCfilepath "
       "entry\\.\n"},
      {"no rules file", good_config, "", good_input, "in.txt out.txt", 1,
       "urdulex-normalize: NFC rules file nfc\\.txt could not be read: Could "
       "not "
       "open file: nfc\\.txt\\.\n"},
      {"rules without mark", good_config, "a:b\r\n", good_input,
       "in.txt out.txt", 1,
       "urdulex-normalize: NFC rules file nfc\\.txt could not be read: File is "
       "not "
       "Unicode based\\.\n"},
      {"rules cut after CR", good_config, Utf16File(L"a:b\r"), good_input,
       "in.txt out.txt", 1,
       "urdulex-normalize: NFC rules file nfc\\.txt could not be read: End of "
       "file "
       "encountered\\.\n"},
      {"rules without a last line end", good_config, Utf16File(L"a:b\r\nc:d"),
       good_input, "in.txt out.txt", 1,
       "urdulex-normalize: NFC rules file nfc\\.txt ends without CR LF: line 2 "
       "would be ignored\\.\n"},
      {"rules cut inside a character", good_config, good_rules + "c",
       good_input, "in.txt out.txt", 1,
       "urdulex-normalize: NFC rules file nfc\\.txt ends without CR LF: line 2 "
       "would be ignored\\.\n"},
      {"one rule, no line end", "NFCfilepath = nfc.txt\r\n", Utf16File(L"a:b"),
       good_input, "in.txt out.txt", 1,
       "urdulex-normalize: NFC rules file nfc\\.txt ends without CR LF: line 1 "
       "would be ignored\\.\n"},
      {"no input", good_config, good_rules, "", "in.txt out.txt", 1,
       "Error Code \\(0x10\\) in FileReader \\([0-9]+\\): Could not open "
       "file: in\\.txt\\.\n"},
      {"input without mark", good_config, good_rules, "a\r\n", "in.txt out.txt",
       1,
       "Error Code \\(0x10\\) in FileReader \\([0-9]+\\): File is not "
       "Unicode based\\.\n"},
      {"same file", good_config, good_rules, good_input, "in.txt ./in.txt", 1,
       "urdulex-normalize: Input and output are the same file: "
       "\\./in\\.txt\\.\n"},
      {"output in a missing folder", good_config, good_rules, good_input,
       "in.txt no/out.txt", 1,
       "urdulex-normalize: Could not create output file: no/out\\.txt\\.\n"},
  };
  for (const FailureCase& c : cases) {
    std::remove(Path("config.ini").c_str());
    std::remove(Path("nfc.txt").c_str());
    std::remove(Path("in.txt").c_str());
    std::remove(Path("out.txt").c_str());
    if (!c.config.empty()) MakeFile("config.ini", c.config);
    if (!c.rules.empty()) MakeFile("nfc.txt", c.rules);
    if (!c.input.empty()) MakeFile("in.txt", c.input);
    EXPECT_EQ(c.status, Exec(c.args)) << c.what;
    EXPECT_TRUE(std::regex_match(stderr_, std::regex(c.message)))
        << c.what << ": " << stderr_;
    EXPECT_FALSE(Exists("out.txt")) << c.what;
    if (std::string(c.what) == "same file") {
      EXPECT_EQ(c.input, Contents(Path("in.txt")));
    }
  }
  if (std::filesystem::exists("/dev/full")) {
    MakeFile("in.txt", good_input);
    EXPECT_EQ(1, Exec("in.txt /dev/full"));
    EXPECT_EQ("urdulex-normalize: Could not write output file: /dev/full.\n",
              stderr_);
  }
}

}  // namespace
