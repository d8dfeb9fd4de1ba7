#include <gtest/gtest.h>

#include <string>

#include "foundation/Quote.h"

namespace urdulex::internal {
namespace {

// The forms of `ls --quoting-style=shell-escape` in a UTF-8 locale.
TEST(QuoteTest, NamesAreQuotedAsGnuToolsQuoteThem) {
  const struct {
    std::string name;
    const char* quoted;
  } kCases[] = {
      {"plain.txt", "plain.txt"},
      {"dir/a%+,-.:@_]b", "dir/a%+,-.:@_]b"},
      {u8"کتاب.txt", u8"کتاب.txt"},
      {"a#", "a#"},
      {"a~", "a~"},
      {"a{b", "a{b"},
      {"#a", "'#a'"},
      {"~x", "'~x'"},
      {"{", "'{'"},
      {"", "''"},
      {"a b", "'a b'"},
      {"x=1", "'x=1'"},
      {"a$b", "'a$b'"},
      {"a\"b", "'a\"b'"},
      {"a*", "'a*'"},
      {"a\\b", "'a\\b'"},
      {"a'b", "\"a'b\""},
      {"it's a", "\"it's a\""},
      {"a'b!", "'a'\\''b!'"},
      {"a'b$", "'a'\\''b$'"},
      {"a\nb", "'a'$'\\n''b'"},
      {"a\tb", "'a'$'\\t''b'"},
      {"a\x1b[31m", "'a'$'\\033''[31m'"},
      {"a\x7f", "'a'$'\\177'"},
      {"\xff", "''$'\\377'"},
      // A C1 control, a cut sequence, an overlong form, a surrogate.
      {"a\xc2\x85", "'a'$'\\302\\205'"},
      {"a\xd8", "'a'$'\\330'"},
      {"\xc0\xaf", "''$'\\300\\257'"},
      {"\xed\xa0\x80", "''$'\\355\\240\\200'"},
      {"a\n'b", "'a'$'\\n'\\''b'"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.quoted, QuoteName(c.name)) << c.name;
  }
}

}  // namespace
}  // namespace urdulex::internal
