#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/Utf8.h"
#include "text/UZTEncoder.h"
#include "text/UZTStreamTest.h"

namespace urdulex::internal {

namespace {

using namespace std::string_literals;

class UZTEncoderTest : public UZTStreamTest {};

TEST_F(UZTEncoderTest, ChunkedEncodingEqualsWholeEncoding) {
  for (int round = 0; round < 400; ++round) {
    const std::wstring text = RandomText(rng_() % 60);
    std::string whole;
    util_.ConvertUnicode2UZT(text, whole);
    for (size_t chunk : {0, 1, 2, 3, 5, 8, 64}) {
      UZTStreamEncoder encoder(mapping_, util_, chunk);
      std::string out;
      for (size_t i = 0; i < text.size(); ++i) {
        encoder.Put(static_cast<char32_t>(text[i]), static_cast<int64_t>(i),
                    out);
      }
      encoder.Finish(out);
      ASSERT_EQ(whole, out) << "round " << round << " chunk " << chunk;
    }
  }
}

TEST_F(UZTEncoderTest, LongNeutralRunsDoNotPileUp) {
  // Urdu, then a long run of digits, spaces and brackets, which select no
  // plate; the same after a Latin letter (ASCII plate), where no place of
  // the UZT plate exists and the run stays whole.
  for (const std::wstring start : {L"\x0627", L"a"}) {
    std::wstring run = start;
    for (int i = 0; i < 3000; ++i) run += L"12 [3]";
    const std::wstring end = L"\x0628 \x0626 ";
    std::string whole;
    util_.ConvertUnicode2UZT(run + end, whole);
    UZTStreamEncoder encoder(mapping_, util_, 16);
    std::string out;
    const std::vector<int64_t> offsets(run.size(), 0);
    for (size_t i = 0; i < run.size(); i += 100) {
      encoder.Put(run.data() + i, offsets.data(),
                  std::min<size_t>(100, run.size() - i), out);
    }
    if (start == L"\x0627") {
      EXPECT_GT(out.size(), run.size() / 2);  // encoded on the way
    }
    encoder.Put(end.data(), offsets.data(), end.size(), out);
    encoder.Finish(out);
    EXPECT_EQ(whole, out);
  }
}

// Feeds `input` to UnicodeInput one byte at a time, so that every sequence
// is cut, and to the encoder; returns the error or "".
std::string EncodeError(const UZTMapping& mapping, const LexEnigneUtility& util,
                        const std::string& input, int64_t* offset) {
  UnicodeInput reader;
  UZTStreamEncoder encoder(mapping, util);
  std::string out;
  const auto sink = [&](char32_t c, int64_t at) { encoder.Put(c, at, out); };
  try {
    for (size_t i = 0; i < input.size(); ++i) {
      reader.Put(reinterpret_cast<const unsigned char*>(&input[i]), 1,
                 i + 1 == input.size(), sink);
    }
    if (input.empty()) {
      const unsigned char none = 0;
      reader.Put(&none, 0, true, sink);
    }
    encoder.Finish(out);
  } catch (const StreamError& e) {
    *offset = e.offset;
    return e.message();
  }
  return "";
}

TEST_F(UZTEncoderTest, InputErrorsNameTheirByteOffset) {
  const struct {
    std::string input;
    int64_t offset;
    const char* message;
  } cases[] = {
      {"ab \xE4\xB8\x80", 3, "U+4E00 has no UZT form in the mapping"},
      {"\xEF\xBB\xBF"
       "a\xF0\x9F\x98\x80",
       4, "U+1F600 has no UZT form in the mapping"},
      {"a\0b"s, 1, "U+0000 has no UZT form in the mapping"},
      {"ab\x80", 2, "invalid UTF-8 byte"},
      {"a\xC0\xAF", 1, "invalid UTF-8 byte"},          // overlong
      {"a\xE0\x80\xAF", 1, "invalid UTF-8 sequence"},  // overlong
      {"a\xED\xA0\x80", 1, "invalid UTF-8 sequence"},  // surrogate
      {"a\xF4\x90\x80\x80", 1, "invalid UTF-8 sequence"},
      {"a\xD8\xA7\xD8", 3, "UTF-8 sequence cut by the end of the input"},
      {"\xFF\xFE"
       "a\0\x00\x4E"s,
       4, "U+4E00 has no UZT form in the mapping"},
      {"\xFE\xFF\0a\x4E\x00"s, 4, "U+4E00 has no UZT form in the mapping"},
      {"\xFF\xFE"
       "a\0\x3D\xD8\x00\xDE"s,
       4, "U+1F600 has no UZT form in the mapping"},
      {"\xFF\xFE"
       "a\0\x00\xDE"s,
       4, "unpaired UTF-16 surrogate"},
      {"\xFF\xFE"
       "a\0\x3D\xD8"
       "a\0"s,
       4, "unpaired UTF-16 surrogate"},
      {"\xFF\xFE"
       "a\0\x3D\xD8"s,
       4, "unpaired UTF-16 surrogate"},
      {"\xFF\xFE"
       "a\0b"s,
       4, "odd byte at the end of UTF-16 input"},
  };
  for (const auto& c : cases) {
    int64_t offset = -2;
    EXPECT_EQ(c.message, EncodeError(mapping_, util_, c.input, &offset))
        << c.input;
    EXPECT_EQ(c.offset, offset) << c.input;
  }
  // Short inputs that only look like the start of a mark are UTF-8 text.
  int64_t offset = -2;
  for (const std::string& ok :
       std::vector<std::string>{"", "a", "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF",
                                "\xFF\xFE"
                                "a\0"s,
                                "\xD8\xA7 \xD8\xA8"}) {
    EXPECT_EQ("", EncodeError(mapping_, util_, ok, &offset)) << ok;
  }
  EXPECT_EQ("invalid UTF-8 byte",
            EncodeError(mapping_, util_, "\xFF", &offset));
  EXPECT_EQ(0, offset);
  EXPECT_EQ("UTF-8 sequence cut by the end of the input",
            EncodeError(mapping_, util_, "\xEF\xBB", &offset));
}

TEST_F(UZTEncoderTest, FirstUnconvertibleCharacterIsNamedWithinOnePut) {
  // The program hands a whole block to one Put: a character above U+FFFF
  // must not be named before an unknown one that comes earlier, in the same
  // call or still pending from an earlier one.
  const wchar_t astral = static_cast<wchar_t>(0x1F600);
  const std::wstring block = {L'a', 0x4E00, L'b', astral};
  const std::vector<int64_t> offsets = {0, 1, 4, 5};
  for (bool pending_first : {false, true}) {
    UZTStreamEncoder encoder(mapping_, util_);
    std::string out;
    try {
      if (pending_first) {
        encoder.Put(block.data(), offsets.data(), 2, out);
        encoder.Put(block.data() + 2, offsets.data() + 2, 2, out);
      } else {
        encoder.Put(block.data(), offsets.data(), block.size(), out);
      }
      encoder.Finish(out);
      ADD_FAILURE() << "no error";
    } catch (const StreamError& e) {
      EXPECT_EQ(1, e.offset) << pending_first;
      EXPECT_EQ("U+4E00 has no UZT form in the mapping", e.message())
          << pending_first;
    }
  }
}

// EncodeUZTStream against the stream encoder alone (see Capture), on random
// input read in random short pieces, for every error mode.
TEST_F(UZTEncoderTest, WholeStreamsEqualTheStreamEncoder) {
  const OnError modes[] = {{OnError::kFail, L'?'},
                           {OnError::kSkip, L'?'},
                           {OnError::kSubstitute, L'?'}};
  std::string bytes;
  for (int round = 0; round < 900; ++round) {
    const OnError& mode = modes[round % 3];
    const bool bad = round % 4 == 0;  // rounds with failures
    // Some long inputs, read in whole, go through many pieces at once.
    const bool long_input = round % 30 == 0;
    const size_t length = long_input ? 4500 + rng_() % 2000 : rng_() % 40;
    const size_t chunk = long_input ? 256 : 1 + rng_() % 5;
    std::wstring text = RandomText(length);
    if (bad && !text.empty()) text[rng_() % text.size()] = L'\x4E00';
    const int form = (round / 3) % 3;  // UTF-16LE, UTF-16BE, UTF-8
    std::string unicode = form == 0 ? "\xFF\xFE" : form == 1 ? "\xFE\xFF" : "";
    for (const wchar_t c : text) {
      char u8[4];
      const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c);
      unicode += form == 0   ? std::string{lo, hi}
                 : form == 1 ? std::string{hi, lo}
                             : std::string(u8, utf8::EncodeSequence(c, u8));
    }
    if (bad && round % 8 == 0) unicode.push_back('\x05');  // an odd byte
    size_t at = 0;
    const ReadBytes read = [&](char* buffer, size_t n) {
      const size_t most = long_input ? n : 1 + rng_() % 7;
      const size_t got = std::min({n, unicode.size() - at, most});
      std::copy_n(unicode.data() + at, got, buffer);
      at += got;
      return got;
    };
    const WriteBytes write = [&](const std::string& b) { bytes += b; };
    const std::string direct = Capture(&bytes, [&] {
      return EncodeUZTStream(mapping_, util_, read, write, mode);
    });
    const std::string streamed = Capture(&bytes, [&] {
      UnicodeInput in;
      UZTStreamEncoder encoder(mapping_, util_, chunk);
      encoder.SetOnError(mode);
      try {
        in.Put(reinterpret_cast<const unsigned char*>(unicode.data()),
               unicode.size(), true, [&](char32_t c, int64_t offset) {
                 encoder.Put(c, offset, bytes);
               });
      } catch (const StreamError&) {
        encoder.Finish(bytes);  // an unknown character before comes first
        throw;
      }
      encoder.Finish(bytes);
      return encoder.replaced();
    });
    ASSERT_EQ(streamed, direct) << "round " << round;
  }
}

}  // namespace

}  // namespace urdulex::internal
