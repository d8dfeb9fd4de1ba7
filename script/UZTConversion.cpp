// Conversion of one string at a time between Unicode text and UZT bytes.
//
// A UZT string has two code plates. The escape byte 254 followed by '0'
// selects the UZT plate, followed by '1' the ASCII plate; every string starts
// in the UZT plate and the encoder always ends it there. A few characters are
// written as fixed sequences that take precedence over the tables, and the
// decoder applies them whatever the tables say.

#include <cstddef>
#include <string>

#include "foundation/TARNIException.h"
#include "foundation/Utility.h"
#include "script/LexEnigneUtility.h"
#include "script/UrduCharSet.h"

namespace {

const char kModule[] = "LexEnigneUtility";

constexpr unsigned char kEscape = 254;
constexpr unsigned char kUztPlate = '0';
constexpr unsigned char kAsciiPlate = '1';

// Plate classes of the class table.
constexpr unsigned char kClassAscii = 'A';
constexpr unsigned char kClassUzt = 'U';
constexpr unsigned char kClassNeutral = 'N';
constexpr unsigned char kClassSpecial = 'X';

// Fixed bytes of the UZT plate.
constexpr unsigned char kUztLeftBracket = 0xC0;
constexpr unsigned char kUztRightBracket = 0xC2;
constexpr unsigned char kUztVerticalLine = 0xC5;
constexpr unsigned char kUztHehGoal = 'u';
constexpr unsigned char kUztHamzaMark = 'C';  // after heh goal
constexpr unsigned char kUztYehBarree = 'y';
constexpr unsigned char kUztYehHamza = 'w';
constexpr unsigned char kUztSpace = ' ';

// Characters with fixed sequences.
constexpr wchar_t kTatweel = 0x0640;
constexpr wchar_t kYehHamza = 0x0626;
constexpr wchar_t kHamza = 0x0621;
constexpr wchar_t kYehBarreeHamza = 0x06D3;
constexpr wchar_t kHehGoalHamza = 0x06C2;
constexpr wchar_t kHehGoal = 0x06C1;
constexpr wchar_t kYehBarree = 0x06D2;

std::string CodeText(int code) { return WString2String(int2wstring(code)); }

// Output goes through a local batch of this many units before it is
// appended to the string: the string grows as if appended unit by unit, at a
// fraction of the cost. One character gives at most kMaxBytesPerChar bytes
// (escape, plate byte and the three bytes of hamza).
constexpr size_t kBatch = 512;
constexpr size_t kMaxBytesPerChar = 5;

// Bytes of the UZT plate that the fixed rules decode, not the table.
struct FixedUztBytes {
  bool is[256] = {};
  constexpr FixedUztBytes() {
    for (unsigned char b :
         {kEscape, kUztLeftBracket, kUztRightBracket, kUztVerticalLine,
          kUztHehGoal, kUztYehBarree, kUztYehHamza}) {
      is[b] = true;
    }
  }
};
constexpr FixedUztBytes kFixedUzt;

// The plate the classes "U", "A" and "N" ask for; the others are handled
// one by one.
constexpr unsigned char kNoPlate = 0;
constexpr unsigned char kUztOnly = 1;
constexpr unsigned char kAsciiOnly = 2;
constexpr unsigned char kEitherPlate = 3;
struct PlateOfClass {
  unsigned char of[256] = {};
  constexpr PlateOfClass() {
    of[kClassUzt] = kUztOnly;
    of[kClassAscii] = kAsciiOnly;
    of[kClassNeutral] = kEitherPlate;
  }
};
constexpr PlateOfClass kPlateOfClass;

}  // namespace

void LexEnigneUtility::SetUnicodeUZTInterMapping(UniChar2IndexMap* indexMap,
                                                 unsigned char** tables,
                                                 int count,
                                                 unsigned short* uztToUnicode) {
  unicodeIndexMap = indexMap;
  uztByteTable = tables == nullptr ? nullptr : tables[0];
  plateClassTable = tables == nullptr ? nullptr : tables[1];
  uztUnicodeTable = uztToUnicode;
  mappingCount = count;
}

bool LexEnigneUtility::ConvertUnicode2UZT(const std::wstring& text,
                                          std::string& uzt) const {
  uzt.clear();
  if (text.empty()) return true;
  if (!HasMapping()) {
    throw TARNIException(kModule, __LINE__, kErrorGeneral,
                         "Unicode to UZT mapping undefined.");
  }
  uzt.reserve(text.size());
  // Locals, so that the byte stores below cannot alias them.
  const UniChar2IndexMap& map = *unicodeIndexMap;
  const unsigned char* const codes = uztByteTable;
  const unsigned char* const classes = plateClassTable;
  char batch[kBatch + kMaxBytesPerChar];
  size_t k = 0;
  bool ascii = false;
  for (const wchar_t ch : text) {
    if (k >= kBatch) {
      uzt.append(batch, k);
      k = 0;
    }
    const unsigned short idx = map.GetIndex(ch);
    if (idx == UniChar2IndexMap::kNoIndex) {
      uzt.clear();
      throw InvalidFormatException(
          kModule, __LINE__, kErrorInvalidFormat,
          "Unknown Unicode char found. Code (" + CodeText(ch) + ").");
    }
    const unsigned char cls = classes[idx];
    const unsigned char plate = kPlateOfClass.of[cls];
    if (plate != kNoPlate) {
      // Computed without branching on the class: in Urdu text the classes
      // alternate with every word, which no branch predictor follows.
      const bool want_ascii =
          (plate == kAsciiOnly) | ((plate == kEitherPlate) & ascii);
      if (want_ascii != ascii) {
        batch[k++] = static_cast<char>(kEscape);
        batch[k++] = static_cast<char>(want_ascii ? kAsciiPlate : kUztPlate);
        ascii = want_ascii;
      }
      batch[k++] = static_cast<char>(codes[idx]);
    } else if (cls == kClassSpecial) {
      if (ch == L'[' || ch == L']' || ch == L'|') {
        if (ascii) {
          batch[k++] = static_cast<char>(ch);
        } else {
          batch[k++] = static_cast<char>(ch == L'['   ? kUztLeftBracket
                                         : ch == L']' ? kUztRightBracket
                                                      : kUztVerticalLine);
        }
      } else if (ch == kTatweel) {
        // Tatweel only stretches a joint; UZT has no byte for it.
      } else if (ch == kYehHamza || ch == kHamza || ch == kYehBarreeHamza ||
                 ch == kHehGoalHamza) {
        if (ascii) {
          batch[k++] = static_cast<char>(kEscape);
          batch[k++] = static_cast<char>(kUztPlate);
          ascii = false;
        }
        if (ch == kYehHamza) {
          batch[k++] = static_cast<char>(kUztYehHamza);
        } else if (ch == kHamza) {
          batch[k++] = static_cast<char>(kUztSpace);
          batch[k++] = static_cast<char>(kUztYehHamza);
          batch[k++] = static_cast<char>(kUztSpace);
        } else if (ch == kYehBarreeHamza) {
          batch[k++] = static_cast<char>(kUztYehBarree);
          batch[k++] = static_cast<char>(kUztYehHamza);
        } else {
          batch[k++] = static_cast<char>(kUztHehGoal);
          batch[k++] = static_cast<char>(kUztHamzaMark);
        }
      } else {
        uzt.clear();
        throw TARNIException(kModule, __LINE__, kErrorGeneral,
                             "Unknown Unicode (Special) char found. Code (" +
                                 CodeText(ch) + ").");
      }
    } else {
      uzt.clear();
      throw TARNIException(kModule, __LINE__, kErrorGeneral,
                           "No UZT mapping defined for Unicode char. Code (" +
                               CodeText(ch) + ").");
    }
  }
  if (ascii) {
    batch[k++] = static_cast<char>(kEscape);
    batch[k++] = static_cast<char>(kUztPlate);
  }
  uzt.append(batch, k);
  return true;
}

bool LexEnigneUtility::ConvertUZT2Unicode(const std::string& uzt,
                                          std::wstring& text) const {
  text.clear();
  if (uzt.empty()) return true;
  if (!HasMapping()) {
    throw TARNIException(kModule, __LINE__, kErrorGeneral,
                         "UZT to Unicode mapping undefined.");
  }
  text.reserve(uzt.size());
  const unsigned short* const table = uztUnicodeTable;
  const unsigned char* const bytes =
      reinterpret_cast<const unsigned char*>(uzt.data());
  const std::string::size_type n = uzt.size();
  wchar_t batch[kBatch];
  size_t k = 0;
  bool ascii = false;
  unsigned char prev = 0;
  std::string::size_type i = 0;
  while (i < n) {
    if (k == kBatch) {
      text.append(batch, k);
      k = 0;
    }
    const unsigned char b = bytes[i];
    if (!ascii && !kFixedUzt.is[b]) {  // most bytes: one table read
      const unsigned short u = table[b];
      if (u == 0) {
        text.clear();
        throw TARNIException(kModule, __LINE__, kErrorGeneral,
                             "No Unicode mapping defined for UZT char. Code (" +
                                 CodeText(b) + ").");
      }
      batch[k++] = static_cast<wchar_t>(u);
      prev = b;
      ++i;
      continue;
    }
    const unsigned char next = i + 1 < n ? bytes[i + 1] : 0;
    std::string::size_type step = 1;
    if (b == kEscape) {
      if (next == kUztPlate) {
        ascii = false;
      } else if (next == kAsciiPlate) {
        ascii = true;
      } else {
        text.append(batch, k);  // the caller keeps what was decoded so far
        throw InvalidFormatException(
            kModule, __LINE__, kErrorInvalidFormat,
            "Unknown code-plate: Code (" + CodeText(next) + ").");
      }
      step = 2;
    } else if (ascii) {
      batch[k++] = static_cast<wchar_t>(b);
    } else if (b == kUztLeftBracket) {
      batch[k++] = L'[';
    } else if (b == kUztRightBracket) {
      batch[k++] = L']';
    } else if (b == kUztVerticalLine) {
      batch[k++] = L'|';
    } else if (b == kUztHehGoal) {
      if (next == kUztHamzaMark) {
        batch[k++] = kHehGoalHamza;
        step = 2;
      } else {
        batch[k++] = kHehGoal;
      }
    } else if (b == kUztYehBarree) {
      if (next == kUztYehHamza) {
        batch[k++] = kYehBarreeHamza;
        step = 2;
      } else {
        batch[k++] = kYehBarree;
      }
    } else if (prev == kUztSpace && next == kUztSpace) {  // "w"
      // " w " is a hamza: the space before it belongs to the sequence.
      if (k > 0) {
        --k;
      } else if (!text.empty()) {
        text.pop_back();
      }
      batch[k++] = kHamza;
      step = 2;
    } else {
      batch[k++] = kYehHamza;
    }
    prev = b;
    i += step;
  }
  text.append(batch, k);
  return true;
}
