#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "foundation/TARNIException.h"
#include "foundation/Utf8.h"
#include "text/UZTDecoder.h"
#include "text/UZTStreamTest.h"

namespace urdulex::internal {

namespace {

class UZTDecoderTest : public UZTStreamTest {};

TEST_F(UZTDecoderTest, ChunkedDecodingEqualsWholeDecoding) {
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

TEST_F(UZTDecoderTest, RunsWithoutAnObviousCutDoNotPileUp) {
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
              e.message());
  }
}

// A byte that cannot be decoded is dropped or replaced, the bytes around
// it decoded as they would be with it there, in chunks of any size.
TEST_F(UZTDecoderTest, DecodingSkipsOrSubstitutesRefusedBytes) {
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

TEST_F(UZTDecoderTest, DecodingErrorsNameTheirByteOffset) {
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
        EXPECT_EQ(c.message, e.message());
        EXPECT_EQ(c.offset, e.offset);
        EXPECT_EQ(c.line, e.line);
        EXPECT_EQ(c.column, e.column);
      }
    }
  }
}

// DecodeUZTStream against the stream decoder alone (see Capture), on random
// input read in random short pieces, for every error mode.
TEST_F(UZTDecoderTest, WholeStreamsEqualTheStreamDecoder) {
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
    size_t at = 0;
    const ReadBytes read = [&](char* buffer, size_t n) {
      const size_t most = long_input ? n : 1 + rng_() % 7;
      const size_t got = std::min({n, uzt.size() - at, most});
      std::copy_n(uzt.data() + at, got, buffer);
      at += got;
      return got;
    };
    const WriteBytes write = [&](const std::string& b) { bytes += b; };
    for (const bool to_utf8 : {true, false}) {
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
      ASSERT_EQ(streamed, direct) << "round " << round;
    }
  }
}

}  // namespace

}  // namespace urdulex::internal
