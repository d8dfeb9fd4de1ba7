// The text filters of `urdu normalize` and `urdu strip` on well-formed
// UTF-8, for text that comes in as UTF-8 and goes out so: what no mark or
// rule touches is copied as bytes, and only the few characters around a
// change are taken to UTF-16 and through the filters of TextFilters.h and
// LoadNormalization.h, so that the bytes are those the UTF-16 filters give.
//
// The input is always whole, well-formed UTF-8 (what TextReader::NextUtf8
// hands out). Nothing here throws but std::bad_alloc.

#ifndef URDULEX_TEXT_UTF8FILTERS_H_
#define URDULEX_TEXT_UTF8FILTERS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codemapper/CodeMapper.h"
#include "normalization/Normalizer.h"

namespace urdulex::internal {

// The Arabic-script combining marks (IsCombiningMark) in UTF-8: every
// mark is a pair led by D8, D9 or DB, and a bit of a word per lead tells
// which of its 64 seconds are marks.
inline constexpr uint64_t kCombiningMarkBits[4] = {
    0x0000000007FF0000ull,  // D8: U+0610-U+061A
    0x00010000FFFFF800ull,  // D9: U+064B-U+065F, U+0670
    0,                      // DA: none
    0x00003FFFFFC00000ull,  // DB: U+06D6-U+06ED
};
inline bool IsCombiningMarkUtf8(unsigned char lead, unsigned char second) {
  const unsigned at = lead - 0xD8u;
  return at < 4 && ((kCombiningMarkBits[at] >> (second & 0x3F)) & 1) != 0;
}

// StripMarks on UTF-8: writes text[0, n) without its combining marks to
// `out` (room for n bytes: never more is written; apart from `text`) and
// returns the bytes written. `scratch` is reused between calls.
size_t StripMarksUtf8(const char* text, size_t n, bool keep_shadda, char* out,
                      std::u16string* scratch);

// StripSafeEnd on UTF-8: the byte where the last letter of text[0, n)
// begins with its marks, or n when a run of marks too long for a letter
// ends the text.
size_t StripSafeEndUtf8(const char* text, size_t n);

// Tells text that the rules of a Normalizer (with the Urdu reading of
// U+0647 first, for `urdu`; see NormalizeUrdu) certainly leave as it is:
// text with no character that ends a rule's pattern, no U+0647 for the
// reading and no U+06BE after a diacritic.
class UnchangedText {
 public:
  UnchangedText(const Normalizer& rules, bool urdu);
  // Whether normalizing UTF-8 text[0, n) gives it back unchanged. False
  // means only that it may change.
  bool Holds(const char* text, size_t n) const;

 private:
  bool Key(char32_t c) const { return (keys_[c >> 6] >> (c & 63)) & 1; }
  // Whether the character at `p` (in `text`) keeps the text unchanged;
  // `*next` is the character after it.
  bool HoldsAt(const unsigned char* p, const char* text,
               const unsigned char** next) const;

  std::vector<uint64_t> keys_;  // a bit per UTF-16 unit
  bool wide_keys_ = false;      // a key of three bytes or more in UTF-8
  // By two bytes (the first in the low eight bits): kKey when they begin
  // with a key of one or two bytes, kDiacritic and kHeh when they are a
  // diacritic or U+06BE.
  enum : uint8_t { kKey = 1, kDiacritic = 2, kHeh = 4 };
  std::vector<uint8_t> pairs_;
  // The keys and the diacritics of one or two bytes as runs of bytes,
  // for the check sixteen bytes at a time: a byte in [low, high], after
  // `lead` when it is not 0. Empty `vector_keys_` when there are too many
  // runs for it (or keys of three bytes or more).
  struct ByteRun {
    unsigned char lead, low, high;
  };
  std::vector<ByteRun> vector_keys_, vector_diacritics_;
  const Normalizer& rules_;
};

// UTF-16 units of well-formed UTF-8 text[0, n), appended to `out`.
void AppendUtf16(const char* text, size_t n, std::wstring* out);

// AppendLineCodes (TextFilters.h) of the line in well-formed UTF-8
// line[0, n), with a table and its texts.
void AppendLineCodesUtf8(const int* codes, const CodeText* texts,
                         const char* line, size_t n, std::wstring* scratch,
                         std::string* out);

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_UTF8FILTERS_H_
