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
  return lead - 0xD8u < 4 && ArabicBaseTakesMark(Pair(lead, second));
}

}  // namespace

size_t StripMarksUtf8(const char* text, size_t n, bool keep_shadda, char* out,
                      std::u16string* scratch) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  char* o = out;
  size_t i = 0;
  // A byte D8, D9 or DB is always the lead of a pair, so the marks are
  // found without walking the characters; everything else is copied as it
  // is passed (`o` never passes `i`).
  while (i + 1 < n) {
    const unsigned char b = p[i];
    if (b - 0xD8u >= 4) {
      *o++ = static_cast<char>(b);
      ++i;
      continue;
    }
    if (!IsCombiningMarkUtf8(b, p[i + 1])) {
      o[0] = static_cast<char>(b);
      o[1] = static_cast<char>(p[i + 1]);
      o += 2;
      i += 2;
      continue;
    }
    size_t end = i;  // of the run of marks
    bool composing = false;
    while (end + 1 < n && IsCombiningMarkUtf8(p[end], p[end + 1])) {
      composing = composing || IsComposingUtf8(p[end], p[end + 1]);
      end += 2;
    }
    // A letter that takes a hamza or madda of the run goes with it through
    // StripMarks (it was copied last); the marks of any other run just go.
    if (composing && i >= 2 && MayTakeMarkUtf8(p[i - 2], p[i - 1])) {
      o -= 2;
      scratch->clear();
      for (size_t j = i - 2; j < end; j += 2) {
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
    i = end;
  }
  if (i < n) *o++ = text[i];
  return static_cast<size_t>(o - out);
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
  pairs_.resize(0x10000);
  for (unsigned x = 0; x < 0x10000; ++x) {
    const unsigned char b = x & 0xFF, next = x >> 8;
    if (b < 0x80) {
      pairs_[x] = Key(b) ? kKey : 0;
    } else if (b >= 0xC0 && b < 0xE0 && (next & 0xC0) == 0x80) {
      const char32_t c = Pair(b, next);
      pairs_[x] = (Key(c) ? kKey : 0) |
                  (rules.IsDiac(static_cast<wchar_t>(c)) ? kDiacritic : 0) |
                  (c == kHehDoachashmee ? kHeh : 0);
    }
  }
}

bool UnchangedText::Holds(const char* text, size_t n) const {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + n;
  if (!wide_keys_) {
    // Looked at from every byte, with no branch: a key from its first
    // byte, a U+06BE two bytes after a diacritic. A continuation byte
    // starts nothing.
    const uint8_t* pairs = pairs_.data();
    unsigned found = 0, before = 0, last = 0;  // `before`: two bytes back
    const auto look = [&](unsigned t) {
      found |= t | ((before >> 1) & (t >> 2));
      before = last;
      last = t;
    };
    size_t i = 0;
    for (; i + 1 < n; ++i) look(pairs[p[i] | p[i + 1] << 8]);
    if (i < n) look(pairs[p[i]]);
    return (found & kKey) == 0;
  }
  // Keys of three bytes or more: a character at a time.
  while (p < end) {
    if (!HoldsAt(p, text, &p)) return false;
  }
  return true;
}

bool UnchangedText::HoldsAt(const unsigned char* p, const char* text,
                            const unsigned char** next) const {
  const unsigned char b = *p;
  if (b < 0x80) {
    *next = p + 1;
    return !Key(b);
  }
  if (b < 0xE0) {
    const char32_t c = Pair(b, p[1]);
    *next = p + 2;
    return !Key(c) &&
           !(c == kHehDoachashmee &&
             p - 2 >= reinterpret_cast<const unsigned char*>(text) &&
             (p[-2] & 0xE0) == 0xC0 &&
             rules_.IsDiac(static_cast<wchar_t>(Pair(p[-2], p[-1]))));
  }
  if (b < 0xF0) {
    *next = p + 3;
    return !wide_keys_ ||
           !Key(static_cast<char32_t>((b & 0x0F) << 12 | (p[1] & 0x3F) << 6 |
                                      (p[2] & 0x3F)));
  }
  *next = p + 4;
  if (!wide_keys_) return true;
  const char32_t c =
      static_cast<char32_t>((b & 0x07) << 18 | (p[1] & 0x3F) << 12 |
                            (p[2] & 0x3F) << 6 | (p[3] & 0x3F)) -
      0x10000;
  return !Key(0xD800 + (c >> 10)) && !Key(0xDC00 + (c & 0x3FF));
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
