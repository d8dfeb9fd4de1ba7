#include "codemapper/TextFilters.h"

#include "codemapper/CodeMapper.h"
#include "foundation/FileReader.h"

namespace urdu {

namespace {
constexpr char16_t kShadda = 0x0651;
}  // namespace

bool IsCombiningMark(char16_t c) {
  return (c >= 0x0610 && c <= 0x061A) || (c >= 0x064B && c <= 0x065F) ||
         c == 0x0670 || (c >= 0x06D6 && c <= 0x06ED);
}

size_t StripMarks(char16_t* text, size_t n, bool keep_shadda) {
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = text[i];
    if (!IsCombiningMark(c) || (keep_shadda && c == kShadda)) {
      text[kept++] = c;
    }
  }
  return kept;
}

void AppendLineCodes(const char16_t* line, size_t n, std::wstring* scratch,
                     std::string* out) {
  scratch->clear();
  for (size_t i = 0; i < n; ++i) {
    if (line[i] == kShadda && FileReader::AppendGemination(*scratch) > 0) {
      continue;
    }
    scratch->push_back(static_cast<wchar_t>(line[i]));
  }
  const size_t at = out->size();
  out->resize(at + kMaxMappedLength * scratch->size() + kMapSlack);
  char* end = MapCharacters(scratch->data(), scratch->data() + scratch->size(),
                            &(*out)[at]);
  out->resize(static_cast<size_t>(end - out->data()));
}

}  // namespace urdu
