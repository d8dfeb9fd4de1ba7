// Fuzz target for the UZT mapping file loader and the conversions that use
// what it loads. The mapping part of the input is written to a scratch file
// and loaded by name with UZTMapping::Load; it must be accepted or refused
// with InvalidFormatException exactly as Parse treats the same bytes, and an
// accepted mapping must classify every 16-bit character as Parse's does.
// Through an accepted mapping the rest of the input is then decoded as UZT
// bytes and encoded as UTF-16LE text; each conversion may refuse with one of
// the library's exceptions, never crash, hang or leak. Text that decoded
// must decode again to itself after an encoding that succeeds.
//
// Input layout: the mapping file, then optionally 0x00 0x00 0x00 0x00 and the
// bytes to convert.
//
// Built with libFuzzer under clang; otherwise with the replay main of
// fuzz/FuzzReplayMain.cpp.

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <cstdio>
#include <string>

#include "foundation/TARNIException.h"
#include "fuzz/FuzzUtil.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"

namespace {

// Larger inputs add nothing the small ones do not reach.
constexpr size_t kMaxInput = 1 << 16;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "uztmapping_fuzzer: %s\n", what);
  std::abort();
}

// Loads `text` by name; false when the loader refuses it.
bool LoadThroughFile(const std::string& text, UZTMapping* mapping) {
  static urdulex::fuzz::ScratchFile scratch("uztmapping_fuzz");
  scratch.Write(text.data(), text.size());
  try {
    mapping->Load(scratch.path());
  } catch (const InvalidFormatException&) {
    if (mapping->Size() != 0) Fail("refused file left tables behind");
    return false;
  }
  return true;
}

bool ParseText(const std::string& text, UZTMapping* mapping) {
  try {
    mapping->Parse(text);
  } catch (const InvalidFormatException&) {
    return false;
  }
  return true;
}

void Convert(UZTMapping& mapping, const std::string& bytes) {
  LexEnigneUtility util;
  mapping.Install(util);

  std::wstring text;
  bool decoded = true;
  try {
    util.ConvertUZT2Unicode(bytes, text);
  } catch (const TARNIException&) {
    decoded = false;
  }
  if (decoded) {
    std::string uzt;
    bool encoded = true;
    try {
      util.ConvertUnicode2UZT(text, uzt);
    } catch (const TARNIException&) {
      encoded = false;
    }
    if (encoded) {
      std::wstring again;
      try {
        util.ConvertUZT2Unicode(uzt, again);
      } catch (const TARNIException&) {
        Fail("encoded text does not decode");
      }
      if (again != text) Fail("decoded text changes in a round trip");
    }
  }

  std::wstring units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(
        static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                             static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  std::string uzt;
  try {
    util.ConvertUnicode2UZT(units, uzt);
  } catch (const TARNIException&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  size_t mapping_size = size;
  static const uint8_t kSeparator[4] = {0, 0, 0, 0};
  for (size_t i = 0; i + 4 <= size; ++i) {
    if (memcmp(data + i, kSeparator, 4) == 0) {
      mapping_size = i;
      break;
    }
  }
  const char* chars = reinterpret_cast<const char*>(data);
  const std::string text(chars, mapping_size);
  const std::string rest =
      mapping_size + 4 <= size
          ? std::string(chars + mapping_size + 4, size - mapping_size - 4)
          : std::string();

  UZTMapping loaded;
  UZTMapping parsed;
  const bool load_ok = LoadThroughFile(text, &loaded);
  if (load_ok != ParseText(text, &parsed)) Fail("Load and Parse disagree");
  if (!load_ok) return 0;
  if (loaded.Size() != parsed.Size()) Fail("Load and Parse sizes differ");
  for (int c = 0; c <= 0xFFFF; ++c) {
    const wchar_t ch = static_cast<wchar_t>(c);
    if (loaded.PlateClass(ch) != parsed.PlateClass(ch)) {
      Fail("Load and Parse classify a character differently");
    }
  }
  for (int b = 0; b < 256; ++b) {
    const unsigned char byte = static_cast<unsigned char>(b);
    if (loaded.UnicodeForByte(byte) != parsed.UnicodeForByte(byte)) {
      Fail("Load and Parse decode a byte differently");
    }
  }
  Convert(loaded, rest);
  return 0;
}
