// Fuzz target for the UZT code: the mapping file parser and the decoder of
// untrusted UZT bytes, each compared with a second way of doing the same.
//
// The first input byte picks the case:
//   0: the rest is a mapping file. Parse must accept or throw, never crash;
//      an accepted mapping must convert its own characters both ways.
//   1: the rest is UZT bytes. Decoding them whole with the test mapping and
//      decoding them in chunks (as uztconv does) must agree, in the result
//      or in refusing; dropping the refused bytes must agree in any chunks.
//   2: the rest is UTF-16LE text. Encoding it whole and in chunks must give
//      the same bytes, or both refuse.
// In cases 1 and 2 the whole-stream conversions of `urdu uzt`, read in
// pieces of 1 to 7 bytes, must agree too.
// Without libFuzzer, fuzz/FuzzReplayMain.cpp replays the files named on the
// command line.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/TARNIException.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"
#include "text/UZTDecoder.h"
#include "text/UZTEncoder.h"

namespace {

using namespace urdulex::internal;

// Runs EncodeUZTStream or DecodeUZTStream on `input` read in short pieces;
// false when it throws StreamError.
template <typename Convert>
bool RunStream(const std::string& input, std::string* out, Convert&& convert) {
  size_t at = 0;
  const ReadBytes read = [&](char* buffer, size_t n) {
    const size_t got = std::min({n, input.size() - at, 1 + at % 7});
    std::copy_n(input.data() + at, got, buffer);
    at += got;
    return got;
  };
  const WriteBytes write = [&](const std::string& bytes) { *out += bytes; };
  out->clear();
  try {
    convert(read, write);
  } catch (const StreamError&) {
    return false;
  }
  return true;
}

// The low 16 bits of each character, low byte first.
std::string Utf16(const std::wstring& text) {
  std::string bytes;
  for (const wchar_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>((c >> 8) & 0xFF);
  }
  return bytes;
}

// Inputs beyond this add nothing the small ones do not reach.
constexpr size_t kMaxInput = 1 << 16;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "uzt_fuzzer: %s\n", what);
  std::abort();
}

const UZTMapping& TestMapping() {
  static UZTMapping* mapping = [] {
    auto* m = new UZTMapping;
    m->Load(URDULEX_SOURCE_DIR "/data/uzt/test-mapping.txt");
    return m;
  }();
  return *mapping;
}

void FuzzMapping(const std::string& text) {
  UZTMapping mapping;
  try {
    mapping.Parse(text);
  } catch (const InvalidFormatException&) {
    if (mapping.Size() != 0) Fail("refused mapping left tables behind");
    return;
  }
  LexEnigneUtility util;
  mapping.Install(util);
  // Every mapped character but tatweel, alone, converts both ways.
  for (int c = 1; c <= 0xFFFF; ++c) {
    const wchar_t ch = static_cast<wchar_t>(c);
    if (mapping.PlateClass(ch) == UZTMapping::kNoClass || c == 0x0640) {
      continue;
    }
    std::string uzt;
    std::wstring back;
    util.ConvertUnicode2UZT(std::wstring(1, ch), uzt);
    util.ConvertUZT2Unicode(uzt, back);
    if (back != std::wstring(1, ch)) Fail("mapped character not restored");
  }
}

void FuzzDecode(const std::string& bytes) {
  LexEnigneUtility util;
  const UZTMapping& mapping = TestMapping();
  const_cast<UZTMapping&>(mapping).Install(util);
  std::wstring whole;
  bool whole_failed = false;
  try {
    util.ConvertUZT2Unicode(bytes, whole);
  } catch (const TARNIException&) {
    whole_failed = true;
  }
  for (size_t chunk : {2, 3, 17}) {
    UZTStreamDecoder decoder(mapping, util, chunk);
    std::wstring out;
    bool failed = false;
    try {
      for (size_t i = 0; i < bytes.size(); i += 5) {
        decoder.Put(bytes.data() + i, std::min<size_t>(5, bytes.size() - i),
                    out);
      }
      decoder.Finish(out);
    } catch (const StreamError&) {
      failed = true;
    }
    if (failed != whole_failed) Fail("chunked decoding refused differently");
    if (!failed && out != whole) Fail("chunked decoding differs");
  }
  // Dropping the bytes that cannot be decoded never fails, gives the same
  // text in chunks of any size, and the whole text when none is refused.
  std::wstring first;
  for (size_t chunk : {size_t{1}, size_t{3}, UZTStreamDecoder::kDefaultChunk}) {
    UZTStreamDecoder decoder(mapping, util, chunk);
    decoder.SetOnError(OnError{OnError::kSkip, L'?'});
    std::wstring out;
    try {
      for (size_t i = 0; i < bytes.size(); i += 5) {
        decoder.Put(bytes.data() + i, std::min<size_t>(5, bytes.size() - i),
                    out);
      }
      decoder.Finish(out);
    } catch (const StreamError&) {
      Fail("decoding with skip refused");
    }
    if (chunk == 1) first = out;
    if (out != first) Fail("chunked decoding with skip differs");
    if (!whole_failed && out != whole) Fail("skip changed sound input");
  }
  std::string stream;
  const bool ok = RunStream(bytes, &stream, [&](auto& read, auto& write) {
    DecodeUZTStream(mapping, util, false, read, write);
  });
  if (ok == whole_failed) Fail("whole-stream decoding refused differently");
  if (ok && stream != "\xFF\xFE" + Utf16(whole)) {
    Fail("whole-stream decoding differs");
  }
  RunStream(bytes, &stream, [&](auto& read, auto& write) {
    DecodeUZTStream(mapping, util, false, read, write,
                    OnError{OnError::kSkip, L'?'});
  });
  if (stream != "\xFF\xFE" + Utf16(first)) {
    Fail("whole-stream decoding with skip differs");
  }
}

void FuzzEncode(const std::string& bytes) {
  LexEnigneUtility util;
  const UZTMapping& mapping = TestMapping();
  const_cast<UZTMapping&>(mapping).Install(util);
  std::wstring text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(
        static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                             static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  std::string whole;
  bool whole_failed = false;
  try {
    util.ConvertUnicode2UZT(text, whole);
  } catch (const TARNIException&) {
    whole_failed = true;
  }
  for (size_t chunk : {0, 1, 7}) {
    UZTStreamEncoder encoder(mapping, util, chunk);
    std::string out;
    bool failed = false;
    try {
      for (size_t i = 0; i < text.size(); ++i) {
        encoder.Put(static_cast<char32_t>(text[i]), static_cast<int64_t>(i),
                    out);
      }
      encoder.Finish(out);
    } catch (const StreamError&) {
      failed = true;
    }
    if (failed != whole_failed) Fail("chunked encoding refused differently");
    if (!failed && out != whole) Fail("chunked encoding differs");
  }
  // Surrogates are pairs or malformed to the stream reader.
  for (const wchar_t c : text) {
    if (c >= 0xD800 && c <= 0xDFFF) return;
  }
  std::string stream;
  const bool ok = RunStream("\xFF\xFE" + Utf16(text), &stream,
                            [&](auto& read, auto& write) {
                              EncodeUZTStream(mapping, util, read, write);
                            });
  if (ok == whole_failed) Fail("whole-stream encoding refused differently");
  if (ok && stream != whole) Fail("whole-stream encoding differs");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > kMaxInput) return 0;
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      FuzzMapping(rest);
      break;
    case 1:
      FuzzDecode(rest);
      break;
    default:
      FuzzEncode(rest);
      break;
  }
  return 0;
}
