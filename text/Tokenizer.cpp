#include "text/Tokenizer.h"

#include <cstdint>
#include <cstring>

#include "text/CanonicalKey.h"
#include "text/WordKey.h"

namespace urdulex::internal {

namespace {

constexpr char16_t kZeroWidthNonJoiner = 0x200C;
constexpr char16_t kZeroWidthJoiner = 0x200D;

// Separators at the ends of a word, part of it inside.
bool IsJoinerControl(char16_t c) {
  return c == kZeroWidthNonJoiner || c == kZeroWidthJoiner ||
         IsDirectionalMark(c);
}

// What a unit tells of its word, one byte per 16-bit unit, so that the
// word loop reads one table.
enum UnitFlag : uint8_t {
  kLifted = 1,
  kLetter = 2,
  kIgnorable = 4,
  kSeparatorUnit = 8,
  kJoinerUnit = 16,  // IsJoinerControl
  kFolds = 32,       // FoldsInKey, or a zero-width joiner or non-joiner
};

class UnitFlags {
 public:
  UnitFlags();
  uint8_t Of(char16_t c) const { return flags_[c]; }

 private:
  uint8_t flags_[0x10000];
};

const UnitFlags& Flags() {
  static const UnitFlags* flags = new UnitFlags;
  return *flags;
}

bool IsLineBlank(char16_t c) { return c == ' ' || c == '\t' || c == '\r'; }

// One bit per 16-bit unit.
class SeparatorSet {
 public:
  SeparatorSet() {
    std::memset(bits_, 0, sizeof(bits_));
    for (char16_t c = 0x09; c <= 0x0D; ++c) Set(c);
    for (char16_t c = 0x20; c < 0x7F; ++c) {
      const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                         (c >= 'a' && c <= 'z');
      if (!alnum) Set(c);
    }
    for (char16_t c :
         {0x0085, 0x00A0, 0x1680, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000,
          0x060C, 0x061B, 0x061F, 0x06D4, 0x066B, 0x066C, 0x00AB, 0x00BB,
          0x2039, 0x203A, 0xFD3E, 0xFD3F, 0x2013, 0x2014, 0x2026}) {
      Set(c);
    }
    for (char16_t c = 0x2000; c <= 0x200A; ++c) Set(c);
    for (char16_t c = 0x2018; c <= 0x201F; ++c) Set(c);
  }
  bool Has(char16_t c) const { return (bits_[c >> 6] >> (c & 63)) & 1; }

 private:
  void Set(char16_t c) { bits_[c >> 6] |= uint64_t{1} << (c & 63); }
  uint64_t bits_[0x10000 / 64];
};

const SeparatorSet& Separators() {
  static const SeparatorSet* set = new SeparatorSet;
  return *set;
}

UnitFlags::UnitFlags() {
  const SeparatorSet& separators = Separators();
  for (uint32_t c = 0; c < 0x10000; ++c) {
    const char16_t u = static_cast<char16_t>(c);
    flags_[c] = static_cast<uint8_t>(
        (IsLiftedMark(u) ? kLifted : 0) | (IsArabicLetter(u) ? kLetter : 0) |
        (IsIgnorable(u) ? kIgnorable : 0) |
        (separators.Has(u) ? kSeparatorUnit : 0) |
        (IsJoinerControl(u) ? kJoinerUnit : 0) |
        (FoldsInKey(u) || u == 0x200C || u == 0x200D ? kFolds : 0));
  }
}

inline void Add(std::vector<Token>* tokens, size_t start, size_t length,
                Token::Kind kind, uint8_t flags = 0) {
  if (length == 0) return;
  // Neighbouring separators become one token.
  if (kind == Token::kSeparator && !tokens->empty() &&
      tokens->back().kind == Token::kSeparator &&
      tokens->back().start + tokens->back().length == start) {
    tokens->back().length += static_cast<uint32_t>(length);
    return;
  }
  tokens->push_back(Token{static_cast<uint32_t>(start),
                          static_cast<uint32_t>(length), kind,
                          (flags & kLifted) != 0, (flags & kLetter) != 0,
                          (flags & kIgnorable) != 0, (flags & kFolds) != 0});
}

uint8_t FlagsOf(const char16_t* text, size_t start, size_t end) {
  const UnitFlags& flags = Flags();
  uint8_t all = 0;
  for (size_t k = start; k < end; ++k) all |= flags.Of(text[k]);
  return all;
}

}  // namespace

bool IsSeparator(char16_t c) { return Separators().Has(c); }

size_t Tokenizer::Split(const char16_t* text, size_t n, bool final,
                        std::vector<Token>* tokens) {
  return lines_ ? SplitLines(text, n, final, tokens)
                : SplitWords(text, n, final, tokens);
}

Tokenizer::Run Tokenizer::Settle(size_t start, size_t end, size_t units,
                                 size_t n, bool final, bool letter,
                                 std::vector<Token>* tokens) {
  const bool open = end == n && !final;
  if (!overlong_ && units <= kMaxWordUnits) return open ? kHeld : kWhole;
  // Too long to be found; passed on now so that memory stays small.
  Add(tokens, start, end - start, Token::kOverlong, letter ? kLetter : 0);
  overlong_ = open;
  return open ? kPassedOpen : kPassed;
}

size_t Tokenizer::SplitWords(const char16_t* text, size_t n, bool final,
                             std::vector<Token>* tokens) {
  const UnitFlags& unit_flags = Flags();
  size_t i = 0;
  while (i < n) {
    size_t start = i;
    while (i < n && (unit_flags.Of(text[i]) & kSeparatorUnit) != 0) ++i;
    if (i > start) {
      overlong_ = false;
      Add(tokens, start, i - start, Token::kSeparator);
    }
    start = i;
    uint8_t flags = 0;
    uint8_t f;
    while (i < n && ((f = unit_flags.Of(text[i])) & kSeparatorUnit) == 0) {
      flags |= f;
      ++i;
    }
    if (i == start) continue;
    const Run run =
        Settle(start, i, i - start, n, final, (flags & kLetter) != 0, tokens);
    if (run == kHeld) return start;
    if (run == kPassedOpen) return n;
    if (run == kPassed) continue;
    // Joiner controls and directional marks at the ends of a word are
    // separators.
    size_t b = start, e = i;
    while (b < e && IsJoinerControl(text[b])) ++b;
    while (e > b && IsJoinerControl(text[e - 1])) --e;
    if ((flags & kIgnorable) != 0 && (b > start || e < i)) {
      flags = FlagsOf(text, b, e);  // the ignorable ones may be gone
    }
    Add(tokens, start, b - start, Token::kSeparator);
    Add(tokens, b, e - b, Token::kWord, flags);
    Add(tokens, e, i - e, Token::kSeparator);
  }
  return n;
}

namespace {

// The character of the UTF-8 sequence at p (well-formed) and its length;
// one above U+FFFF comes back as 0x10000, whose flags are those of the
// surrogates that carry it (none).
inline uint32_t NextCharacter(const unsigned char* p, size_t* length) {
  const unsigned b = p[0];
  if (b < 0x80) {
    *length = 1;
    return b;
  }
  if (b < 0xE0) {
    *length = 2;
    return ((b & 0x1F) << 6) | (p[1] & 0x3F);
  }
  if (b < 0xF0) {
    *length = 3;
    return ((b & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
  }
  *length = 4;
  return 0x10000;
}

uint8_t FlagsOfUtf8(const unsigned char* text, size_t start, size_t end) {
  const UnitFlags& flags = Flags();
  uint8_t all = 0;
  for (size_t k = start; k < end;) {
    size_t length = 0;
    const uint32_t c = NextCharacter(text + k, &length);
    if (c < 0x10000) all |= flags.Of(static_cast<char16_t>(c));
    k += length;
  }
  return all;
}

}  // namespace

size_t Tokenizer::SplitUtf8(const char* bytes, size_t n, bool final,
                            std::vector<Token>* tokens, char16_t* wide,
                            std::vector<uint32_t>* at) {
  size_t u = 0;  // units written to `wide`
  const unsigned char* text = reinterpret_cast<const unsigned char*>(bytes);
  const UnitFlags& unit_flags = Flags();
  size_t i = 0;
  while (i < n) {
    size_t start = i;
    size_t length = 0;
    uint32_t c = 0;
    // Separators are most often single ASCII bytes.
    while (i < n) {
      if (text[i] < 0x80) {
        if ((unit_flags.Of(text[i]) & kSeparatorUnit) == 0) break;
        ++i;
        continue;
      }
      c = NextCharacter(text + i, &length);
      if (c >= 0x10000 ||
          (unit_flags.Of(static_cast<char16_t>(c)) & kSeparatorUnit) == 0) {
        break;
      }
      i += length;
    }
    if (i > start) {
      overlong_ = false;
      Add(tokens, start, i - start, Token::kSeparator);
    }
    start = i;
    uint8_t flags = 0;
    const size_t u0 = u;
    // The word without joiner controls at its ends: [b, e) in bytes,
    // [ub, ue) in units.
    size_t b = SIZE_MAX, e = start, ub = u, ue = u;
    while (i < n) {
      uint8_t f;
      if (text[i] < 0x80) {
        c = text[i];
        length = 1;
        f = unit_flags.Of(static_cast<char16_t>(c));
        wide[u] = static_cast<char16_t>(c);
      } else {
        c = NextCharacter(text + i, &length);
        if (c < 0x10000) {
          f = unit_flags.Of(static_cast<char16_t>(c));
          wide[u] = static_cast<char16_t>(c);
        } else {
          f = 0;
          const unsigned char* p = text + i;
          const uint32_t v = (((p[0] & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) |
                              ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu)) -
                             0x10000;
          wide[u++] = static_cast<char16_t>(0xD800 + (v >> 10));
          wide[u] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        }
      }
      if ((f & kSeparatorUnit) != 0) break;
      ++u;
      flags |= f;
      if ((f & kJoinerUnit) == 0) {
        if (b == SIZE_MAX) {
          b = i;
          ub = u - (c < 0x10000 ? 1 : 2);
        }
        e = i + length;
        ue = u;
      }
      i += length;
    }
    const size_t units = u - u0;
    if (i == start) continue;
    const Run run =
        Settle(start, i, units, n, final, (flags & kLetter) != 0, tokens);
    if (run == kHeld) return start;
    if (run == kPassedOpen) return n;
    if (run == kPassed) {
      u = u0;
      continue;
    }
    if (b == SIZE_MAX) b = e = i;  // joiner controls only
    if ((flags & kIgnorable) != 0 && (b > start || e < i)) {
      flags = FlagsOfUtf8(text, b, e);  // the ignorable ones may be gone
    }
    Add(tokens, start, b - start, Token::kSeparator);
    if (e > b) {
      Add(tokens, b, e - b, Token::kWord, flags);
      at->push_back(static_cast<uint32_t>(ub));
      at->push_back(static_cast<uint32_t>(ue - ub));
    }
    Add(tokens, e, i - e, Token::kSeparator);
  }
  return n;
}

size_t Tokenizer::SplitLines(const char16_t* text, size_t n, bool final,
                             std::vector<Token>* tokens) {
  size_t i = 0;
  while (i < n) {
    size_t start = i;
    while (i < n && text[i] != '\n') ++i;
    const bool open = i == n && !final;
    // An unfinished line short enough to be a word waits whole.
    if (open && !overlong_ && i - start <= kMaxWordUnits) return start;
    // The blanks that start a longer line are dropped at once, however
    // long it turns out to be; those that end it, once its end is seen. A
    // line is too long to be found by its length without them, as the
    // diacritizer trims every line before its lookup.
    if (!overlong_) {
      size_t b = start;
      while (b < i && IsLineBlank(text[b])) ++b;
      Add(tokens, start, b - start, Token::kBlank);
      start = b;
    }
    size_t e = i;
    while (e > start && IsLineBlank(text[e - 1])) --e;
    if (!overlong_ && e - start <= kMaxWordUnits) {
      if (open) return start;
      const uint8_t flags = FlagsOf(text, start, e);
      // An empty line is a word of no letters: looked up, never found.
      tokens->push_back(
          Token{static_cast<uint32_t>(start), static_cast<uint32_t>(e - start),
                Token::kWord, (flags & kLifted) != 0, (flags & kLetter) != 0,
                (flags & kIgnorable) != 0, (flags & kFolds) != 0});
    } else {
      // Too long to be found: passed on now so that memory stays small,
      // but for the blanks at its end so far, which wait to be seen
      // followed by more of the line or by its end.
      Add(tokens, start, e - start, Token::kOverlong,
          FlagsOf(text, start, e) & kLetter);
      overlong_ = open;
      if (open) return e;
    }
    Add(tokens, e, i - e, Token::kBlank);
    if (i < n) {
      Add(tokens, i, 1, Token::kSeparator);
      ++i;
    }
  }
  return n;
}

}  // namespace urdulex::internal
