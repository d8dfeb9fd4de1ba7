#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "foundation/TARNIException.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"
#include "script/UrduCharSet.h"

namespace {

const char kTestMapping[] = URDULEX_SOURCE_DIR "/data/uzt/test-mapping.txt";

// Bytes of the test mapping used below.
constexpr int kAlef = 0x81;  // U+0627
constexpr int kBeh = 0x82;   // U+0628
constexpr int kEsc = 254;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

class UZTConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mapping_.Load(kTestMapping);
    mapping_.Install(util_);
  }

  std::string Encode(const std::wstring& text) {
    std::string uzt = "stale";
    EXPECT_TRUE(util_.ConvertUnicode2UZT(text, uzt));
    return uzt;
  }
  std::wstring Decode(const std::string& uzt) {
    std::wstring text = L"stale";
    EXPECT_TRUE(util_.ConvertUZT2Unicode(uzt, text));
    return text;
  }

  UZTMapping mapping_;
  LexEnigneUtility util_;
};

// Checks a thrown exception of class `Thrown` against the class `E`, module,
// code and message expected.
template <typename E, typename Thrown>
void ExpectCaught(const Thrown& e, int code, const std::string& message) {
  // The family has no virtual functions, so the class is told by which
  // handler caught it.
  EXPECT_TRUE((std::is_same<E, Thrown>::value)) << message;
  EXPECT_EQ("LexEnigneUtility", e.GetFileName());
  EXPECT_EQ(code, e.GetErrorCode());
  EXPECT_EQ(message, e.GetExceptionMsg());
  EXPECT_GT(e.GetLineNum(), 0);
}

// Expects `f` to throw exactly `E` (not a class derived from it) with the
// module, code and message given.
template <typename E, typename F>
void ExpectThrow(F f, int code, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected \"" << message << "\"";
  } catch (const InvalidFormatException& e) {
    ExpectCaught<E>(e, code, message);
  } catch (const IOException& e) {
    ExpectCaught<E>(e, code, message);
  } catch (const TARNIException& e) {
    ExpectCaught<E>(e, code, message);
  }
}

TEST(UZTConversionFreshTest, EmptyInputNeedsNoTablesOtherwiseUndefined) {
  LexEnigneUtility fresh;
  std::string uzt = "old";
  std::wstring text = L"old";
  EXPECT_TRUE(fresh.ConvertUnicode2UZT(L"", uzt));
  EXPECT_TRUE(fresh.ConvertUZT2Unicode("", text));
  EXPECT_TRUE(uzt.empty());
  EXPECT_TRUE(text.empty());

  uzt = "old";
  text = L"old";
  ExpectThrow<TARNIException>([&] { fresh.ConvertUnicode2UZT(L"a", uzt); }, 0,
                              "Unicode to UZT mapping undefined.");
  ExpectThrow<TARNIException>([&] { fresh.ConvertUZT2Unicode("a", text); }, 0,
                              "UZT to Unicode mapping undefined.");
  EXPECT_TRUE(uzt.empty());
  EXPECT_TRUE(text.empty());

  // A zero count leaves the mapping undefined even with every table given.
  UZTMapping mapping;
  mapping.Load(kTestMapping);
  mapping.Install(fresh);
  UniChar2IndexMap map;
  unsigned char byte_table[1] = {0};
  unsigned char* tables[2] = {byte_table, byte_table};
  unsigned short to_unicode[256] = {};
  fresh.SetUnicodeUZTInterMapping(&map, tables, 0, to_unicode);
  ExpectThrow<TARNIException>([&] { fresh.ConvertUnicode2UZT(L"a", uzt); }, 0,
                              "Unicode to UZT mapping undefined.");
  // No array of tables at all: undefined, not a crash.
  fresh.SetUnicodeUZTInterMapping(&map, nullptr, 1, to_unicode);
  ExpectThrow<TARNIException>([&] { fresh.ConvertUZT2Unicode("a", text); }, 0,
                              "UZT to Unicode mapping undefined.");
}

TEST_F(UZTConversionTest, PlatesSwitchOnlyWhenNeeded) {
  // All UZT-plate text: no escape at all.
  EXPECT_EQ(Bytes({kAlef, ' ', kBeh}), Encode(L"\x0627 \x0628"));
  // Urdu, Latin, Urdu.
  const std::string mixed = Bytes({kAlef, kEsc, '1', 'A', kEsc, '0', kBeh});
  EXPECT_EQ(mixed, Encode(L"\x0627"
                          L"A\x0628"));
  EXPECT_EQ(
      L"\x0627"
      L"A\x0628",
      Decode(mixed));
  // A string ending in the ASCII plate is closed by the UZT switch.
  EXPECT_EQ(Bytes({kEsc, '1', 'a', 'b', kEsc, '0'}), Encode(L"ab"));
  EXPECT_EQ(Bytes({kAlef, kEsc, '1', 'z', kEsc, '0'}), Encode(L"\x0627z"));
  // Neutral characters and the brackets stay in the current plate, and the
  // brackets take the byte of that plate.
  EXPECT_EQ(Bytes({kEsc, '1', 'a', '[', ' ', '7', '|', 'b', ']', kEsc, '0'}),
            Encode(L"a[ 7|b]"));
  EXPECT_EQ(Bytes({kAlef, 0xC0, ' ', '7', 0xC5, kBeh, 0xC2}),
            Encode(L"\x0627[ 7|\x0628]"));
  EXPECT_EQ(Bytes({'7', kEsc, '1', 'x', kEsc, '0'}), Encode(L"7x"));
  // The fixed sequences of the UZT plate switch back to it.
  EXPECT_EQ(Bytes({kEsc, '1', 'a', kEsc, '0', 'w', kEsc, '1', 'b', kEsc, '0'}),
            Encode(L"a\x0626"
                   L"b"));
  EXPECT_EQ(Bytes({kEsc, '1', 'a', kEsc, '0', 'y', 'w'}), Encode(L"a\x06D3"));
  EXPECT_EQ(Bytes({kEsc, '1', 'a', kEsc, '0', 'u', 'C'}), Encode(L"a\x06C2"));
  EXPECT_EQ(Bytes({kEsc, '1', 'a', kEsc, '0', ' ', 'w', ' '}),
            Encode(L"a\x0621"));
}

TEST_F(UZTConversionTest, DecodingFollowsThePlates) {
  EXPECT_EQ(L"a[[", Decode(Bytes({kEsc, '1', 'a', '[', kEsc, '0', 0xC0})));
  EXPECT_EQ(L"[]|", Decode(Bytes({0xC0, 0xC2, 0xC5})));
  // The ASCII plate reads every byte but the escape as itself.
  EXPECT_EQ(L"\x00FF\x0080w u",
            Decode(Bytes({kEsc, '1', 0xFF, 0x80, 'w', ' ', 'u'})));
  // Plate switches in every order, redundant ones included.
  EXPECT_EQ(
      L"\x0627"
      L"aa\x0628",
      Decode(Bytes({kEsc, '0', kAlef, kEsc, '1', kEsc, '1', 'a', kEsc, '0',
                    kEsc, '1', 'a', kEsc, '0', kEsc, '0', kBeh})));
}

TEST_F(UZTConversionTest, SpecialCharacters) {
  // Tatweel vanishes.
  EXPECT_EQ(Bytes({kAlef, kBeh}), Encode(L"\x0627\x0640\x0640\x0628"));
  EXPECT_EQ("", Encode(L"\x0640"));
  // Heh goal and yeh barree go through the table with their fixed bytes.
  EXPECT_EQ("uy", Encode(L"\x06C1\x06D2"));
  EXPECT_EQ(L"\x06C1\x06D2\x06C2\x06D3\x0626", Decode("uyuCyww"));

  // Hamza is " w "; real spaces around it survive the round trip.
  EXPECT_EQ(" w ", Encode(L"\x0621"));
  for (const std::wstring text :
       {L"\x0621", L" \x0621", L"\x0621 ", L" \x0621 ", L"\x0628 \x0621 \x0628",
        L"\x0621\x0621", L" \x0621\x0621 ", L"\x0621\x0626\x0621",
        L"a\x0621 b"}) {
    EXPECT_EQ(text, Decode(Encode(text)));
  }
  EXPECT_EQ(Bytes({kAlef, ' ', ' ', 'w', ' ', ' ', kBeh}),
            Encode(L"\x0627 \x0621 \x0628"));

  // Known ambiguities of the byte format: yeh with hamza between two
  // UZT-plate spaces reads as hamza, yeh barree before yeh with hamza as yeh
  // barree with hamza, and heh goal before a "C" byte as heh goal with hamza.
  EXPECT_EQ(L"\x0621", Decode(Encode(L" \x0626 ")));
  EXPECT_EQ(L"\x06D3", Decode(Encode(L"\x06D2\x0626")));
  EXPECT_EQ(L"\x06C2", Decode("uC"));
  // ... but not when the space before is written in the ASCII plate.
  EXPECT_EQ(L"a \x0626 ", Decode(Encode(L"a \x0626 ")));
}

TEST_F(UZTConversionTest, FixedBytesIgnoreTheTable) {
  // A table that claims every byte for alef must not change the fixed
  // bytes of the UZT plate.
  UniChar2IndexMap map;
  map.Insert(0x0627);
  unsigned char byte_table[1] = {0x41};
  unsigned char class_table[1] = {'U'};
  unsigned char* tables[2] = {byte_table, class_table};
  unsigned short to_unicode[256];
  for (unsigned short& u : to_unicode) u = 0x0627;
  LexEnigneUtility util;
  util.SetUnicodeUZTInterMapping(&map, tables, 1, to_unicode);
  std::wstring text;
  util.ConvertUZT2Unicode(Bytes({'u', 'y', 0xC0, 'w', 0xC2, 0xC5, 'A'}), text);
  EXPECT_EQ(L"\x06C1\x06D2[\x0626]|\x0627", text);
  // Characters above U+FFFF are looked up by their low 16 bits.
  std::string uzt;
  util.ConvertUnicode2UZT(std::wstring(1, static_cast<wchar_t>(0x10627)), uzt);
  EXPECT_EQ("A", uzt);
}

TEST_F(UZTConversionTest, EncodingFailures) {
  std::string uzt;
  // Row 2: a character outside the index map; the output holds nothing of
  // what was encoded before it.
  ExpectThrow<InvalidFormatException>(
      [&] { util_.ConvertUnicode2UZT(L"\x0627\x0628\x4E00", uzt); }, 49,
      "Unknown Unicode char found. Code (19968).");
  EXPECT_TRUE(uzt.empty());

  // Rows 3 and 4 need tables the loader would refuse.
  UniChar2IndexMap map;
  map.Insert(0x0627);  // 0: fine
  map.Insert(0x0041);  // 1: special class, but no fixed sequence
  map.Insert(0x0042);  // 2: no plate class
  unsigned char byte_table[3] = {0x81, 0x41, 0x42};
  unsigned char class_table[3] = {'U', 'X', 'Q'};
  unsigned char* tables[2] = {byte_table, class_table};
  unsigned short to_unicode[256] = {};
  LexEnigneUtility util;
  util.SetUnicodeUZTInterMapping(&map, tables, 3, to_unicode);
  ExpectThrow<TARNIException>(
      [&] {
        util.ConvertUnicode2UZT(
            L"\x0627"
            L"A",
            uzt);
      },
      0, "Unknown Unicode (Special) char found. Code (65).");
  EXPECT_TRUE(uzt.empty());
  ExpectThrow<TARNIException>(
      [&] {
        util.ConvertUnicode2UZT(
            L"\x0627"
            L"B",
            uzt);
      },
      0, "No UZT mapping defined for Unicode char. Code (66).");
  EXPECT_TRUE(uzt.empty());
  // The tables were only borrowed: changing them changes the conversion.
  class_table[2] = 'A';
  util.ConvertUnicode2UZT(L"B", uzt);
  EXPECT_EQ(Bytes({kEsc, '1', 'B', kEsc, '0'}), uzt);
}

TEST_F(UZTConversionTest, DecodingFailures) {
  std::wstring text;
  // Row 6: the output keeps what was decoded before the escape.
  ExpectThrow<InvalidFormatException>(
      [&] {
        util_.ConvertUZT2Unicode(Bytes({kAlef, kBeh, kEsc}), text);
      },
      49, "Unknown code-plate: Code (0).");
  EXPECT_EQ(L"\x0627\x0628", text);
  ExpectThrow<InvalidFormatException>(
      [&] {
        util_.ConvertUZT2Unicode(Bytes({kEsc, '1', 'a', kEsc, '7', 'b'}), text);
      },
      49, "Unknown code-plate: Code (55).");
  EXPECT_EQ(L"a", text);
  ExpectThrow<InvalidFormatException>(
      [&] {
        util_.ConvertUZT2Unicode(Bytes({kEsc, kEsc, '0'}), text);
      },
      49, "Unknown code-plate: Code (254).");
  EXPECT_EQ(L"", text);

  // Row 7: a UZT-plate byte without a character; the output is emptied.
  ExpectThrow<TARNIException>(
      [&] {
        util_.ConvertUZT2Unicode(Bytes({kAlef, 0xF0, kBeh}), text);
      },
      0, "No Unicode mapping defined for UZT char. Code (240).");
  EXPECT_TRUE(text.empty());
  // 'C' is a Latin letter of the ASCII plate in the test mapping.
  ExpectThrow<TARNIException>(
      [&] { util_.ConvertUZT2Unicode("C", text); }, 0,
      "No Unicode mapping defined for UZT char. Code (67).");
}

TEST_F(UZTConversionTest, LongTextsKeepEveryRule) {
  // Lengths around and beyond any internal buffering of the output.
  for (size_t n = 0; n < 1100; n += (n >= 500 && n < 530) ? 1 : 25) {
    const std::string alefs(n, static_cast<char>(kAlef));
    const std::wstring text(n, L'\x0627');
    // A hamza whose leading space falls anywhere.
    EXPECT_EQ(text + L"\x0621", Decode(alefs + " w ")) << n;
    EXPECT_EQ(text + L"\x0621\x0621", Decode(alefs + " w  w ")) << n;
    EXPECT_EQ(alefs + " w ", Encode(text + L"\x0621")) << n;
    EXPECT_EQ(alefs + Bytes({kEsc, '1', 'a', kEsc, '0'}), Encode(text + L"a"));

    std::wstring out = L"stale";
    // Row 6 keeps everything decoded before the escape.
    EXPECT_THROW(util_.ConvertUZT2Unicode(alefs + Bytes({kEsc, '7'}), out),
                 InvalidFormatException);
    EXPECT_EQ(text, out) << n;
    // Row 7 and row 2 leave nothing.
    out = L"stale";
    EXPECT_THROW(util_.ConvertUZT2Unicode(alefs + Bytes({0xF0}), out),
                 TARNIException);
    EXPECT_TRUE(out.empty()) << n;
    std::string uzt = "stale";
    EXPECT_THROW(util_.ConvertUnicode2UZT(text + L"\x4E00", uzt),
                 InvalidFormatException);
    EXPECT_TRUE(uzt.empty()) << n;
  }
}

// Every character of the test mapping, in random strings: decoding the
// encoding gives the text back, except for the ambiguities the byte format
// has by design (tatweel, yeh with hamza after a space or after yeh barree),
// which the generator avoids.
TEST_F(UZTConversionTest, RandomRoundTrips) {
  std::vector<wchar_t> alphabet;
  for (wchar_t c = 1; c <= 0xFFFF; ++c) {
    if (mapping_.PlateClass(c) != UZTMapping::kNoClass && c != 0x0640) {
      alphabet.push_back(c);
    }
  }
  ASSERT_GE(alphabet.size(), 150u);
  std::mt19937 rng(20240611);
  for (int round = 0; round < 3000; ++round) {
    std::wstring text;
    const int length = static_cast<int>(rng() % 24);
    // Bias towards the characters with fixed sequences and the space.
    const std::wstring hot = L" \x0621\x0626\x06D3\x06C2\x06C1\x06D2[]|aA";
    while (static_cast<int>(text.size()) < length) {
      const wchar_t c = rng() % 3 == 0 ? hot[rng() % hot.size()]
                                       : alphabet[rng() % alphabet.size()];
      if (c == 0x0626 && !text.empty() &&
          (text.back() == L' ' || text.back() == 0x06D2)) {
        continue;
      }
      text.push_back(c);
    }
    std::string uzt;
    ASSERT_TRUE(util_.ConvertUnicode2UZT(text, uzt));
    std::wstring back;
    ASSERT_TRUE(util_.ConvertUZT2Unicode(uzt, back));
    ASSERT_EQ(text, back) << "round " << round;
  }
}

}  // namespace
