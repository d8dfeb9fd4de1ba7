#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "foundation/LineEnds.h"
#include "foundation/TestUtil.h"

namespace {

using urdulex::test::TempDirTest;
using urdulex::test::Utf16File;

class LineEndsTest : public TempDirTest {};

TEST_F(LineEndsTest, TextAfterTheLastCrLf) {
  struct {
    const char* what;
    std::string bytes;
    uint64_t line;  // 0: nothing unended
  } cases[] = {
      {"mark only", Utf16File(L""), 0},
      {"every line ended", Utf16File(L"a:1\r\nb:2\r\n"), 0},
      {"blanks after the last line", Utf16File(L"a:1\r\n \t\n\r\n  "), 0},
      {"a lone CR is blank", Utf16File(L"a:1\r\n\r"), 0},
      {"last line without CR LF", Utf16File(L"a:1\r\nb:2"), 2},
      {"no line end at all", Utf16File(L"a:1"), 1},
      {"counted by LFs", Utf16File(L"a:1\r\n\n\n  b"), 4},
      {"LF alone ends no line", Utf16File(L"a:1\r\nb:2\nc:3\n"), 2},
      {"CR alone ends no line", Utf16File(L"a:1\rb:2\r"), 1},
      {"half a unit", Utf16File(L"a:1\r\n") + "b", 2},
      {"half a unit after text", Utf16File(L"a:1\r\nb") + "c", 2},
      {"CR LF across chunks", Utf16File(std::wstring(32767, L'x') + L"\r\n"),
       0},
      {"half a unit across chunks",
       Utf16File(std::wstring(32767, L'x') + L"\r\n") + "y", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    uint64_t line = 0;
    EXPECT_EQ(c.line != 0, FindUnendedLine(MakeFile("f.txt", c.bytes), &line));
    EXPECT_EQ(c.line, line);
  }
}

// What the line readers refuse themselves is not reported twice.
TEST_F(LineEndsTest, LeavesUnreadableFilesToTheReader) {
  uint64_t line = 0;
  EXPECT_FALSE(FindUnendedLine(Path("missing.txt"), &line));
  EXPECT_FALSE(FindUnendedLine(MakeFile("plain.txt", "a:1"), &line));
  EXPECT_FALSE(FindUnendedLine(MakeFile("empty.txt", ""), &line));
  ASSERT_EQ(0, ::mkdir(Path("dir").c_str(), 0700));
  EXPECT_FALSE(FindUnendedLine(Path("dir"), &line));
  ASSERT_EQ(0, ::mkfifo(Path("pipe").c_str(), 0600));
  EXPECT_FALSE(FindUnendedLine(Path("pipe"), &line));  // must not wait
  EXPECT_EQ(0u, line);
}

}  // namespace
