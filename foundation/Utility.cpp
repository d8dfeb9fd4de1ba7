#include "foundation/Utility.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <vector>

bool IsWhitespace(wchar_t c) {
  return c == L' ' || c == L'\n' || c == L'\r' || c == L'\t';
}

bool DoesContainWildcardChars(const std::wstring& s) {
  return s.find_first_of(L"*?") != std::wstring::npos;
}

bool IsNumber(const std::wstring& s) {
  for (wchar_t c : s) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

void ConvertLittleEndian2BigEndian(const std::wstring& in, std::wstring& out) {
  out.reserve(out.size() + in.size());
  for (wchar_t c : in) {
    int32_t v = static_cast<int32_t>(c);
    uint32_t swapped =
        (static_cast<uint32_t>(v) << 8) | static_cast<uint32_t>(v >> 8);
    out.push_back(static_cast<wchar_t>(swapped));
  }
}

std::wstring RemoveWhitespaces(const std::wstring& s) {
  std::wstring out;
  out.reserve(s.size());
  for (wchar_t c : s) {
    if (c == 0x0020 || c == 0x200C || c == 0x200D || c == 0x000D ||
        c == 0x000A || c == 0x0009) {
      continue;
    }
    out.push_back(c);
  }
  return out;
}

std::wstring RemoveDiacritics(const std::wstring& s) {
  std::wstring out;
  out.reserve(s.size());
  for (wchar_t c : s) {
    if (c >= 0x064E && c <= 0x0653) continue;
    out.push_back(c);
  }
  return out;
}

std::wstring CharString2Wstring(const char* p) {
  std::wstring out;
  if (p == nullptr) return out;
  for (; *p != '\0'; ++p) {
    out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
  }
  return out;
}

std::wstring CharString2Wstring(const wchar_t* p, int n) {
  std::wstring out;
  if (p == nullptr) return out;
  for (int i = 0; i < n && p[i] != 0; ++i) out.push_back(p[i]);
  return out;
}

std::string CharString2String(const char* p, int n) {
  std::string out;
  if (p == nullptr) return out;
  for (int i = 0; i < n && p[i] != '\0'; ++i) out.push_back(p[i]);
  return out;
}

std::wstring String2Wstring(const std::string& s) {
  std::wstring out;
  out.reserve(s.size());
  for (char c : s) {
    out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  }
  return out;
}

std::string WString2String(const std::wstring& s) {
  std::string out;
  out.reserve(s.size());
  for (wchar_t c : s) {
    out.push_back(static_cast<char>(static_cast<uint32_t>(c) & 0xFF));
  }
  return out;
}

namespace {

template <typename String>
String TrimString(String& s) {
  size_t start = 0;
  while (start < s.size() && IsWhitespace(static_cast<wchar_t>(s[start]))) {
    ++start;
  }
  size_t end = s.size();
  while (end > start && IsWhitespace(static_cast<wchar_t>(s[end - 1]))) {
    --end;
  }
  if (start != 0 || end != s.size()) s = s.substr(start, end - start);
  return s;
}

}  // namespace

std::wstring Trim(std::wstring& s) { return TrimString(s); }

std::string Trim(std::string& s) { return TrimString(s); }

char* Trim(char* p) {
  if (p == nullptr) return p;
  size_t len = 0;
  while (p[len] != '\0') ++len;
  size_t start = 0;
  while (start < len && IsWhitespace(static_cast<unsigned char>(p[start]))) {
    ++start;
  }
  size_t end = len;
  while (end > start && IsWhitespace(static_cast<unsigned char>(p[end - 1]))) {
    --end;
  }
  size_t kept = end - start;
  for (size_t i = 0; i < kept; ++i) p[i] = p[start + i];
  p[kept] = '\0';
  return p;
}

int wstring2int(const std::wstring& s) {
  std::string text = WString2String(s);
  size_t i = 0;
  // atoi skips what isspace() accepts in the C locale.
  while (i < text.size() &&
         (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude as a 64-bit value and stop growing it once it is
  // beyond the 32-bit range, so any number of digits is safe.
  const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value <= limit) value = value * 10 + (text[i] - '0');
  }
  if (value > limit) value = limit;
  return static_cast<int>(negative ? -value : value);
}

std::wstring int2wstring(int n) {
  char text[16];
  std::snprintf(text, sizeof(text), "%i", n);
  return CharString2Wstring(text);
}

std::wstring int2UrduNumerals(int n) {
  char text[16];
  std::snprintf(text, sizeof(text), "%i", n);
  std::wstring out;
  for (const char* p = text; *p != '\0'; ++p) {
    out.push_back(static_cast<wchar_t>(*p + 0x6C0));
  }
  return out;
}

int EditDistance(const std::wstring& a, const std::wstring& b) {
  if (a.empty()) return static_cast<int>(b.size());
  if (b.empty()) return static_cast<int>(a.size());
  // Two rows of the (|b|+1) x (|a|+1) table are enough: each row depends only
  // on the one above it.
  std::vector<int> above(a.size() + 1), row(a.size() + 1);
  for (size_t j = 0; j <= a.size(); ++j) above[j] = static_cast<int>(j);
  for (size_t i = 1; i <= b.size(); ++i) {
    row[0] = static_cast<int>(i);
    for (size_t j = 1; j <= a.size(); ++j) {
      int cost = b[i - 1] == a[j - 1] ? 0 : 1;
      int best = above[j] + 1;
      if (row[j - 1] + 1 < best) best = row[j - 1] + 1;
      if (above[j - 1] + cost < best) best = above[j - 1] + cost;
      row[j] = best;
    }
    above.swap(row);
  }
  return above[a.size()];
}
