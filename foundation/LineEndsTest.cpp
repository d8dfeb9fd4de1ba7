#include <gtest/gtest.h>

#include "foundation/LineEnds.h"
#include "foundation/TestUtil.h"

namespace {

using urdulex::test::Utf16File;

TEST(LineEndsTest, TextAfterTheLastCrLf) {
  struct {
    const char* what;
    std::string bytes;  // after the mark
    uint64_t line;      // 0: nothing unended
  } cases[] = {
      {"nothing", "", 0},
      {"every line ended", Utf16File(L"a:1\r\nb:2\r\n", false), 0},
      {"blanks after the last line", Utf16File(L"a:1\r\n \t\n\r\n  ", false),
       0},
      {"a lone CR is blank", Utf16File(L"a:1\r\n\r", false), 0},
      {"last line without CR LF", Utf16File(L"a:1\r\nb:2", false), 2},
      {"no line end at all", Utf16File(L"a:1", false), 1},
      {"counted by LFs", Utf16File(L"a:1\r\n\n\n  b", false), 4},
      {"LF alone ends no line", Utf16File(L"a:1\r\nb:2\nc:3\n", false), 2},
      {"CR alone ends no line", Utf16File(L"a:1\rb:2\r", false), 1},
      {"half a unit", Utf16File(L"a:1\r\n", false) + "b", 2},
      {"half a unit after text", Utf16File(L"a:1\r\nb", false) + "c", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    UnendedLineFinder finder;
    const auto* p = reinterpret_cast<const unsigned char*>(c.bytes.data());
    for (size_t i = 0; i + 1 < c.bytes.size(); i += 2) {
      finder.Add(p[i] | static_cast<uint32_t>(p[i + 1]) << 8);
    }
    EXPECT_EQ(c.line, finder.UnendedLine(c.bytes.size() % 2 != 0));
  }
}

}  // namespace
