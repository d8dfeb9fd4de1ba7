// Conversion of one string at a time between Unicode text and UZT bytes.
//
// A UZT string has two code plates. The escape byte 254 followed by '0'
// selects the UZT plate, followed by '1' the ASCII plate; every string starts
// in the UZT plate and the encoder always ends it there. A few characters are
// written as fixed sequences that take precedence over the tables, and the
// decoder applies them whatever the tables say.

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

void AppendSwitch(std::string& uzt, unsigned char plate) {
  uzt.push_back(static_cast<char>(kEscape));
  uzt.push_back(static_cast<char>(plate));
}

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
  if (unicodeIndexMap == nullptr || uztByteTable == nullptr ||
      plateClassTable == nullptr || uztUnicodeTable == nullptr ||
      mappingCount == 0) {
    throw TARNIException(kModule, __LINE__, kErrorGeneral,
                         "Unicode to UZT mapping undefined.");
  }
  uzt.reserve(text.size());
  bool ascii = false;
  for (const wchar_t ch : text) {
    const unsigned short idx = unicodeIndexMap->GetIndex(ch);
    if (idx == UniChar2IndexMap::kNoIndex) {
      uzt.clear();
      throw InvalidFormatException(
          kModule, __LINE__, kErrorInvalidFormat,
          "Unknown Unicode char found. Code (" + CodeText(ch) + ").");
    }
    switch (plateClassTable[idx]) {
      case kClassAscii:
        if (!ascii) {
          AppendSwitch(uzt, kAsciiPlate);
          ascii = true;
        }
        uzt.push_back(static_cast<char>(uztByteTable[idx]));
        break;
      case kClassUzt:
        if (ascii) {
          AppendSwitch(uzt, kUztPlate);
          ascii = false;
        }
        uzt.push_back(static_cast<char>(uztByteTable[idx]));
        break;
      case kClassNeutral:
        uzt.push_back(static_cast<char>(uztByteTable[idx]));
        break;
      case kClassSpecial:
        if (ch == L'[' || ch == L']' || ch == L'|') {
          if (ascii) {
            uzt.push_back(static_cast<char>(ch));
          } else {
            uzt.push_back(static_cast<char>(ch == L'['   ? kUztLeftBracket
                                            : ch == L']' ? kUztRightBracket
                                                         : kUztVerticalLine));
          }
        } else if (ch == kTatweel) {
          // Tatweel only stretches a joint; UZT has no byte for it.
        } else if (ch == kYehHamza || ch == kHamza || ch == kYehBarreeHamza ||
                   ch == kHehGoalHamza) {
          if (ascii) {
            AppendSwitch(uzt, kUztPlate);
            ascii = false;
          }
          if (ch == kYehHamza) {
            uzt.push_back(static_cast<char>(kUztYehHamza));
          } else if (ch == kHamza) {
            uzt.push_back(static_cast<char>(kUztSpace));
            uzt.push_back(static_cast<char>(kUztYehHamza));
            uzt.push_back(static_cast<char>(kUztSpace));
          } else if (ch == kYehBarreeHamza) {
            uzt.push_back(static_cast<char>(kUztYehBarree));
            uzt.push_back(static_cast<char>(kUztYehHamza));
          } else {
            uzt.push_back(static_cast<char>(kUztHehGoal));
            uzt.push_back(static_cast<char>(kUztHamzaMark));
          }
        } else {
          uzt.clear();
          throw TARNIException(kModule, __LINE__, kErrorGeneral,
                               "Unknown Unicode (Special) char found. Code (" +
                                   CodeText(ch) + ").");
        }
        break;
      default:
        uzt.clear();
        throw TARNIException(kModule, __LINE__, kErrorGeneral,
                             "No UZT mapping defined for Unicode char. Code (" +
                                 CodeText(ch) + ").");
    }
  }
  if (ascii) AppendSwitch(uzt, kUztPlate);
  return true;
}

bool LexEnigneUtility::ConvertUZT2Unicode(const std::string& uzt,
                                          std::wstring& text) const {
  text.clear();
  if (uzt.empty()) return true;
  if (unicodeIndexMap == nullptr || uztByteTable == nullptr ||
      plateClassTable == nullptr || uztUnicodeTable == nullptr ||
      mappingCount == 0) {
    throw TARNIException(kModule, __LINE__, kErrorGeneral,
                         "UZT to Unicode mapping undefined.");
  }
  text.reserve(uzt.size());
  const unsigned char* bytes =
      reinterpret_cast<const unsigned char*>(uzt.data());
  const std::string::size_type n = uzt.size();
  bool ascii = false;
  unsigned char prev = 0;
  std::string::size_type i = 0;
  while (i < n) {
    const unsigned char b = bytes[i];
    const unsigned char next = i + 1 < n ? bytes[i + 1] : 0;
    std::string::size_type step = 1;
    if (b == kEscape) {
      if (next == kUztPlate) {
        ascii = false;
      } else if (next == kAsciiPlate) {
        ascii = true;
      } else {
        throw InvalidFormatException(
            kModule, __LINE__, kErrorInvalidFormat,
            "Unknown code-plate: Code (" + CodeText(next) + ").");
      }
      step = 2;
    } else if (ascii) {
      text.push_back(static_cast<wchar_t>(b));
    } else {
      switch (b) {
        case kUztLeftBracket:
          text.push_back(L'[');
          break;
        case kUztRightBracket:
          text.push_back(L']');
          break;
        case kUztVerticalLine:
          text.push_back(L'|');
          break;
        case kUztHehGoal:
          if (next == kUztHamzaMark) {
            text.push_back(kHehGoalHamza);
            step = 2;
          } else {
            text.push_back(kHehGoal);
          }
          break;
        case kUztYehBarree:
          if (next == kUztYehHamza) {
            text.push_back(kYehBarreeHamza);
            step = 2;
          } else {
            text.push_back(kYehBarree);
          }
          break;
        case kUztYehHamza:
          if (prev == kUztSpace && next == kUztSpace) {
            // " w " is a hamza: the space before it belongs to the sequence.
            if (!text.empty()) text.pop_back();
            text.push_back(kHamza);
            step = 2;
          } else {
            text.push_back(kYehHamza);
          }
          break;
        default: {
          const unsigned short u = uztUnicodeTable[b];
          if (u == 0) {
            text.clear();
            throw TARNIException(
                kModule, __LINE__, kErrorGeneral,
                "No Unicode mapping defined for UZT char. Code (" +
                    CodeText(b) + ").");
          }
          text.push_back(static_cast<wchar_t>(u));
        }
      }
    }
    prev = b;
    i += step;
  }
  return true;
}
