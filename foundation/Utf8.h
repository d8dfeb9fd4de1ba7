// UTF-8 sequences one at a time, for the readers and writers of UTF-8 text.
// Well-formed means as the Unicode standard has it: no overlong forms, no
// surrogates, nothing above U+10FFFF. Header only; nothing here throws.

#ifndef URDULEX_FOUNDATION_UTF8_H_
#define URDULEX_FOUNDATION_UTF8_H_

#include <cstddef>
#include <cstdint>

namespace utf8 {

// Decodes the sequence that starts at p[0] (n > 0 bytes available).
//   > 0  its length; *c is the code point.
//   0    the bytes up to p[n] begin a well-formed sequence that goes on
//        beyond them (*valid = n).
//   < 0  ill-formed; *valid is the length of its well-formed start: 0 when
//        p[0] can start no sequence, else the bytes before the first one
//        that cannot follow. That start is one "maximal ill-formed part".
inline int DecodeSequence(const unsigned char* p, size_t n, char32_t* c,
                          size_t* valid) {
  const unsigned b = p[0];
  if (b < 0x80) {
    *c = b;
    return 1;
  }
  size_t len = 0;
  char32_t value = 0;
  // Bounds of the second byte that exclude overlong forms, surrogates and
  // values beyond U+10FFFF.
  unsigned lo = 0x80, hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
    value = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
    value = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
    value = b & 0x07;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    *valid = 0;
    return -1;
  }
  for (size_t k = 1; k < len; ++k) {
    if (k == n) {
      *valid = n;
      return 0;
    }
    const unsigned t = p[k];
    if (t < (k == 1 ? lo : 0x80u) || t > (k == 1 ? hi : 0xBFu)) {
      *valid = k;
      return -1;
    }
    value = (value << 6) | (t & 0x3F);
  }
  *c = value;
  return static_cast<int>(len);
}

// The character at p[0, n) (n > 0) as DecodeSequence gives it, with the
// ASCII and two-byte characters that make most text taken without a call.
inline int NextCharacter(const unsigned char* p, size_t n, char32_t* c,
                         size_t* valid) {
  const unsigned b = p[0];
  if (b < 0x80) {
    *c = b;
    return 1;
  }
  if (b >= 0xC2 && b <= 0xDF && n > 1 && (p[1] & 0xC0) == 0x80) {
    *c = ((b & 0x1F) << 6) | (p[1] & 0x3F);
    return 2;
  }
  return DecodeSequence(p, n, c, valid);
}

// 0x01 in each byte of the eight bytes `w` that is LF, 0 in the others.
inline uint64_t LineFeedBytes(uint64_t w) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  const uint64_t x = w ^ 0x0A0A0A0A0A0A0A0Aull;  // zero bytes where LF was
  return ~(((x & kLow7) + kLow7) | x | kLow7) >> 7;
}

// Writes the sequence of c (at most U+10FFFF) at p, one to four bytes, and
// returns the end of it.
inline char* EncodeSequence(char32_t c, char* p) {
  if (c < 0x80) {
    *p++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *p++ = static_cast<char>(0xC0 | (c >> 6));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (c >> 12));
    *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (c >> 18));
    *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return p;
}

}  // namespace utf8

#endif  // URDULEX_FOUNDATION_UTF8_H_
