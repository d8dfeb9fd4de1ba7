#include "script/UZTMapping.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/FileReader.h"
#include "foundation/Quote.h"
#include "foundation/TARNIException.h"

namespace {

const char kModule[] = "UZTMapping";

constexpr unsigned int kMaxCodePoint = 0xFFFF;  // the index map keys 16 bits
constexpr int kMaxCodePointDigits = 6;
constexpr unsigned char kEscape = 254;
constexpr unsigned char kSpaceByte = 0x20;
constexpr unsigned char kHehGoalByte = 'u';
constexpr unsigned char kYehBarreeByte = 'y';
constexpr unsigned int kSpace = 0x0020;
constexpr unsigned int kHehGoal = 0x06C1;
constexpr unsigned int kYehBarree = 0x06D2;

std::string Hex(unsigned int value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}
std::string CodeName(unsigned int cp) { return "U+" + Hex(cp, 4); }
std::string ByteName(unsigned int b) { return "0x" + Hex(b, 2); }

[[noreturn]] void Fail(int source_line, int line, const std::string& what) {
  throw InvalidFormatException(kModule, source_line, kErrorInvalidFormat,
                               "line " + std::to_string(line) + ": " + what);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "U+" and 1 to 6 hex digits.
bool ParseCodePoint(const std::string& token, unsigned int* cp) {
  if (token.size() < 3 || token.size() > 2 + kMaxCodePointDigits ||
      token[0] != 'U' || token[1] != '+') {
    return false;
  }
  unsigned int value = 0;
  for (std::string::size_type i = 2; i < token.size(); ++i) {
    const int d = HexDigit(token[i]);
    if (d < 0) return false;
    value = value * 16 + static_cast<unsigned int>(d);
  }
  *cp = value;
  return true;
}

// "0x" and 1 or 2 hex digits, or 1 to 3 decimal digits, at most 255.
bool ParseByte(const std::string& token, unsigned int* byte) {
  unsigned int value = 0;
  if (token.size() > 2 && token[0] == '0' &&
      (token[1] == 'x' || token[1] == 'X')) {
    if (token.size() > 4) return false;
    for (std::string::size_type i = 2; i < token.size(); ++i) {
      const int d = HexDigit(token[i]);
      if (d < 0) return false;
      value = value * 16 + static_cast<unsigned int>(d);
    }
  } else {
    if (token.empty() || token.size() > 3) return false;
    for (char c : token) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<unsigned int>(c - '0');
    }
  }
  if (value > 0xFF) return false;
  *byte = value;
  return true;
}

bool HasFixedSequence(unsigned int cp) {
  return cp == 0x0621 || cp == 0x0626 || cp == 0x0640 || cp == 0x06C2 ||
         cp == 0x06D3;
}

bool IsSpecial(unsigned int cp) {
  return cp == '[' || cp == ']' || cp == '|' || HasFixedSequence(cp);
}

// What the decoder makes of a byte of the UZT plate before it looks at the
// table, or 0 when the table decides. 'u' and 'y' are heh goal and yeh
// barree, which the mapping itself must give those bytes.
unsigned int FixedUztByte(unsigned int b) {
  switch (b) {
    case 0xC0:
      return '[';
    case 0xC2:
      return ']';
    case 0xC5:
      return '|';
    case 'w':
      return 0x0626;
    case kHehGoalByte:
      return kHehGoal;
    case kYehBarreeByte:
      return kYehBarree;
    default:
      return 0;
  }
}

struct Entry {
  unsigned int cp;
  unsigned int byte;
  unsigned char cls;
};

std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> tokens;
  std::string::size_type i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::string::size_type start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

}  // namespace

void UZTMapping::Clear() {
  index_map_.Clear();
  byte_table_.clear();
  class_table_.clear();
  for (unsigned short& u : unicode_table_) u = 0;
  tables_[0] = tables_[1] = nullptr;
}

void UZTMapping::Load(const std::string& path) {
  Clear();
  std::string text;
  try {
    FileReader reader;
    reader.Open(path, FileReader::ASCII);
    const int64_t size = reader.FileSize();
    if (size > kMaxFileSize) {
      throw InvalidFormatException(kModule, __LINE__, kErrorInvalidFormat,
                                   "file is larger than " +
                                       std::to_string(kMaxFileSize) +
                                       " bytes; it is not a mapping");
    }
    text.resize(static_cast<std::string::size_type>(size));
    if (size > 0 &&
        (!reader.Read(&text[0], static_cast<int>(size)) || reader.EoF())) {
      throw IOException(kModule, __LINE__, kErrorFileRead,
                        "Could not read the whole mapping file.");
    }
  } catch (IOException& e) {
    e.SetFileName(kModule);
    e.SetExceptionMsg("cannot read mapping file " +
                      urdulex::internal::QuoteName(path) + ": " +
                      e.GetExceptionMsg());
    throw;
  }
  Parse(text);
}

void UZTMapping::Parse(const std::string& text) {
  Clear();
  std::vector<Entry> entries;
  std::vector<int> line_of_code(kMaxCodePoint + 1, 0);  // 0: not yet mapped
  int line_of_byte[256] = {};  // UZT-plate bytes taken by class U and N
  int space_line = 0;

  std::string::size_type pos = 0;
  int line_number = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
  while (pos < text.size()) {
    ++line_number;
    std::string::size_type end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    const std::string::size_type hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> tokens = Tokens(line);
    if (tokens.empty()) continue;
    const int n = line_number;
    if (tokens.size() != 3) {
      Fail(__LINE__, n,
           "expected a code point, a UZT byte and a plate class, as in "
           "\"U+0627 0xC7 U\"");
    }
    Entry e;
    if (!ParseCodePoint(tokens[0], &e.cp)) {
      Fail(__LINE__, n, "bad code point \"" + tokens[0] + "\" (write U+XXXX)");
    }
    if (e.cp == 0 || e.cp > kMaxCodePoint) {
      Fail(__LINE__, n,
           "code point " + tokens[0] + " is outside U+0001-U+FFFF");
    }
    if (e.cp >= 0xD800 && e.cp <= 0xDFFF) {
      // Decoded alone it would make the Unicode output invalid.
      Fail(__LINE__, n,
           "code point " + tokens[0] + " is a surrogate, not a character");
    }
    const std::string& cls = tokens[2];
    if (cls != "A" && cls != "U" && cls != "N" && cls != "X") {
      Fail(__LINE__, n,
           "unknown plate class \"" + cls + "\" (use A, U, N or X)");
    }
    e.cls = static_cast<unsigned char>(cls[0]);
    e.byte = 0;
    if (tokens[1] == "-") {
      if (e.cls != 'X') {
        Fail(__LINE__, n, "class " + cls + " needs a UZT byte");
      }
    } else if (!ParseByte(tokens[1], &e.byte)) {
      Fail(__LINE__, n,
           "bad UZT byte \"" + tokens[1] + "\" (write 0x00-0xFF or 0-255)");
    }
    const std::string who = CodeName(e.cp);
    if (line_of_code[e.cp] != 0) {
      Fail(__LINE__, n,
           who + " is already mapped on line " +
               std::to_string(line_of_code[e.cp]));
    }
    line_of_code[e.cp] = n;

    if (e.cls == 'X') {
      if (!IsSpecial(e.cp)) {
        Fail(__LINE__, n,
             who +
                 " cannot be class X: only [ ] | U+0621 U+0626 U+0640 "
                 "U+06C2 U+06D3 have fixed sequences");
      }
      e.byte = 0;  // not used by the encoder
      entries.push_back(e);
      continue;
    }
    if (HasFixedSequence(e.cp)) {
      Fail(__LINE__, n,
           who + " is written by a fixed sequence and must be class X");
    }
    if (e.byte == kEscape) {
      Fail(__LINE__, n,
           "byte 0xFE is the code-plate escape and never stands for a "
           "character");
    }
    if (e.cp == kHehGoal && (e.cls != 'U' || e.byte != kHehGoalByte)) {
      Fail(__LINE__, n,
           "U+06C1 (heh goal) must be class U with byte 0x75 (\"u\"), the "
           "byte the decoder reads as heh goal");
    }
    if (e.cp == kYehBarree && (e.cls != 'U' || e.byte != kYehBarreeByte)) {
      Fail(__LINE__, n,
           "U+06D2 (yeh barree) must be class U with byte 0x79 (\"y\"), the "
           "byte the decoder reads as yeh barree");
    }
    if (e.cp == kSpace) {
      if (e.byte != kSpaceByte || e.cls == 'A') {
        Fail(__LINE__, n,
             "U+0020 (space) must be class N or U with byte 0x20: hamza is "
             "written as the UZT-plate bytes \" w \"");
      }
      space_line = n;
    }
    if ((e.cls == 'A' || e.cls == 'N') && e.byte != e.cp) {
      Fail(__LINE__, n,
           "class " + cls + " needs the character's own value as its byte (" +
               who + (e.cp <= 0xFF ? " -> " + ByteName(e.cp) : " has none") +
               "): the ASCII plate reads every byte as itself");
    }
    if (e.cls != 'A') {
      const unsigned int fixed = FixedUztByte(e.byte);
      if (fixed != 0 && fixed != e.cp) {
        Fail(__LINE__, n,
             "byte " + ByteName(e.byte) +
                 " is fixed in the UZT plate (it reads as " + CodeName(fixed) +
                 ")");
      }
      if (line_of_byte[e.byte] != 0) {
        Fail(__LINE__, n,
             "byte " + ByteName(e.byte) +
                 " already stands for another character on line " +
                 std::to_string(line_of_byte[e.byte]) +
                 "; the two directions must describe the same pairs");
      }
      line_of_byte[e.byte] = n;
    }
    entries.push_back(e);
  }
  if (space_line == 0) {
    throw InvalidFormatException(
        kModule, __LINE__, kErrorInvalidFormat,
        "no line maps U+0020 (space) to byte 0x20; hamza is written as the "
        "UZT-plate bytes \" w \"");
  }

  for (const Entry& e : entries) {
    index_map_.Insert(static_cast<unsigned short>(e.cp));
    byte_table_.push_back(static_cast<unsigned char>(e.byte));
    class_table_.push_back(e.cls);
    if (e.cls == 'U' || e.cls == 'N') {
      unicode_table_[e.byte] = static_cast<unsigned short>(e.cp);
    }
  }
  index_map_.SetAlphabetSize(Size());
  index_map_.SetNumValidChars(Size());
}

void UZTMapping::Install(LexEnigneUtility& utility) {
  tables_[0] = byte_table_.data();
  tables_[1] = class_table_.data();
  utility.SetUnicodeUZTInterMapping(&index_map_, tables_, Size(),
                                    unicode_table_);
}
