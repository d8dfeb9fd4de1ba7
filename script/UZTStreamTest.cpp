#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/TARNIException.h"
#include "script/UZTStream.h"

namespace {

using namespace std::string_literals;

const char kTestMapping[] = URDULEX_SOURCE_DIR "/data/uzt/test-mapping.txt";

class UZTStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mapping_.Load(kTestMapping);
    mapping_.Install(util_);
    for (wchar_t c = 1; c <= 0xFFFF; ++c) {
      if (mapping_.PlateClass(c) != UZTMapping::kNoClass)
        alphabet_.push_back(c);
    }
  }

  // Random text biased towards plate changes and fixed sequences.
  std::wstring RandomText(size_t length) {
    static const std::wstring hot =
        L"  \x0621\x0626\x06D3\x06C2\x06C1\x06D2\x0640[]|aZ7  9 ";
    std::wstring text;
    while (text.size() < length) {
      text.push_back(rng_() % 2 ? hot[rng_() % hot.size()]
                                : alphabet_[rng_() % alphabet_.size()]);
    }
    return text;
  }

  UZTMapping mapping_;
  LexEnigneUtility util_;
  std::vector<wchar_t> alphabet_;
  std::mt19937 rng_{12345};
};

TEST_F(UZTStreamTest, ChunkedEncodingEqualsWholeEncoding) {
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

TEST_F(UZTStreamTest, LongNeutralRunsDoNotPileUp) {
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

TEST_F(UZTStreamTest, ChunkedDecodingEqualsWholeDecoding) {
  // Byte strings of encoded text, spliced with bytes the decoder treats
  // specially, split at random places into the pieces fed to Put.
  static const std::string hot = std::string("  wwuyC\xC0\xC2\xC5\x81") +
                                 "\xFE"
                                 "0"
                                 "\xFE"
                                 "1"
                                 "\xFE"
                                 "1"
                                 "\xFF";
  int decodable = 0;
  for (int round = 0; round < 600; ++round) {
    std::string bytes;
    util_.ConvertUnicode2UZT(RandomText(rng_() % 30), bytes);
    for (int k = static_cast<int>(rng_() % 12); k > 0; --k) {
      const size_t at = bytes.empty() ? 0 : rng_() % bytes.size();
      const size_t from = rng_() % (hot.size() - 1);
      bytes.insert(at, hot.substr(from, 1 + rng_() % 2));
    }
    std::wstring whole;
    bool whole_failed = false;
    try {
      util_.ConvertUZT2Unicode(bytes, whole);
    } catch (const TARNIException&) {
      whole_failed = true;
    }
    if (!whole_failed) ++decodable;
    for (size_t chunk : {0, 1, 2, 3, 7, 100}) {
      UZTStreamDecoder decoder(mapping_, util_, chunk);
      std::wstring out;
      bool failed = false;
      try {
        size_t pos = 0;
        while (pos < bytes.size()) {
          const size_t n = std::min(bytes.size() - pos, 1 + rng_() % 5);
          decoder.Put(bytes.data() + pos, n, out);
          pos += n;
        }
        decoder.Finish(out);
      } catch (const StreamError&) {
        failed = true;
      }
      ASSERT_EQ(whole_failed, failed) << "round " << round;
      if (!failed) {
        ASSERT_EQ(whole, out) << "round " << round << " chunk " << chunk;
      }
    }
  }
  // Both outcomes must have been tried often.
  EXPECT_GT(decodable, 100);
  EXPECT_LT(decodable, 500);
}

TEST_F(UZTStreamTest, RunsWithoutAnObviousCutDoNotPileUp) {
  // "w" and " " alternating: no two neighbours that surely stand apart.
  std::string bytes = "\x81";
  for (int i = 0; i < 5000; ++i) bytes += "w ";
  std::wstring whole;
  util_.ConvertUZT2Unicode(bytes, whole);
  UZTStreamDecoder decoder(mapping_, util_, 16);
  std::wstring out;
  for (size_t i = 0; i < bytes.size(); i += 100) {
    decoder.Put(bytes.data() + i, std::min<size_t>(100, bytes.size() - i), out);
  }
  EXPECT_GT(out.size(), whole.size() / 2);  // decoded on the way
  decoder.Finish(out);
  EXPECT_EQ(whole, out);

  // A run of escapes is refused as it arrives, not at the end.
  UZTStreamDecoder refusing(mapping_, util_, 16);
  const std::string escapes(1000, '\xFE');
  try {
    refusing.Put("\x81", 1, out);
    refusing.Put(escapes.data(), escapes.size(), out);
    ADD_FAILURE() << "no error";
  } catch (const StreamError& e) {
    EXPECT_EQ(1, e.offset);
    EXPECT_EQ("code-plate escape 254 followed by 0xFE (expected '0' or '1')",
              e.message);
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
    return e.message;
  }
  return "";
}

TEST_F(UZTStreamTest, InputErrorsNameTheirByteOffset) {
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

TEST_F(UZTStreamTest, FirstUnconvertibleCharacterIsNamedWithinOnePut) {
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
      EXPECT_EQ("U+4E00 has no UZT form in the mapping", e.message)
          << pending_first;
    }
  }
}

// A byte that cannot be decoded is dropped or replaced, the bytes around
// it decoded as they would be with it there, in chunks of any size.
TEST_F(UZTStreamTest, DecodingSkipsOrSubstitutesRefusedBytes) {
  const std::string many(3000, '\x81');
  const std::wstring alefs(3000, L'\x0627');
  const struct {
    std::string input;
    std::wstring skipped;
    std::wstring substituted;
  } cases[] = {
      {"\x81\xF0\x82", L"\x0627\x0628", L"\x0627?\x0628"},
      {"\xF0\xF1", L"", L"??"},
      // A refused escape is dropped alone; the plate stays.
      {"\x81\xFE"
       "9\x82",
       L"\x0627"
       L"9\x0628",
       L"\x0627?9\x0628"},
      {"\xFE"
       "1ab\xFE"
       "7c",
       L"ab7c", L"ab?7c"},
      {"\x82\xFE", L"\x0628", L"\x0628?"},
      // "u" before a refused byte is heh goal; "C" alone is refused too.
      {"u\xF0"
       "C",
       L"\x06C1", L"\x06C1??"},
      {many + "\xF0\x82" + many, alefs + L"\x0628" + alefs,
       alefs + L"?\x0628" + alefs},
  };
  for (const auto& c : cases) {
    for (OnError::Mode mode : {OnError::kSkip, OnError::kSubstitute}) {
      for (size_t chunk : {0, 1, 1000}) {
        for (bool bytewise : {false, true}) {
          UZTStreamDecoder decoder(mapping_, util_, chunk);
          decoder.SetOnError(OnError{mode, L'?'});
          std::wstring out;
          if (bytewise) {
            for (char b : c.input) decoder.Put(&b, 1, out);
          } else {
            decoder.Put(c.input.data(), c.input.size(), out);
          }
          decoder.Finish(out);
          EXPECT_TRUE((mode == OnError::kSkip ? c.skipped : c.substituted) ==
                      out)
              << c.input.size() << " " << mode << " " << chunk;
        }
      }
    }
  }
}

TEST_F(UZTStreamTest, DecodingErrorsNameTheirByteOffset) {
  const struct {
    std::string input;
    int64_t offset, line, column;
    const char* message;
  } cases[] = {
      {"\x81\x82 \xF0", 3, 1, 4,
       "byte 0xF0 has no character in the UZT plate of the mapping"},
      {"\x81\n\x82\n\x81\xF0", 5, 3, 2,
       "byte 0xF0 has no character in the UZT plate of the mapping"},
      {"\x81\xFE"
       "1\xF0\xFE"
       "0C",
       6, 1, 7, "byte 0x43 has no character in the UZT plate of the mapping"},
      {"\x81\xFE"
       "7",
       1, 1, 2, "code-plate escape 254 followed by 0x37 (expected '0' or '1')"},
      {"\x81\x82\xFE", 2, 1, 3,
       "code-plate escape 254 at the end of the input"},
  };
  for (const auto& c : cases) {
    for (size_t chunk : {0, 1, 1000}) {
      UZTStreamDecoder decoder(mapping_, util_, chunk);
      std::wstring out;
      try {
        for (char b : c.input) decoder.Put(&b, 1, out);
        decoder.Finish(out);
        ADD_FAILURE() << "no error for " << c.input;
      } catch (const StreamError& e) {
        EXPECT_EQ(c.message, e.message);
        EXPECT_EQ(c.offset, e.offset);
        EXPECT_EQ(c.line, e.line);
        EXPECT_EQ(c.column, e.column);
      }
    }
  }
}

// The whole-stream conversions take a direct path until the first failure;
// what they give must be what the stream coders alone give, on random
// input read in random short pieces, for every error mode.
// Runs `run`, which returns the count replaced and writes to `*bytes`; the
// result is the bytes, or the StreamError where and what, and the count.
template <typename Run>
std::string Capture(std::string* bytes, Run&& run) {
  bytes->clear();
  try {
    const uint64_t replaced = run();
    return *bytes + "|" + std::to_string(replaced);
  } catch (const StreamError& e) {
    return std::to_string(e.offset) + ":" + std::to_string(e.line) + ":" +
           std::to_string(e.column) + " " + e.message;
  }
}

TEST_F(UZTStreamTest, WholeStreamsEqualTheStreamCoders) {
  // Bytes of the fixed sequences, plate changes and failures.
  const std::string hot =
      "  uCywwy w \xFE\xFE"
      "01\xC0\xC2\xC5\n\x01\xFF";
  const OnError modes[] = {{OnError::kFail, L'?'},
                           {OnError::kSkip, L'?'},
                           {OnError::kSubstitute, L'?'}};
  std::string bytes;
  for (int round = 0; round < 900; ++round) {
    const OnError& mode = modes[round % 3];
    const bool bad = round % 4 == 0;  // rounds with failures
    std::string uzt;
    // Some long inputs, read in whole, go through many pieces at once.
    const bool long_input = round % 30 == 0;
    const size_t length = long_input ? 4500 + rng_() % 2000 : rng_() % 40;
    const size_t chunk = long_input ? 256 : 1 + rng_() % 5;
    for (size_t n = length; uzt.size() < n;) {
      const char b = static_cast<char>(rng_() % 2 ? hot[rng_() % hot.size()]
                                                  : rng_() % 256);
      if (bad || (b != '\x01' && b != '\xFF')) uzt.push_back(b);
    }
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
    const std::string* input = nullptr;
    size_t at = 0;
    const ReadBytes read = [&](char* buffer, size_t n) {
      const size_t most = long_input ? n : 1 + rng_() % 7;
      const size_t got = std::min({n, input->size() - at, most});
      std::copy_n(input->data() + at, got, buffer);
      at += got;
      return got;
    };
    const WriteBytes write = [&](const std::string& b) { bytes += b; };
    for (const bool to_utf8 : {true, false}) {
      input = &uzt;
      at = 0;
      const std::string direct = Capture(&bytes, [&] {
        return DecodeUZTStream(mapping_, util_, to_utf8, read, write, mode);
      });
      const std::string streamed = Capture(&bytes, [&] {
        UZTStreamDecoder decoder(mapping_, util_, chunk);
        decoder.SetOnError(mode);
        std::wstring out;
        decoder.Put(uzt.data(), uzt.size(), out);
        decoder.Finish(out);
        if (!to_utf8) bytes = "\xFF\xFE";
        for (const wchar_t c : out) {
          char u8[4];
          bytes += to_utf8 ? std::string(u8, utf8::EncodeSequence(c, u8))
                           : std::string{static_cast<char>(c),
                                         static_cast<char>(c >> 8)};
        }
        return decoder.replaced();
      });
      ASSERT_EQ(streamed, direct) << "decoding, round " << round;
    }
    input = &unicode;
    at = 0;
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
    ASSERT_EQ(streamed, direct) << "encoding, round " << round;
  }
}

}  // namespace
