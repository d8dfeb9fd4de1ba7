#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "foundation/FileReader.h"
#include "foundation/TARNIException.h"
#include "foundation/TestUtil.h"
#include "normalization/ConfigManager.h"
#include "normalization/Normalization.h"

namespace {

using urdulex::test::TempDirTest;
using urdulex::test::Utf16File;

const std::string kShippedConfig =
    std::string(URDULEX_SOURCE_DIR) + "/data/normalization/config.ini";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
}

// Runs each test inside its scratch directory, where the no-argument
// Initialize looks for "config.ini".
class InWorkDirTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    char here[4096];
    ASSERT_NE(nullptr, getcwd(here, sizeof(here)));
    old_dir_ = here;
    ASSERT_EQ(0, chdir(dir_.c_str()));
  }
  void TearDown() override {
    ASSERT_EQ(0, chdir(old_dir_.c_str()));
    TempDirTest::TearDown();
  }

  std::string old_dir_;
};

struct ConfigCase {
  const char* what;
  std::string bytes;
  std::string nfd, nfc, nfkd;
};

TEST_F(InWorkDirTest, ReadingTheConfiguration) {
  const std::string long_key(ConfigManager::kMaxKeyLength, 'K');
  const std::string long_value(ConfigManager::kMaxValueLength + 88, 'v');
  const ConfigCase cases[] = {
      {"CR LF and blanks", "NFCfilepath = nfc.txt\r\n", "", "nfc.txt", ""},
      {"all three keys", "NFDfilepath=d\nNFCfilepath=c\nNFKDfilepath=k\n", "d",
       "c", "k"},
      {"other case ignored", "nfcfilepath=x\nNFCFILEPATH=y\n", "", "", ""},
      {"unknown key ignored", "Other=x\nNFDfilepath=d\n", "d", "", ""},
      {"missing = loses the next entry",
       "garbage\nNFCfilepath=x\nNFDfilepath=d\n", "d", "", ""},
      {"later value wins", "NFDfilepath=a\nNFDfilepath=b\n", "b", "", ""},
      {"value may hold =", "NFKDfilepath=k=v\n", "", "", "k=v"},
      {"LF right after = drops the entry", "NFCfilepath=\nNFDfilepath=d\n", "d",
       "", ""},
      {"blank lines and tabs trimmed", "\n\r\n  NFCfilepath\t=\tc  \n", "", "c",
       ""},
      {"key cut at 64", long_key + "NFCfilepath=c\n", "", "", ""},
      // A key of exactly 64 characters stops before its "=", which then
      // opens the value.
      {"key of exactly 64", std::string(53, ' ') + "NFCfilepath=c\n", "", "=c",
       ""},
      {"value cut at 512", "NFCfilepath=" + long_value + "\n", "",
       long_value.substr(0, ConfigManager::kMaxValueLength), ""},
      {"no final LF", "NFCfilepath=c", "", "c", ""},
      {"no = at all", "NFCfilepath", "", "", ""},
      {"empty file", "", "", "", ""},
  };
  for (const ConfigCase& c : cases) {
    MakeFile("config.ini", c.bytes);
    ConfigManager config;
    EXPECT_TRUE(config.Initialize()) << c.what;
    EXPECT_EQ(c.nfd, config.nfdFilePath) << c.what;
    EXPECT_EQ(c.nfc, config.nfcFilePath) << c.what;
    EXPECT_EQ(c.nfkd, config.nfkdFilePath) << c.what;
  }
}

TEST_F(InWorkDirTest, ConfigurationReadAgainKeepsOtherKeys) {
  ConfigManager config;
  EXPECT_FALSE(config.Initialize());
  EXPECT_EQ("Could not open file: config.ini.", config.GetLastError());

  MakeFile("config.ini", "NFDfilepath=d\nNFCfilepath=c\n");
  ASSERT_TRUE(config.Initialize());
  MakeFile("config.ini", "NFCfilepath=c2\n");
  ASSERT_TRUE(config.Initialize());
  EXPECT_EQ("d", config.nfdFilePath);
  EXPECT_EQ("c2", config.nfcFilePath);
  config.Clear();
  EXPECT_EQ("", config.nfdFilePath);
  EXPECT_EQ("", config.nfcFilePath);
}

// A file that opens but cannot be read: the reader's error goes on to the
// caller, marked as the configuration's, with the reader's code.
TEST(ConfigManagerTest, ReadFailurePassesOnMarked) {
  const char kUnreadable[] = "/proc/self/mem";
  if (!FileReader::DoesExist(kUnreadable)) GTEST_SKIP();
  for (int front = 0; front < 2; ++front) {
    ConfigManager config;
    Normalization normalization;
    try {
      if (front) {
        normalization.Initialize(kUnreadable);
      } else {
        config.Initialize(kUnreadable);
      }
      ADD_FAILURE() << "nothing thrown";
    } catch (const IOException& e) {
      EXPECT_EQ("ConfigManager", e.GetFileName());
      EXPECT_GT(e.GetLineNum(), 0);
      EXPECT_EQ(kErrorFileRead, e.GetErrorCode());
      EXPECT_EQ("Could not read file. Config file reading problem occurred.",
                e.GetExceptionMsg());
    }
    std::wstring result = L"kept";
    EXPECT_FALSE(normalization.Normalize(L"a", NFC, result));
  }
}

TEST(ConfigManagerTest, ResolvePath) {
  struct Case {
    const char* config;
    const char* path;
    const char* want;
  };
  const Case cases[] = {
      {"config.ini", "nfc.txt", "nfc.txt"},
      {"conf/config.ini", "nfc.txt", "conf/nfc.txt"},
      {"/etc/u/config.ini", "sub/nfc.txt", "/etc/u/sub/nfc.txt"},
      {"conf/config.ini", "/abs/nfc.txt", "/abs/nfc.txt"},
      {"conf/config.ini", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.want, ConfigManager::ResolvePath(c.config, c.path));
  }
}

TEST_F(InWorkDirTest, FrontNormalizesWithTheNfcRules) {
  Normalization front;
  std::wstring result = L"kept";
  EXPECT_FALSE(front.Normalize(L"a", NFC, result));  // not initialised
  EXPECT_EQ(L"kept", result);

  MakeFile("config.ini", "NFDfilepath = d.txt\r\nNFCfilepath = nfc.txt\r\n");
  MakeFile("nfc.txt", Utf16File(L"a:b\r\n"));
  ASSERT_TRUE(front.Initialize());
  EXPECT_EQ("", front.GetLastError());
  ASSERT_TRUE(front.Normalize(L"\x0628\x064E\x06BE a", NFC, result));
  EXPECT_EQ(L"\x0628\x06BE\x064E b", result);
  EXPECT_FALSE(front.Normalize(L"a", NFD, result));
  EXPECT_FALSE(front.Normalize(L"a", NFKD, result));
  EXPECT_EQ(L"\x0628\x06BE\x064E b", result);

  // A second call reads the configuration again and keeps the loaded rules.
  MakeFile("nfc.txt", Utf16File(L"a:c\r\n"));
  ASSERT_TRUE(front.Initialize());
  ASSERT_TRUE(front.Normalize(L"a", NFC, result));
  EXPECT_EQ(L"b", result);

  front.Clear();
  EXPECT_FALSE(front.Normalize(L"a", NFC, result));
  EXPECT_FALSE(front.Initialize());
}

TEST_F(InWorkDirTest, InitializeFailures) {
  struct Case {
    const char* what;
    std::string config;
    bool write_config;
    std::string rules;
    bool write_rules;
    std::string error;
  };
  const Case cases[] = {
      {"no configuration", "", false, "", false,
       "Could not open configuration file: config.ini."},
      {"no NFC entry", "NFDfilepath=d.txt\n", true, "", false,
       "Configuration file config.ini has no NFCfilepath entry."},
      {"missing = before the NFC entry", "oops\nNFCfilepath=nfc.txt\n", true,
       Utf16File(L"a:b\r\n"), true,
       "Configuration file config.ini has no NFCfilepath entry."},
      {"no rules file", "NFCfilepath=nfc.txt\n", true, "", false,
       "NFC rules file nfc.txt could not be read: Could not open file: "
       "nfc.txt."},
      {"8-bit rules file", "NFCfilepath=nfc.txt\n", true, "a:b\r\n", true,
       "NFC rules file nfc.txt could not be read: File is not Unicode "
       "based."},
  };
  for (const Case& c : cases) {
    std::remove("config.ini");
    std::remove("nfc.txt");
    if (c.write_config) MakeFile("config.ini", c.config);
    if (c.write_rules) MakeFile("nfc.txt", c.rules);
    Normalization front;
    EXPECT_FALSE(front.Initialize()) << c.what;
    EXPECT_EQ(c.error, front.GetLastError()) << c.what;
    std::wstring result = L"kept";
    EXPECT_FALSE(front.Normalize(L"a", NFC, result)) << c.what;
  }
}

TEST_F(InWorkDirTest, ConfigurationElsewhereFindsItsRulesBesideIt) {
  ASSERT_EQ(0, mkdir("conf", 0755));
  MakeFile("conf/config.ini", "NFCfilepath=nfc.txt\n");
  MakeFile("conf/nfc.txt", Utf16File(L"a:b\r\n"));
  Normalization front;
  EXPECT_EQ("", front.NfcRulesPath());
  ASSERT_TRUE(front.Initialize("conf/config.ini")) << front.GetLastError();
  EXPECT_EQ("conf/nfc.txt", front.NfcRulesPath());
  std::wstring result;
  ASSERT_TRUE(front.Normalize(L"xa", NFC, result));
  EXPECT_EQ(L"xb", result);
  // Read again from another configuration, the rules stay those first
  // loaded, and so does their path.
  MakeFile("config.ini", "NFCfilepath=conf/nfc.txt\n");
  ASSERT_TRUE(front.Initialize()) << front.GetLastError();
  EXPECT_EQ("conf/nfc.txt", front.NfcRulesPath());
  MakeFile("conf/other.ini", "NFCfilepath=other.txt\n");
  MakeFile("conf/other.txt", Utf16File(L"a:c\r\n"));
  ASSERT_TRUE(front.Initialize("conf/other.ini")) << front.GetLastError();
  EXPECT_EQ("conf/nfc.txt", front.NfcRulesPath());
  // The bare name behaves as the no-argument form.
  std::remove("config.ini");
  Normalization other;
  EXPECT_FALSE(other.Initialize("config.ini"));
}

// The shipped rules: what they fold, and what Urdu keeps apart.
class ShippedRulesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(front_.Initialize(kShippedConfig)) << front_.GetLastError();
  }
  std::wstring Nfc(const std::wstring& text) {
    std::wstring out;
    EXPECT_TRUE(front_.Normalize(text, NFC, out));
    return out;
  }
  Normalization front_;
};

TEST_F(ShippedRulesTest, Folds) {
  struct Case {
    std::wstring in, out;
  };
  const Case cases[] = {
      {L"\x064A", L"\x06CC"},
      {L"\x0649", L"\x06CC"},
      {L"\x0643\x062A\x0627\x0628", L"\x06A9\x062A\x0627\x0628"},
      {L"\x0627\x0644\x0644\x0647", L"\x0627\x0644\x0644\x06C1"},
      {L"\x0660\x0661\x0662\x0663\x0664\x0665\x0666\x0667\x0668\x0669",
       L"\x06F0\x06F1\x06F2\x06F3\x06F4\x06F5\x06F6\x06F7\x06F8\x06F9"},
      {L"\x0627\x0653\x0645", L"\x0622\x0645"},
      {L"\x0648\x0654", L"\x0624"},
      {L"\x06CC\x0654", L"\x0626"},
      {L"\x064A\x0654", L"\x0626"},
      {L"\x06C1\x0654", L"\x06C2"},
      {L"\x06D2\x0654", L"\x06D3"},
      // The heh step first, then the rules.
      {L"\x0628\x064E\x06BE\x064A", L"\x0628\x06BE\x064E\x06CC"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, Nfc(c.in));
}

TEST_F(ShippedRulesTest, KeepsWhatUrduKeepsApart) {
  const std::vector<std::pair<wchar_t, wchar_t>> apart = {
      {0x0622, 0x0627}, {0x06D2, 0x06CC}, {0x06BE, 0x06C1}};
  for (const auto& pair : apart) {
    for (wchar_t c : {pair.first, pair.second}) {
      const std::wstring word = std::wstring(L"\x0628") + c + L"\x0631";
      EXPECT_EQ(word, Nfc(word)) << std::hex << c;
      EXPECT_EQ(std::wstring(1, c), Nfc(std::wstring(1, c))) << std::hex << c;
    }
  }
  const std::wstring zwnj = L"\x06A9\x06C1\x200C\x0627\x0646\x06CC";
  EXPECT_EQ(zwnj, Nfc(zwnj));
  // Already precomposed letters and Urdu digits stay.
  const std::wstring urdu = L"\x0622\x0624\x0626\x06C2\x06D3\x06F1\x06F2";
  EXPECT_EQ(urdu, Nfc(urdu));
}

TEST(ShippedRulesFileTest, IsWellFormed) {
  const std::string bytes = ReadBytes(std::string(URDULEX_SOURCE_DIR) +
                                      "/data/normalization/nfc-urdu.txt");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
  ASSERT_EQ(0u, bytes.size() % 2);
  // Every line holds one colon and ends in CR LF.
  std::wstring line;
  int lines = 0;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const wchar_t c = static_cast<unsigned char>(bytes[i]) |
                      static_cast<unsigned char>(bytes[i + 1]) << 8;
    line.push_back(c);
    if (c != L'\n') continue;
    ++lines;
    ASSERT_GE(line.size(), 4u);
    EXPECT_EQ(L"\r\n", line.substr(line.size() - 2)) << lines;
    EXPECT_EQ(1, std::count(line.begin(), line.end(), L':')) << lines;
    EXPECT_NE(0u, line.find(L':')) << lines;  // a pattern
    line.clear();
  }
  EXPECT_TRUE(line.empty());
  EXPECT_GT(lines, 10);
}

}  // namespace
