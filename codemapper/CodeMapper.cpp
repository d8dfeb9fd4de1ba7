#include "codemapper/CodeMapper.h"

#include <cstdint>
#include <cstring>
#include <iostream>
#include <sstream>

#include "foundation/FileReader.h"
#include "foundation/LineEnds.h"
#include "foundation/TARNIException.h"

int mapper[kMapperSlots];

namespace {

constexpr wchar_t kColon = L':';
constexpr wchar_t kCarriageReturn = 0x000D;

// The texts of the codes of `mapper`, filled as they are first used, so
// that direct writes to `mapper` are picked up too.
CodeText code_text[kMapperSlots];

void SetText(int code, CodeText* entry) {
  const std::string text = stringify(code);
  entry->code = code;
  entry->length = static_cast<unsigned char>(text.size());
  std::memcpy(entry->text, text.data(), text.size());
}

const CodeText& TextOf(int slot) {
  CodeText& entry = code_text[slot];
  if (entry.code != mapper[slot] || entry.length == 0) {
    SetText(mapper[slot], &entry);
  }
  return entry;
}

// The mapping of MapCharacters through `codes`, with `text_of(slot)` the
// text of the code of a slot.
template <typename TextOfSlot>
char* MapThrough(const int* codes, TextOfSlot&& text_of, const wchar_t* begin,
                 const wchar_t* end, char* out) {
  for (const wchar_t* p = begin; p != end; ++p) {
    uint32_t u = static_cast<uint32_t>(*p);
    if (u <= 0xFF) {
      *out = static_cast<char>(u);
      out += u != 0x0D;  // CR dropped
    } else if (u < static_cast<uint32_t>(kMapperSlots) && codes[u] != 0) {
      const CodeText& text = text_of(static_cast<int>(u));
      // A fixed-size copy is cheaper than an exact one; the caller's slack
      // covers the bytes past `length`.
      std::memcpy(out, text.text, sizeof(text.text));
      out += text.length;
    }
  }
  return out;
}

}  // namespace

int show(int index) {
  if (index < 0 || index >= kMapperSlots) return 0;
  return mapper[index];
}

int convertToDouble(const std::string& text) {
  std::istringstream in(text);
  int value = 0;
  if (!(in >> value)) return 0;
  return value;
}

std::string stringify(int value) {
  std::ostringstream out;
  out << value;
  if (out.fail()) std::cout << "error";
  return out.str();
}

bool ReadPatterns(const char* name) { return ReadPatterns(name, nullptr); }

bool ReadPatterns(const char* name, std::string* error,
                  uint64_t* unended_line) {
  return ReadPatternsInto(mapper, name, error, unended_line);
}

bool ReadPatternsInto(int* codes, const char* name, std::string* error,
                      uint64_t* unended_line) {
  try {
    FileReader reader;
    if (!reader.Open(name, FileReader::UNICODE)) return false;
    UnendedLineFinder line_ends;
    std::string value;
    bool has_last = false;
    bool has_key = false;
    wchar_t last = 0;
    wchar_t key = 0;
    wchar_t c = 0;
    reader.Read(&c, 1);
    // End of file shows only after a read found no more data, so the last
    // character of the file is still handled.
    while (!reader.EoF()) {
      line_ends.Add(static_cast<uint32_t>(c));
      if (c == kColon) {
        has_key = has_last;
        key = last;
        value.clear();
      } else if (c == kCarriageReturn) {
        // A value read before any key has been named has no slot to go to.
        if (has_key) codes[key & 0xFFFF] = convertToDouble(value);
        reader.Read(&c, 1);  // the LF, not looked at
        if (!reader.EoF()) line_ends.Add(static_cast<uint32_t>(c));
        value.clear();
      } else {
        has_last = true;
        last = c;
        value.push_back(static_cast<char>(c & 0xFF));
      }
      reader.Read(&c, 1);
    }
    if (unended_line != nullptr) {
      // An odd byte count: the last read took half a unit.
      *unended_line = line_ends.UnendedLine(reader.Tell() % 2 != 0);
    }
    return true;
  } catch (IOException& e) {
    if (error != nullptr) *error = e.GetFormatedExceptionMessage();
    return false;
  }
}

char* MapCharacters(const wchar_t* begin, const wchar_t* end, char* out) {
  return MapThrough(mapper, TextOf, begin, end, out);
}

void FillCodeTexts(const int* codes, CodeText* texts) {
  for (int slot = 0; slot < kMapperSlots; ++slot) {
    if (codes[slot] != 0) SetText(codes[slot], &texts[slot]);
  }
}

char* MapCharactersWith(const int* codes, const CodeText* texts,
                        const wchar_t* begin, const wchar_t* end, char* out) {
  return MapThrough(
      codes, [texts](int slot) -> const CodeText& { return texts[slot]; },
      begin, end, out);
}

void AppendValue(const std::wstring& line, std::string* out) {
  size_t old = out->size();
  out->resize(old + kMaxMappedLength * line.size() + kMapSlack);
  char* end =
      MapCharacters(line.data(), line.data() + line.size(), &(*out)[old]);
  out->resize(static_cast<size_t>(end - out->data()));
}

std::string GetValue(std::wstring line) {
  std::string result;
  AppendValue(line, &result);
  result.push_back('\n');
  return result;
}
