// Search strings typed by a user and label sets: the checks run against the
// alphabet numbering of a UniChar2IndexMap and touch no conversion state.

#include <string>

#include "script/LexEnigneUtility.h"
#include "script/UrduCharSet.h"

namespace {

// Valid for a search below `limit`: in the alphabet with an index below it.
bool IsValidBelow(const UniChar2IndexMap& map, int limit, wchar_t c) {
  const unsigned short index = map.GetIndex(c);
  return index != UniChar2IndexMap::kNoIndex && static_cast<int>(index) < limit;
}

bool Contains(const unsigned short* labels, int n, unsigned short label) {
  for (int i = 0; i < n; ++i) {
    if (labels[i] == label) return true;
  }
  return false;
}

}  // namespace

bool LexEnigneUtility::ValidateSearchString(UniChar2IndexMap map, int limit,
                                            std::wstring text) {
  for (wchar_t c : text) {
    if (!IsValidBelow(map, limit, c)) return false;
  }
  return true;
}

bool LexEnigneUtility::ValidatePronunciationString(UniChar2IndexMap map,
                                                   int limit,
                                                   std::wstring text) {
  for (wchar_t c : text) {
    if (c == L'+' || c == L'(' || c == L')') continue;
    if (!IsValidBelow(map, limit, c)) return false;
  }
  return true;
}

bool LexEnigneUtility::RemoveInvalidSearchChars(UniChar2IndexMap& map,
                                                int limit, std::wstring& text) {
  std::wstring::size_type kept = 0;
  for (wchar_t c : text) {
    if (IsValidBelow(map, limit, c)) text[kept++] = c;
  }
  text.resize(kept);
  return true;
}

bool LexEnigneUtility::ValidateEnglishSearchString(std::wstring text) {
  for (wchar_t c : text) {
    const bool ok = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                    c == L'-' || c == L' ';
    if (!ok) return false;
  }
  return true;
}

std::wstring LexEnigneUtility::NormalizeEnglishSearchString(std::wstring text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::wstring::size_type i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'-') {
      out.push_back(L' ');
    } else if (c == L'\'') {
      if (i + 1 < text.size() && (text[i + 1] == L's' || text[i + 1] == L'S')) {
        ++i;
      }
    } else if (c == L'(' || c == L')') {
      // dropped
    } else if (c >= L'A' && c <= L'Z') {
      // What tolower does in the POSIX locale, whatever locale the process
      // has set; every other value passes unchanged.
      out.push_back(static_cast<wchar_t>(c - L'A' + L'a'));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

bool LexEnigneUtility::IsLabelZero(unsigned short* labels, int n) {
  for (int i = 0; i < n; ++i) {
    if (labels[i] != 0) return false;
  }
  return true;
}

bool LexEnigneUtility::OrLabels(unsigned short* first, unsigned short* second,
                                int n) {
  if (IsLabelZero(first, n)) return true;
  for (int i = 0; i < n; ++i) {
    if (first[i] != 0 && Contains(second, n, first[i])) return true;
  }
  return false;
}

bool LexEnigneUtility::AndLabels(unsigned short* first, unsigned short* second,
                                 int n) {
  for (int i = 0; i < n; ++i) {
    if (first[i] != 0 && !Contains(second, n, first[i])) return false;
  }
  return true;
}
