#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "codemapper/CodeMapper.h"
#include "foundation/TestUtil.h"

namespace {

using urdulex::test::TempDirTest;
using urdulex::test::Utf16File;

class CodeMapperTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    std::memset(mapper, 0, sizeof(mapper));
  }

  std::string WriteFile(const std::string& bytes) {
    return MakeFile("rules.txt", bytes);
  }

  bool Load(const std::wstring& table, bool mark = true) {
    return ReadPatterns(WriteFile(Utf16File(table, mark)).c_str());
  }
};

TEST_F(CodeMapperTest, TableLinesStoreCodesByFullCharacter) {
  ASSERT_TRUE(Load(L"\x0627:12\r\n\x0628:13\r\n\x0727:40\r\n"));
  EXPECT_EQ(show(0x0627), 12);
  EXPECT_EQ(show(0x0628), 13);
  // Same low byte as alef, but a slot of its own.
  EXPECT_EQ(show(0x0727), 40);
  EXPECT_EQ(show(0x0027), 0);
  EXPECT_EQ(show(0x200C), 0);
}

TEST_F(CodeMapperTest, KeyIsLastOrdinaryCharacterBeforeColon) {
  // "junk" in front of the letter is ignored; a line ":7" takes the last
  // ordinary character read before it, the "2" of the line above.
  ASSERT_TRUE(Load(L"junk\x0627:12\r\n:7\r\n"));
  EXPECT_EQ(show(0x0627), 12);
  EXPECT_EQ(show(L'2'), 7);
}

TEST_F(CodeMapperTest, NumberParsing) {
  ASSERT_TRUE(
      Load(L"\x0627:12x\r\n\x0628:x\r\n\x062A: -5\r\n"
           L"\x062B:99999999999\r\n"));
  EXPECT_EQ(show(0x0627), 12);
  EXPECT_EQ(show(0x0628), 0);
  EXPECT_EQ(show(0x062A), -5);
  EXPECT_EQ(show(0x062B), 0);  // out of range: no number
  EXPECT_EQ(convertToDouble("  42abc"), 42);
  EXPECT_EQ(convertToDouble(""), 0);
  EXPECT_EQ(convertToDouble("+8"), 8);
}

TEST_F(CodeMapperTest, DigitsAreReadFromLowByteOnly) {
  // U+0661 narrows to 'a', U+0131 to '1'.
  ASSERT_TRUE(Load(L"\x0627:\x0661\r\n\x0628:\x0131\x0032\r\n"));
  EXPECT_EQ(show(0x0627), 0);
  EXPECT_EQ(show(0x0628), 12);
}

TEST_F(CodeMapperTest, LaterLineWinsAndZeroClears) {
  ASSERT_TRUE(Load(L"\x0627:12\r\n\x0627:14\r\n\x0628:3\r\n\x0628:0\r\n"));
  EXPECT_EQ(show(0x0627), 14);
  EXPECT_EQ(show(0x0628), 0);
}

TEST_F(CodeMapperTest, LineWithoutColonStoresUnderRecentKey) {
  ASSERT_TRUE(Load(L"\x0627:12\r\n5\r\n"));
  EXPECT_EQ(show(0x0627), 5);
  ASSERT_TRUE(Load(L"\x0628:12\r\nabc\r\n"));
  EXPECT_EQ(show(0x0628), 0);
}

TEST_F(CodeMapperTest, ValueBeforeAnyKeyIsIgnored) {
  // A CR before any colon, and a colon before any ordinary character.
  for (const wchar_t* table : {L"7\r\n", L":9\r\n\x0627:12\r\n"}) {
    ASSERT_TRUE(Load(table));
    for (int slot = 0; slot < kMapperSlots; ++slot) {
      if (slot != 0x0627) {
        ASSERT_EQ(show(slot), 0) << slot;
      }
    }
  }
  EXPECT_EQ(show(0x0627), 12);
}

TEST_F(CodeMapperTest, OnlyCarriageReturnStores) {
  // LF-only lines and a last line without CR store nothing.
  ASSERT_TRUE(Load(L"\x0627:12\n\x0628:13\n\x062A:14"));
  EXPECT_EQ(show(0x0627), 0);
  EXPECT_EQ(show(0x0628), 0);
  EXPECT_EQ(show(0x062A), 0);
}

TEST_F(CodeMapperTest, MarkOnlyTableIsValidAndEmpty) {
  ASSERT_TRUE(Load(L""));
  EXPECT_EQ(GetValue(L"\x0627\t a"), "\t a\n");
}

TEST_F(CodeMapperTest, FailuresKeepEarlierSlots) {
  std::string error;
  // Ends in CR with no LF after it: the read after the skipped character
  // runs into the end of the file.
  ASSERT_FALSE(ReadPatterns(
      WriteFile(Utf16File(L"\x0627:12\r\n\x0628:13\r")).c_str(), &error));
  EXPECT_EQ(show(0x0627), 12);
  EXPECT_EQ(show(0x0628), 13);
  EXPECT_NE(error.find("End of file encountered."), std::string::npos) << error;

  EXPECT_FALSE(Load(L"\x0627:12\r\n", /*mark=*/false));
  EXPECT_FALSE(ReadPatterns((dir_ + "/missing.txt").c_str(), &error));
  EXPECT_NE(error.find("Could not open file: " + dir_ + "/missing.txt."),
            std::string::npos)
      << error;
  EXPECT_FALSE(ReadPatterns(""));
}

TEST_F(CodeMapperTest, GetValueMapsCopiesAndDrops) {
  ASSERT_TRUE(Load(L"\x0627:12\r\n\x0628:13\r\n\x062A:5\r\n\x00E9:77\r\n"));
  struct Case {
    std::wstring line;
    std::string expected;
  } cases[] = {
      {L"\x0627 \x0628", "12 13\n"},
      {L"\x0627\x062A", "125\n"},  // codes back to back
      {L"", "\n"},
      {L"ab\r", "ab\n"},                        // CR dropped
      {L"\t\x00E9", "\t\xE9\n"},                // U+0000-U+00FF copied as bytes
      {L"\x0627\x062C\x200C\x0628", "1213\n"},  // uncoded characters dropped
      {L"\x0127", "\n"},                        // shares alef's low byte only
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetValue(c.line), c.expected);
  }
}

TEST_F(CodeMapperTest, DirectTableChangesAreSeen) {
  mapper[0x0627] = 12;
  EXPECT_EQ(GetValue(L"\x0627"), "12\n");
  mapper[0x0627] = -3;
  EXPECT_EQ(GetValue(L"\x0627"), "-3\n");
  mapper[0x0627] = 0;
  EXPECT_EQ(GetValue(L"\x0627"), "\n");
}

TEST(StringifyTest, DecimalText) {
  EXPECT_EQ(stringify(0), "0");
  EXPECT_EQ(stringify(-17), "-17");
  EXPECT_EQ(stringify(2147483647), "2147483647");
  EXPECT_EQ(show(-1), 0);
  EXPECT_EQ(show(kMapperSlots), 0);
}

}  // namespace
