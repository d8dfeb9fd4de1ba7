#include "text/TextFilters.h"

#include <cstdint>
#include <cstdio>

#include "codemapper/CodeMapper.h"
#include "foundation/FileReader.h"
#include "foundation/Quote.h"
#include "script/ArabicComposition.h"

namespace urdulex::internal {

namespace {
constexpr char16_t kShadda = 0x0651;
}  // namespace

size_t StripMarks(char16_t* text, size_t n, bool keep_shadda) {
  n = ComposeArabicLetters(text, n);
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = text[i];
    if (!IsCombiningMark(c) || (keep_shadda && c == kShadda)) {
      text[kept++] = c;
    }
  }
  return kept;
}

size_t StripSafeEnd(const char16_t* text, size_t n) {
  // More marks than any letter carries in real text.
  constexpr size_t kMostMarks = 64;
  size_t i = n;
  while (i > 0 && n - i < kMostMarks && ArabicCombiningClass(text[i - 1]) != 0)
    --i;
  if (n - i >= kMostMarks) return n;
  return i > 0 ? i - 1 : 0;
}

namespace {

bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// "U+0627 U+0653", a surrogate pair as the one character it stands for.
std::string CodePoints(const std::wstring& text) {
  if (text.empty()) return "nothing";
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() &&
        IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) +
          (static_cast<uint32_t>(text[++i]) - 0xDC00);
    }
    char name[16];
    std::snprintf(name, sizeof(name), "%sU+%04X", out.empty() ? "" : " ",
                  static_cast<unsigned>(c));
    out += name;
  }
  return out;
}

}  // namespace

std::string DescribeChange(const std::string& where, const std::wstring& line,
                           const NormChange& change, ColumnCursor* cursor) {
  if (cursor->position > change.position) *cursor = ColumnCursor();
  size_t i = cursor->position;
  uint64_t column = cursor->column;
  for (; i < change.position && i < line.size(); ++i) {
    if (!(IsLowSurrogate(line[i]) && i > 0 && IsHighSurrogate(line[i - 1]))) {
      ++column;
    }
  }
  cursor->position = i;
  cursor->column = column;
  return where + ":" + std::to_string(column) + ": " +
         CodePoints(change.before) + " -> " + CodePoints(change.after);
}

void PutUtf8(const std::string& text, TextWriter& out) {
  TextDecoder decoder(true);
  Units units;
  bool ok = true;
  DecodeError error;
  decoder.Decode(reinterpret_cast<const unsigned char*>(text.data()),
                 text.size(), true, &units, &ok, &error);
  out.Put(units.data(), units.size());
}

void PutLineDiff(const std::string& where, const std::wstring& before,
                 const std::wstring& after, TextWriter& out) {
  const std::wstring* sides[] = {&before, &after};
  const char signs[] = {'-', '+'};
  std::u16string text;
  for (int side = 0; side < 2; ++side) {
    PutUtf8(signs[side] + where + ": ", out);
    text.assign(sides[side]->begin(), sides[side]->end());
    out.Put(text);
    out.Put(u'\n');
  }
}

void AppendLineCodes(const char16_t* line, size_t n, std::wstring* scratch,
                     std::string* out) {
  AppendLineCodes(mapper, nullptr, line, n, scratch, out);
}

void AppendLineCodes(const int* codes, const CodeText* texts,
                     const char16_t* line, size_t n, std::wstring* scratch,
                     std::string* out) {
  scratch->clear();
  for (size_t i = 0; i < n; ++i) {
    if (line[i] == kShadda && FileReader::AppendGemination(*scratch) > 0) {
      continue;
    }
    scratch->push_back(static_cast<wchar_t>(line[i]));
  }
  AppendCodes(codes, texts, *scratch, out);
}

void AppendCodes(const int* codes, const CodeText* texts,
                 const std::wstring& units, std::string* out) {
  const size_t at = out->size();
  out->resize(at + kMaxMappedLength * units.size() + kMapSlack);
  const wchar_t* begin = units.data();
  const wchar_t* end = begin + units.size();
  char* last = texts == nullptr
                   ? MapCharacters(begin, end, &(*out)[at])
                   : MapCharactersWith(codes, texts, begin, end, &(*out)[at]);
  out->resize(static_cast<size_t>(last - out->data()));
}

void LoadCodeTable(const std::string& path, int* codes) {
  // The table reader stores a line only at its CR: a last line cut short
  // would be lost without a word. The read that loads the table finds it.
  std::string error;
  uint64_t unended_line = 0;
  if (!ReadPatternsInto(codes, path.c_str(), &error, &unended_line)) {
    throw Error("code table " + QuoteName(path) + ": " + error);
  }
  if (unended_line != 0) {
    throw Error("code table " + QuoteName(path) + " ends without CR LF: line " +
                std::to_string(unended_line) + " would be ignored");
  }
}

}  // namespace urdulex::internal
