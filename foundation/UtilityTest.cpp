#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/Utility.h"

namespace {

// Readable traces for wide strings.
std::string Show(const std::wstring& s) {
  std::string out;
  char buf[16];
  for (wchar_t c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      std::snprintf(buf, sizeof(buf), "<%X>", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

TEST(UtilityTest, IsWhitespace) {
  for (wchar_t c : {L' ', L'\n', L'\r', L'\t'}) {
    EXPECT_TRUE(IsWhitespace(c)) << static_cast<int>(c);
  }
  // Other blanks and controls, and characters whose low byte is a blank.
  const wchar_t others[] = {0x00A0,
                            0x200C,
                            0x200D,
                            0x3000,
                            0x000B,
                            0x000C,
                            0x0000,
                            0x0085,
                            0x0120,
                            0x010A,
                            0x0D0D,
                            L'a',
                            static_cast<wchar_t>(-1)};
  for (wchar_t c : others) {
    EXPECT_FALSE(IsWhitespace(c)) << static_cast<int>(c);
  }
}

TEST(UtilityTest, CharacterClasses) {
  struct Case {
    std::wstring s;
    bool wildcard;
    bool number;
  };
  const Case cases[] = {
      {L"", false, true},           {L"a*b", true, false},
      {L"ab", false, false},        {L"?", true, false},
      {L"0123456789", false, true}, {L"12a", false, false},
      {L"\x06F1", false, false},    {L"\x0661", false, false},
      {L"-1", false, false},        {L" 1", false, false},
      {L"1\x0130", false, false},  // low byte '0'
      {L"\x012A", false, false},   // low byte '*'
      {L"\x013F", false, false},   // low byte '?'
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.s));
    EXPECT_EQ(c.wildcard, DoesContainWildcardChars(c.s));
    EXPECT_EQ(c.number, IsNumber(c.s));
  }
}

TEST(UtilityTest, RemoveWhitespacesAndDiacritics) {
  struct Case {
    std::wstring in;
    std::wstring no_space;
    std::wstring no_diacritics;
  };
  const Case cases[] = {
      {L"", L"", L""},
      {L" a\tb\r\nc ", L"abc", L" a\tb\r\nc "},
      {L"\x0645\x200C\x06CC\x200D", L"\x0645\x06CC",
       L"\x0645\x200C\x06CC\x200D"},
      {L"a\x00A0"
       L"b\x3000",
       L"a\x00A0"
       L"b\x3000",
       L"a\x00A0"
       L"b\x3000"},
      // Fatha, damma, kasra, shadda, sukun, maddah go; the tanween and the
      // superscript alif stay.
      {L"\x0628\x064E\x064F\x0650\x0651\x0652\x0653",
       L"\x0628\x064E\x064F\x0650\x0651\x0652\x0653", L"\x0628"},
      {L"\x064B\x064C\x064D\x0670\x0654\x064D",
       L"\x064B\x064C\x064D\x0670\x0654\x064D",
       L"\x064B\x064C\x064D\x0670\x0654\x064D"},
      {L"\x200B\x200E\x0120", L"\x200B\x200E\x0120", L"\x200B\x200E\x0120"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.in));
    EXPECT_EQ(Show(c.no_space), Show(RemoveWhitespaces(c.in)));
    EXPECT_EQ(Show(c.no_diacritics), Show(RemoveDiacritics(c.in)));
  }
}

TEST(UtilityTest, ConvertLittleEndian2BigEndian) {
  std::wstring out = L"keep";
  ConvertLittleEndian2BigEndian(L"\x0627", out);
  ASSERT_EQ(5u, out.size());
  EXPECT_EQ(L"keep", out.substr(0, 4));  // appended, not cleared
  EXPECT_EQ(0x62706, out[4]);

  // For every 16-bit unit the low 16 bits of the result are the unit with
  // its bytes exchanged and bits 16-23 keep its high byte.
  std::wstring all;
  for (int c = 0; c < 0x10000; ++c) all.push_back(static_cast<wchar_t>(c));
  std::wstring swapped;
  ConvertLittleEndian2BigEndian(all, swapped);
  ASSERT_EQ(all.size(), swapped.size());
  for (int c = 0; c < 0x10000; ++c) {
    const unsigned v = static_cast<unsigned>(swapped[c]);
    ASSERT_EQ(static_cast<unsigned>(((c & 0xFF) << 8) | (c >> 8)), v & 0xFFFF)
        << c;
    ASSERT_EQ(static_cast<unsigned>(c >> 8), (v >> 16) & 0xFF) << c;
    ASSERT_EQ(0u, v >> 24) << c;
  }

  // The right shift keeps the sign of a negative element.
  std::wstring neg;
  ConvertLittleEndian2BigEndian(std::wstring(1, static_cast<wchar_t>(-256)),
                                neg);
  EXPECT_EQ(static_cast<wchar_t>(-1), neg[0]);
}

TEST(UtilityTest, BufferConversions) {
  const wchar_t wide[] = {0x627, 0, 0x628};
  EXPECT_EQ(L"\x0627", CharString2Wstring(wide, 3));
  EXPECT_EQ(L"", CharString2Wstring(wide, 0));
  EXPECT_EQ(L"", CharString2Wstring(wide, -1));
  const wchar_t full[] = {L'a', L'b', L'c'};
  EXPECT_EQ(L"ab", CharString2Wstring(full, 2));  // reads no further

  const char bytes[] = {'a', 'b', '\0', 'c'};
  EXPECT_EQ("ab", CharString2String(bytes, 4));
  EXPECT_EQ("a", CharString2String(bytes, 1));
  EXPECT_EQ("", CharString2String(bytes, 0));

  EXPECT_EQ(L"abc", CharString2Wstring("abc"));
  EXPECT_EQ(L"", CharString2Wstring(""));
}

TEST(UtilityTest, BytesWidenUnsigned) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::wstring from_string = String2Wstring(all);
  const std::wstring from_chars = CharString2Wstring(all.c_str());
  ASSERT_EQ(255u, from_string.size());
  ASSERT_EQ(255u, from_chars.size());
  for (int b = 1; b < 256; ++b) {
    EXPECT_EQ(b, from_string[b - 1]);
    EXPECT_EQ(b, from_chars[b - 1]);
  }
  // Round trip through the low 8 bits.
  EXPECT_EQ(all, WString2String(from_string));
  // String2Wstring keeps zero bytes; the character form stops at one.
  EXPECT_EQ(std::wstring(L"a\0b", 3), String2Wstring(std::string("a\0b", 3)));
}

TEST(UtilityTest, WString2StringKeepsLowByte) {
  EXPECT_EQ("\x27", WString2String(L"\x0627"));
  EXPECT_EQ(std::string("A\0\xFF", 3),
            WString2String({0x1F641, 0x0100, static_cast<wchar_t>(-1)}));
  EXPECT_EQ("", WString2String(L""));
}

TEST(UtilityTest, TrimWide) {
  struct Case {
    std::wstring in;
    std::wstring out;
  };
  const Case cases[] = {
      {L"  ab c\r\n", L"ab c"},
      {L"\r", L""},
      {L"", L""},
      {L" \t\r\n ", L""},
      {L"a", L"a"},
      {L"\ta b\t", L"a b"},
      {L"\x00A0"
       L"a\x200C",
       L"\x00A0"
       L"a\x200C"},
      {L"\x3000\x0627 ", L"\x3000\x0627"},
      {L"\x0120x\x010A", L"\x0120x\x010A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.in));
    std::wstring arg = c.in;
    std::wstring result = Trim(arg);
    EXPECT_EQ(Show(c.out), Show(result));
    EXPECT_EQ(Show(c.out), Show(arg));
  }
}

TEST(UtilityTest, TrimNarrowAndCharArray) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"  ab c\r\n", "ab c"},
      {"\r", ""},
      {"", ""},
      {" \t\r\n ", ""},
      {"key = value", "key = value"},
      {"\xA0x\x85", "\xA0x\x85"},
      {"\v\fx\v", "\v\fx\v"},
      {"  \xD8\xA7 ", "\xD8\xA7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    std::string arg = c.in;
    EXPECT_EQ(c.out, Trim(arg));
    EXPECT_EQ(c.out, arg);

    // An array just large enough, so a read or write outside it shows.
    std::unique_ptr<char[]> p(new char[c.in.size() + 1]);
    std::memcpy(p.get(), c.in.c_str(), c.in.size() + 1);
    EXPECT_EQ(p.get(), Trim(p.get()));
    EXPECT_EQ(c.out, std::string(p.get()));
  }
}

TEST(UtilityTest, Wstring2Int) {
  struct Case {
    std::wstring s;
    int value;
  };
  const Case cases[] = {
      {L"  -12x", -12},
      {L"x12", 0},
      {L"", 0},
      {L"+7", 7},
      {L"\t\n\v\f\r 5", 5},
      {L"- 5", 0},
      {L"--5", 0},
      {L"+-5", 0},
      {L"0x1A", 0},
      {L"007", 7},
      {L"12 3", 12},
      {L"\x0131\x0132", 12},  // low bytes "12"
      {L"\x0661\x0662", 0},   // Arabic-Indic digits are not digits
      {L"\x06F1", 0},
      {L"\x0120\x012D\x0133", -3},  // low bytes " -3"
      {L"4\x0100"
       L"5",
       4},  // low byte 0 ends the number
      {L"2147483647", INT_MAX},
      {L"-2147483648", INT_MIN},
      {L"2147483648", INT_MAX},
      {L"-2147483649", INT_MIN},
      {L"99999999999999999999999999", INT_MAX},
      {L"-99999999999999999999999999", INT_MIN},
      {L"00000000000000000000000000042", 42},
      {L"4294967296", INT_MAX},
      {L"-0", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.s));
    EXPECT_EQ(c.value, wstring2int(c.s));
  }
}

// Agrees with the C library on random mixes of blanks, signs and digits:
// with atoi inside the 32-bit range and with strtol clamped to it outside.
TEST(UtilityTest, Wstring2IntMatchesTheCLibrary) {
  std::mt19937 rng(3);
  const char alphabet[] = " \t+-0123456789x";
  for (int i = 0; i < 20000; ++i) {
    std::string text(rng() % 25, ' ');
    for (char& ch : text) ch = alphabet[rng() % (sizeof(alphabet) - 1)];
    errno = 0;
    long long expected = std::strtoll(text.c_str(), nullptr, 10);
    expected =
        std::min<long long>(std::max<long long>(expected, INT_MIN), INT_MAX);
    ASSERT_EQ(expected, wstring2int(std::wstring(text.begin(), text.end())))
        << text;
  }
}

TEST(UtilityTest, NumbersToText) {
  struct Case {
    int n;
    std::wstring text;
    std::wstring urdu;
  };
  const Case cases[] = {
      {0, L"0", L"\x06F0"},
      {-5, L"-5", L"\x06ED\x06F5"},
      {305, L"305", L"\x06F3\x06F0\x06F5"},
      {1234567890, L"1234567890",
       L"\x06F1\x06F2\x06F3\x06F4\x06F5\x06F6\x06F7\x06F8\x06F9\x06F0"},
      {INT_MAX, L"2147483647",
       L"\x06F2\x06F1\x06F4\x06F7\x06F4\x06F8\x06F3\x06F6\x06F4\x06F7"},
      {INT_MIN, L"-2147483648",
       L"\x06ED\x06F2\x06F1\x06F4\x06F7\x06F4\x06F8\x06F3\x06F6\x06F4\x06F8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(Show(c.text), Show(int2wstring(c.n)));
    EXPECT_EQ(Show(c.urdu), Show(int2UrduNumerals(c.n)));
    EXPECT_EQ(c.n, wstring2int(int2wstring(c.n)));
  }
}

TEST(UtilityTest, EditDistance) {
  struct Case {
    std::wstring a;
    std::wstring b;
    int distance;
  };
  const Case cases[] = {
      {L"kitten", L"sitting", 3},
      {L"", L"abc", 3},
      {L"abc", L"", 3},
      {L"", L"", 0},
      {L"abc", L"abc", 0},
      {L"ab", L"ba", 2},
      {L"a", L"b", 1},
      {L"flaw", L"lawn", 2},
      {L"intention", L"execution", 5},
      {L"sunday", L"saturday", 3},
      {L"abcdef", L"b", 5},
      {L"\x0628\x0627\x062A", L"\x0628\x0627\x0628", 1},
      {L"\x0628\x064E\x0627", L"\x0628\x0627", 1},
      {std::wstring(300, L'a'), std::wstring(200, L'a') + L"b", 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.a) + " / " + Show(c.b));
    EXPECT_EQ(c.distance, EditDistance(c.a, c.b));
    EXPECT_EQ(c.distance, EditDistance(c.b, c.a));
  }
}

// Properties of a metric on random short words over a small alphabet.
TEST(UtilityTest, EditDistanceIsAMetric) {
  std::mt19937 rng(5);
  auto word = [&] {
    std::wstring w(rng() % 8, L'a');
    for (wchar_t& c : w) c = L'a' + rng() % 3;
    return w;
  };
  for (int i = 0; i < 2000; ++i) {
    const std::wstring a = word(), b = word(), c = word();
    const int ab = EditDistance(a, b);
    SCOPED_TRACE(Show(a) + " / " + Show(b) + " / " + Show(c));
    EXPECT_EQ(ab, EditDistance(b, a));
    EXPECT_EQ(ab == 0, a == b);
    EXPECT_GE(ab, static_cast<int>(std::max(a.size(), b.size()) -
                                   std::min(a.size(), b.size())));
    EXPECT_LE(ab, static_cast<int>(std::max(a.size(), b.size())));
    EXPECT_LE(EditDistance(a, c), ab + EditDistance(b, c));
    // One more character changes the distance by at most one.
    EXPECT_LE(std::abs(EditDistance(a + L'z', b) - ab), 1);
  }
}

}  // namespace
