#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "foundation/TARNIException.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"

namespace {

const char kTestMapping[] = URDULEX_SOURCE_DIR "/data/uzt/test-mapping.txt";

// The least a mapping needs, followed by the line under test (line 3).
std::string With(const std::string& line) {
  return "# minimal\nU+0020 0x20 N\n" + line + "\n";
}

std::string ParseError(const std::string& text) {
  UZTMapping mapping;
  try {
    mapping.Parse(text);
  } catch (const InvalidFormatException& e) {
    EXPECT_EQ("UZTMapping", e.GetFileName());
    EXPECT_EQ(49, e.GetErrorCode());
    EXPECT_EQ(0, mapping.Size());  // left empty
    return e.GetExceptionMsg();
  }
  return "(accepted)";
}

TEST(UZTMappingTest, LoadsTheTestMapping) {
  UZTMapping mapping;
  mapping.Load(kTestMapping);
  EXPECT_GT(mapping.Size(), 150);
  EXPECT_EQ('U', mapping.PlateClass(0x0627));
  EXPECT_EQ('A', mapping.PlateClass(L'a'));
  EXPECT_EQ('N', mapping.PlateClass(L' '));
  EXPECT_EQ('X', mapping.PlateClass(0x0621));
  EXPECT_EQ(UZTMapping::kNoClass, mapping.PlateClass(0x4E00));
  EXPECT_EQ(0x0020, mapping.UnicodeForByte(0x20));
  EXPECT_EQ(0, mapping.UnicodeForByte(254));

  LexEnigneUtility util;
  mapping.Install(util);
  // Every printable ASCII character converts, and comes back.
  std::wstring ascii;
  for (wchar_t c = 0x20; c < 0x7F; ++c) ascii.push_back(c);
  for (const std::wstring& text :
       {std::wstring(L"\x0627\x0631\x062F\x0648 \x06C1\x06D2 [Urdu] 12"), ascii,
        L"\x0627" + ascii + L"\x0627"}) {
    std::string uzt;
    std::wstring back;
    util.ConvertUnicode2UZT(text, uzt);
    util.ConvertUZT2Unicode(uzt, back);
    EXPECT_EQ(text, back);
  }
}

TEST(UZTMappingTest, SyntaxOfLines) {
  UZTMapping mapping;
  mapping.Parse(
      "\xEF\xBB\xBF# mark, comments, blank lines and CR LF\r\n"
      "\r\n"
      "   U+0020\t32  N  # decimal byte\r\n"
      "U+0627 0xc7 U\r\n"
      "U+005B - X\n"
      "U+005D 0x00 X\n"
      "U+0041 0x41 A");  // no final line end
  EXPECT_EQ(5, mapping.Size());
  EXPECT_EQ(0x0627, mapping.UnicodeForByte(0xC7));
  EXPECT_EQ(0, mapping.UnicodeForByte(0x41));  // ASCII plate only
  EXPECT_EQ('X', mapping.PlateClass(L']'));
}

TEST(UZTMappingTest, RejectsEveryInconsistencyNamingTheLine) {
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"U+0627 0xC7",
       "line 3: expected a code point, a UZT byte and a plate "
       "class, as in \"U+0627 0xC7 U\""},
      {"U+0627 0xC7 U extra",
       "line 3: expected a code point, a UZT byte and "
       "a plate class, as in \"U+0627 0xC7 U\""},
      {"0627 0xC7 U", "line 3: bad code point \"0627\" (write U+XXXX)"},
      {"U+06G7 0xC7 U", "line 3: bad code point \"U+06G7\" (write U+XXXX)"},
      {"U+0000627 0xC7 U",
       "line 3: bad code point \"U+0000627\" (write U+XXXX)"},
      {"U+10627 0xC7 U", "line 3: code point U+10627 is outside U+0001-U+FFFF"},
      {"U+0000 0x00 N", "line 3: code point U+0000 is outside U+0001-U+FFFF"},
      {"U+D800 0x81 U",
       "line 3: code point U+D800 is a surrogate, not a character"},
      {"U+DFFF 0x81 U",
       "line 3: code point U+DFFF is a surrogate, not a character"},
      {"U+0627 0xC7 u", "line 3: unknown plate class \"u\" (use A, U, N or X)"},
      {"U+0627 0xC7 UN",
       "line 3: unknown plate class \"UN\" (use A, U, N or X)"},
      {"U+0627 - U", "line 3: class U needs a UZT byte"},
      {"U+0627 0x1C7 U",
       "line 3: bad UZT byte \"0x1C7\" (write 0x00-0xFF or 0-255)"},
      {"U+0627 256 U",
       "line 3: bad UZT byte \"256\" (write 0x00-0xFF or 0-255)"},
      {"U+0627 0x U", "line 3: bad UZT byte \"0x\" (write 0x00-0xFF or 0-255)"},
      {"U+0020 0x20 N", "line 3: U+0020 is already mapped on line 2"},
      {"U+0041 - X",
       "line 3: U+0041 cannot be class X: only [ ] | U+0621 U+0626 U+0640 "
       "U+06C2 U+06D3 have fixed sequences"},
      {"U+0621 0x20 U",
       "line 3: U+0621 is written by a fixed sequence and must be class X"},
      {"U+0627 0xFE U",
       "line 3: byte 0xFE is the code-plate escape and never stands for a "
       "character"},
      {"U+06C1 0x75 N",
       "line 3: U+06C1 (heh goal) must be class U with byte 0x75 (\"u\"), the "
       "byte the decoder reads as heh goal"},
      {"U+06C1 0x81 U",
       "line 3: U+06C1 (heh goal) must be class U with byte 0x75 (\"u\"), the "
       "byte the decoder reads as heh goal"},
      {"U+06D2 0x78 U",
       "line 3: U+06D2 (yeh barree) must be class U with byte 0x79 (\"y\"), "
       "the byte the decoder reads as yeh barree"},
      {"U+0062 0x42 A",
       "line 3: class A needs the character's own value as its byte (U+0062 "
       "-> 0x62): the ASCII plate reads every byte as itself"},
      {"U+0627 0x27 N",
       "line 3: class N needs the character's own value as its byte (U+0627 "
       "has none): the ASCII plate reads every byte as itself"},
      {"U+0627 0xC0 U",
       "line 3: byte 0xC0 is fixed in the UZT plate (it reads as U+005B)"},
      {"U+0627 0x77 U",
       "line 3: byte 0x77 is fixed in the UZT plate (it reads as U+0626)"},
      {"U+0627 0x75 U",
       "line 3: byte 0x75 is fixed in the UZT plate (it reads as U+06C1)"},
      {"U+0079 0x79 N",
       "line 3: byte 0x79 is fixed in the UZT plate (it reads as U+06D2)"},
      {"U+0627 0x20 U",
       "line 3: byte 0x20 already stands for another character on line 2; "
       "the two directions must describe the same pairs"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.message, ParseError(With(c.line))) << c.line;
  }
  // The space must decode to U+0020 in the UZT plate.
  EXPECT_EQ(
      "line 1: U+0020 (space) must be class N or U with byte 0x20: hamza is "
      "written as the UZT-plate bytes \" w \"",
      ParseError("U+0020 0x20 A\n"));
  EXPECT_EQ(
      "no line maps U+0020 (space) to byte 0x20; hamza is written as the "
      "UZT-plate bytes \" w \"",
      ParseError("# nothing\nU+0627 0xC7 U\n"));
  EXPECT_EQ(ParseError(""), ParseError("# nothing\n"));
  // Class A beside a UZT-plate use of the same byte is fine: other plate.
  EXPECT_EQ("(accepted)", ParseError(With("U+0627 0x41 U\nU+0041 0x41 A")));
}

TEST(UZTMappingTest, FailedParseLeavesNoTablesBehind) {
  UZTMapping mapping;
  mapping.Load(kTestMapping);
  EXPECT_THROW(mapping.Parse(With("U+0627 0xFE U")), InvalidFormatException);
  EXPECT_EQ(0, mapping.Size());
  EXPECT_EQ(UZTMapping::kNoClass, mapping.PlateClass(0x0627));
  LexEnigneUtility util;
  mapping.Install(util);
  std::string uzt;
  EXPECT_THROW(util.ConvertUnicode2UZT(L" ", uzt), TARNIException);
}

TEST(UZTMappingTest, FileErrors) {
  UZTMapping mapping;
  try {
    mapping.Load("/nonexistent/mapping.txt");
    ADD_FAILURE() << "no exception";
  } catch (const IOException& e) {
    EXPECT_EQ("UZTMapping", e.GetFileName());
    EXPECT_EQ(0u, e.GetExceptionMsg().find(
                      "cannot read mapping file /nonexistent/mapping.txt: "));
  }
  // A huge file is refused before it is read.
  char name[] = "/tmp/uzt-mapping-XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ftruncate(fd, UZTMapping::kMaxFileSize + 1));
  close(fd);
  EXPECT_THROW(mapping.Load(name), InvalidFormatException);
  std::remove(name);
}

}  // namespace
