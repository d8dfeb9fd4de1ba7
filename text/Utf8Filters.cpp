#include "text/Utf8Filters.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/FileReader.h"
#include "script/ArabicComposition.h"
#include "text/ArabicHeh.h"
#include "text/TextFilters.h"

namespace urdulex::internal {

namespace {

constexpr wchar_t kShadda = 0x0651;

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

// More runs of keys or diacritics than this make the check sixteen bytes
// at a time no faster than the table.
constexpr size_t kMostRuns = 8;

#if defined(__SSE2__)
// Per byte of `x`, all ones where it is in [low, low + span] (as unsigned
// bytes), zero elsewhere.
inline __m128i InRange(__m128i x, __m128i low, __m128i span) {
  return _mm_cmpeq_epi8(_mm_max_epu8(_mm_sub_epi8(x, low), span), span);
}
inline __m128i Bytes(unsigned char b) {
  return _mm_set1_epi8(static_cast<char>(b));
}
inline __m128i Load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
#endif

}  // namespace

size_t StripMarksUtf8(const char* text, size_t n, bool keep_shadda, char* out,
                      std::u16string* scratch) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  char* o = out;
  size_t i = 0;
  // A byte D8, D9 or DB is always the lead of a pair, so the marks are
  // found without walking the characters; everything else is copied as it
  // is passed (`o` never passes `i`, and whole vectors are stored at `o`:
  // so `out` is apart from `text`).
  while (i + 1 < n) {
#if defined(__SSE2__)
    // Sixteen bytes at a time: the marks found (pairs of a lead of
    // kCombiningMarkBits and one of its set seconds) and the runs between
    // stored whole, each at the end of the one before. A block with a
    // hamza or madda, or with the shadda kept, goes up to its next mark
    // and that mark's run goes the way below.
    if (i + 17 <= n) {
      const __m128i a = Load(p + i), second = Load(p + i + 1);
      const __m128i d9 = _mm_cmpeq_epi8(a, Bytes(0xD9));
      const __m128i marks = _mm_or_si128(
          _mm_or_si128(
              _mm_and_si128(_mm_cmpeq_epi8(a, Bytes(0xD8)),
                            InRange(second, Bytes(0x90), Bytes(0x9A - 0x90))),
              _mm_and_si128(_mm_cmpeq_epi8(a, Bytes(0xDB)),
                            InRange(second, Bytes(0x96), Bytes(0xAD - 0x96)))),
          _mm_and_si128(
              d9, _mm_or_si128(InRange(second, Bytes(0x8B), Bytes(0x9F - 0x8B)),
                               _mm_cmpeq_epi8(second, Bytes(0xB0)))));
      unsigned found = static_cast<unsigned>(_mm_movemask_epi8(marks));
      if (found == 0) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), a);
        o += 16;
        i += 16;
        continue;
      }
      if (!keep_shadda && i + 32 <= n &&
          _mm_movemask_epi8(_mm_and_si128(
              d9, InRange(second, Bytes(0x93), Bytes(0x95 - 0x93)))) == 0) {
        size_t at = 0;  // in the block, what is still to be kept
        while (found != 0) {
          const auto mark = static_cast<size_t>(__builtin_ctz(found));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o), Load(p + i + at));
          o += mark - at;
          at = mark + 2;
          found &= found - 1;
        }
        if (at < 16) {
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o), Load(p + i + at));
          o += 16 - at;
          at = 16;
        }
        i += at;
        continue;
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), a);
      const auto before = static_cast<unsigned>(__builtin_ctz(found));
      o += before;
      i += before;
    }
#endif
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
    // StripMarks (it was copied last, and the run's marks before `i`, if
    // the blocks above took them, went); the marks of any other run just
    // go.
    size_t start = i;
    while (composing && start >= 2 &&
           IsCombiningMarkUtf8(p[start - 2], p[start - 1])) {
      start -= 2;
    }
    if (composing && start >= 2 &&
        MayTakeMarkUtf8(p[start - 2], p[start - 1])) {
      o -= 2;
      scratch->clear();
      for (size_t j = start - 2; j < end; j += 2) {
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
  const auto add_run = [](std::vector<ByteRun>* runs, char32_t c) {
    const auto lead =
        static_cast<unsigned char>(c < 0x80 ? 0 : 0xC0 | (c >> 6));
    const auto byte =
        static_cast<unsigned char>(c < 0x80 ? c : 0x80 | (c & 63));
    if (!runs->empty() && runs->back().lead == lead &&
        runs->back().high + 1 == byte) {
      runs->back().high = byte;
    } else {
      runs->push_back(ByteRun{lead, byte, byte});
    }
  };
  for (char32_t c = 0; c < 0x800; ++c) {
    if (Key(c)) add_run(&vector_keys_, c);
    if (c >= 0x80 && rules.IsDiac(static_cast<wchar_t>(c))) {
      add_run(&vector_diacritics_, c);
    }
  }
  if (wide_keys_ || vector_keys_.size() > kMostRuns ||
      vector_diacritics_.size() > kMostRuns) {
    vector_keys_.clear();
  }
}

bool UnchangedText::Holds(const char* text, size_t n) const {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + n;
  if (!wide_keys_) {
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen starting bytes at a time, each with the three after it:
    // the keys (a byte, or a lead and a second byte) and a diacritic with
    // a U+06BE two bytes on, as the table below finds them.
    if (!vector_keys_.empty() && n >= 19) {
      struct Run {
        __m128i lead, low, span;
        bool one_byte;
      };
      Run keys[kMostRuns], diacritics[kMostRuns];
      const auto make = [](const std::vector<ByteRun>& from, Run* to) {
        for (size_t k = 0; k < from.size(); ++k) {
          to[k] =
              Run{Bytes(from[k].lead), Bytes(from[k].low),
                  Bytes(static_cast<unsigned char>(from[k].high - from[k].low)),
                  from[k].lead == 0};
        }
      };
      make(vector_keys_, keys);
      make(vector_diacritics_, diacritics);
      const size_t key_count = vector_keys_.size();
      const size_t diacritic_count = vector_diacritics_.size();
      const __m128i heh_lead =
          Bytes(static_cast<unsigned char>(0xC0 | (kHehDoachashmee >> 6)));
      const __m128i heh_second =
          Bytes(static_cast<unsigned char>(0x80 | (kHehDoachashmee & 63)));
      for (; i + 19 <= n; i += 16) {
        const __m128i a = Load(p + i), b = Load(p + i + 1);
        __m128i found = _mm_setzero_si128();
        for (size_t k = 0; k < key_count; ++k) {
          const Run& r = keys[k];
          found = _mm_or_si128(
              found, r.one_byte ? InRange(a, r.low, r.span)
                                : _mm_and_si128(_mm_cmpeq_epi8(a, r.lead),
                                                InRange(b, r.low, r.span)));
        }
        const __m128i heh =
            _mm_and_si128(_mm_cmpeq_epi8(Load(p + i + 2), heh_lead),
                          _mm_cmpeq_epi8(Load(p + i + 3), heh_second));
        if (_mm_movemask_epi8(heh) != 0) {
          __m128i diacritic = _mm_setzero_si128();
          for (size_t k = 0; k < diacritic_count; ++k) {
            const Run& r = diacritics[k];
            diacritic = _mm_or_si128(diacritic,
                                     _mm_and_si128(_mm_cmpeq_epi8(a, r.lead),
                                                   InRange(b, r.low, r.span)));
          }
          found = _mm_or_si128(found, _mm_and_si128(diacritic, heh));
        }
        if (_mm_movemask_epi8(found) != 0) return false;
      }
      // The table from two bytes back, for a U+06BE after a diacritic.
      i -= 2;
    }
#endif
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

namespace {

// The UTF-16 units of well-formed UTF-8 text[0, n), each handed to
// `unit(u)`.
template <typename Unit>
inline void ForEachUnit(const char* text, size_t n, Unit&& unit) {
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
      unit(static_cast<wchar_t>(0xD800 + (c >> 10)));
      c = 0xDC00 + (c & 0x3FF);
      p += 4;
    }
    unit(static_cast<wchar_t>(c));
  }
}

}  // namespace

void AppendUtf16(const char* text, size_t n, std::wstring* out) {
  ForEachUnit(text, n, [out](wchar_t u) { out->push_back(u); });
}

void AppendLineCodesUtf8(const int* codes, const CodeText* texts,
                         const char* line, size_t n, std::wstring* scratch,
                         std::string* out) {
  // As AppendLineCodes: a shadda doubles what is before it.
  scratch->clear();
  ForEachUnit(line, n, [scratch](wchar_t u) {
    if (u != kShadda || FileReader::AppendGemination(*scratch) == 0) {
      scratch->push_back(u);
    }
  });
  AppendCodes(codes, texts, *scratch, out);
}

}  // namespace urdulex::internal
