#include "text/Utf8Filters.h"

#include <cstring>

#include "script/ArabicComposition.h"
#include "text/ArabicHeh.h"
#include "text/TextFilters.h"

namespace urdulex::internal {

namespace {

// The character of a two-byte sequence.
inline char32_t Pair(unsigned char lead, unsigned char second) {
  return static_cast<char32_t>((lead & 0x1F) << 6 | (second & 0x3F));
}

// A combining hamza or madda (U+0653-U+0655), which a letter before it may
// take in (ComposeArabicLetters).
inline bool IsComposingUtf8(unsigned char lead, unsigned char second) {
  return lead == 0xD9 && second - 0x93u < 3;
}

// The letters that take a combining hamza or madda, all pairs led by D8,
// D9 or DB (`lead` may be any byte: the last two of a longer sequence are
// none of them).
inline bool MayTakeMarkUtf8(unsigned char lead, unsigned char second) {
  if (lead - 0xD8u >= 4) return false;
  switch (Pair(lead, second)) {
    case 0x0627:
    case 0x0648:
    case 0x064A:
    case 0x06CC:
    case 0x06C1:
    case 0x06D2:
    case 0x06D5:
      return true;
    default:
      return false;
  }
}

}  // namespace

size_t StripMarksUtf8(const char* text, size_t n, bool keep_shadda, char* out,
                      std::u16string* scratch) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  char* o = out;
  size_t copied = 0;  // text[copied, i) is still to be copied
  size_t i = 0;
  // A byte D8, D9 or DB is always the lead of a pair, so the marks are
  // found without walking the characters.
  while (i + 1 < n) {
    if (!IsCombiningMarkUtf8(p[i], p[i + 1])) {
      ++i;
      continue;
    }
    size_t end = i;  // of the run of marks
    bool composing = false;
    while (end + 1 < n && IsCombiningMarkUtf8(p[end], p[end + 1])) {
      composing = composing || IsComposingUtf8(p[end], p[end + 1]);
      end += 2;
    }
    // A letter that takes a hamza or madda of the run goes with it through
    // StripMarks; the marks of any other run just go.
    const size_t from =
        composing && i >= copied + 2 && MayTakeMarkUtf8(p[i - 2], p[i - 1])
            ? i - 2
            : i;
    std::memmove(o, text + copied, from - copied);
    o += from - copied;
    if (from < i) {
      scratch->clear();
      for (size_t j = from; j < end; j += 2) {
        scratch->push_back(static_cast<char16_t>(Pair(p[j], p[j + 1])));
      }
      const size_t kept =
          StripMarks(&(*scratch)[0], scratch->size(), keep_shadda);
      // Letters and marks of the Arabic block: two bytes each.
      for (size_t k = 0; k < kept; ++k) {
        const char16_t u = (*scratch)[k];
        *o++ = static_cast<char>(0xC0 | (u >> 6));
        *o++ = static_cast<char>(0x80 | (u & 0x3F));
      }
    } else if (keep_shadda) {
      for (size_t j = i; j < end; j += 2) {
        if (p[j] == 0xD9 && p[j + 1] == 0x91) {
          *o++ = text[j];
          *o++ = text[j + 1];
        }
      }
    }
    copied = i = end;
  }
  std::memmove(o, text + copied, n - copied);
  return static_cast<size_t>(o - out) + (n - copied);
}

size_t StripSafeEndUtf8(const char* text, size_t n) {
  // As StripSafeEnd: every mark with a combining class is a pair.
  constexpr size_t kMostMarks = 64;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  size_t i = n;
  size_t marks = 0;
  while (i >= 2 && marks < kMostMarks && p[i - 2] - 0xD8u < 4 &&
         ArabicCombiningClass(Pair(p[i - 2], p[i - 1])) != 0) {
    i -= 2;
    ++marks;
  }
  if (marks >= kMostMarks) return n;
  if (i == 0) return 0;
  --i;
  while (i > 0 && (p[i] & 0xC0) == 0x80) --i;
  return i;
}

UnchangedText::UnchangedText(const Normalizer& rules, bool urdu)
    : keys_(0x10000 / 64), rules_(rules) {
  const auto add = [&](char32_t c) {
    c &= 0xFFFF;
    keys_[c >> 6] |= uint64_t{1} << (c & 63);
    wide_keys_ = wide_keys_ || c >= 0x800;
  };
  // A match holds its pattern's last unit.
  for (const NormRule& rule : rules.rules) {
    if (!rule.pattern.empty()) add(static_cast<char32_t>(rule.pattern.back()));
  }
  if (urdu) add(kArabicHeh);
}

bool UnchangedText::Holds(const char* text, size_t n) const {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + n;
  while (p < end) {
    const unsigned char b = *p;
    if (b < 0x80) {
      if (Key(b)) return false;
      ++p;
      continue;
    }
    if (b < 0xE0) {
      const char32_t c = Pair(b, p[1]);
      if (Key(c)) return false;
      // A U+06BE after a diacritic moves in front of it; the diacritics are
      // all pairs.
      if (c == kHehDoachashmee && p - 2 >= end - n && (p[-2] & 0xE0) == 0xC0 &&
          rules_.IsDiac(static_cast<wchar_t>(Pair(p[-2], p[-1])))) {
        return false;
      }
      p += 2;
      continue;
    }
    if (b < 0xF0) {
      if (wide_keys_ &&
          Key(static_cast<char32_t>((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 |
                                    (p[2] & 0x3F)))) {
        return false;
      }
      p += 3;
      continue;
    }
    if (wide_keys_) {
      const char32_t c =
          static_cast<char32_t>((b & 0x07) << 18 | (p[1] & 0x3F) << 12 |
                                (p[2] & 0x3F) << 6 | (p[3] & 0x3F)) -
          0x10000;
      if (Key(0xD800 + (c >> 10)) || Key(0xDC00 + (c & 0x3FF))) return false;
    }
    p += 4;
  }
  return true;
}

void AppendUtf16(const char* text, size_t n, std::wstring* out) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + n;
  while (p < end) {
    const unsigned char b = *p;
    char32_t c;
    if (b < 0x80) {
      c = b;
      p += 1;
    } else if (b < 0xE0) {
      c = Pair(b, p[1]);
      p += 2;
    } else if (b < 0xF0) {
      c = static_cast<char32_t>((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 |
                                (p[2] & 0x3F));
      p += 3;
    } else {
      c = static_cast<char32_t>((b & 0x07) << 18 | (p[1] & 0x3F) << 12 |
                                (p[2] & 0x3F) << 6 | (p[3] & 0x3F)) -
          0x10000;
      out->push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
      c = 0xDC00 + (c & 0x3FF);
      p += 4;
    }
    out->push_back(static_cast<wchar_t>(c));
  }
}

}  // namespace urdulex::internal
