#include "text/WordKey.h"

#include <utility>
#include <vector>

#include "text/Diacritize.h"
#include "text/Tokenizer.h"

namespace urdulex::internal {

bool IsArabicLetter(char16_t c) {
  return (c >= 0x0620 && c <= 0x063F) || (c >= 0x0641 && c <= 0x064A) ||
         (c >= 0x066E && c <= 0x066F) || (c >= 0x0671 && c <= 0x06D3) ||
         c == 0x06D5 || (c >= 0x06EE && c <= 0x06EF) ||
         (c >= 0x06FA && c <= 0x06FC) || c == 0x06FF ||
         (c >= 0x0750 && c <= 0x077F) || (c >= 0x08A0 && c <= 0x08C8) ||
         (c >= 0xFB50 && c <= 0xFBB1) || (c >= 0xFBD3 && c <= 0xFD3D) ||
         (c >= 0xFD50 && c <= 0xFDC7) || (c >= 0xFDF0 && c <= 0xFDFB) ||
         (c >= 0xFE70 && c <= 0xFEFC);
}

bool IsDirectionalMark(char16_t c) {
  return c == 0x200E || c == 0x200F || c == 0x061C ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::u16string WithoutIgnorables(const char16_t* word, size_t n) {
  std::u16string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (!IsIgnorable(word[i])) out.push_back(word[i]);
  }
  return out;
}

bool AppendWordKey(const char16_t* word, size_t n, std::u16string* out) {
  size_t i = 0;
  while (i < n && !IsIgnorable(word[i])) ++i;
  if (i == n) return AppendBareForm(word, n, out);
  const std::u16string clean = WithoutIgnorables(word, n);
  if (!AppendBareForm(clean.data(), clean.size(), out)) *out += clean;
  return true;
}

std::u16string WithDirectionalMarks(const char16_t* original, size_t n,
                                    const char16_t* form, size_t form_units) {
  // Each mark with the number of key units (letters and the marks that
  // stay in the key) before it.
  std::vector<std::pair<size_t, char16_t>> marks;
  size_t units = 0;
  for (size_t i = 0; i < n; ++i) {
    if (IsDirectionalMark(original[i])) {
      marks.emplace_back(units, original[i]);
    } else if (!IsIgnorable(original[i]) && !IsLiftedMark(original[i])) {
      ++units;
    }
  }
  std::u16string out;
  out.reserve(form_units + marks.size());
  size_t next = 0;
  units = 0;
  for (size_t i = 0; i < form_units; ++i) {
    const char16_t c = form[i];
    if (!IsLiftedMark(c)) {
      // A mark goes before the first key unit after it, so after the
      // marks of the unit before.
      while (next < marks.size() && marks[next].first <= units) {
        out.push_back(marks[next++].second);
      }
      ++units;
    }
    out.push_back(c);
  }
  while (next < marks.size()) out.push_back(marks[next++].second);
  return out;
}

}  // namespace urdulex::internal
