#include "script/ArabicComposition.h"

#include <cstdint>

namespace {

struct Composition {
  char32_t base;
  char32_t mark;
  char32_t letter;
};

constexpr Composition kCompositions[] = {
    {0x0627, 0x0653, 0x0622}, {0x0627, 0x0654, 0x0623},
    {0x0627, 0x0655, 0x0625}, {0x0648, 0x0654, 0x0624},
    {0x064A, 0x0654, 0x0626}, {0x06CC, 0x0654, 0x0626},
    {0x06C1, 0x0654, 0x06C2}, {0x06D2, 0x0654, 0x06D3},
    {0x06D5, 0x0654, 0x06C0},
};

char32_t Compose(char32_t base, char32_t mark) {
  for (const Composition& c : kCompositions) {
    if (c.base == base && c.mark == mark) return c.letter;
  }
  return 0;
}

// One bit per combining class that occurs among the Arabic marks.
uint32_t ClassBit(unsigned ccc) {
  if (ccc >= 27 && ccc <= 35) return uint32_t{1} << (ccc - 27);
  return ccc == 220 ? uint32_t{1} << 9 : uint32_t{1} << 10;  // 220 or 230
}

bool IsComposingMark(char32_t c) { return c >= 0x0653 && c <= 0x0655; }

template <typename Char>
size_t ComposeInPlace(Char* text, size_t n) {
  // Most text has no combining hamza or madda: nothing to do before the
  // letter that carries the first one.
  size_t first = 0;
  while (first < n && !IsComposingMark(static_cast<char32_t>(text[first]))) {
    ++first;
  }
  if (first == n) return n;
  while (first > 0 &&
         ArabicCombiningClass(static_cast<char32_t>(text[first])) != 0) {
    --first;
  }
  size_t out = first;
  size_t i = first;
  while (i < n) {
    const Char c = text[i++];
    text[out++] = c;
    if (!ArabicBaseTakesMark(static_cast<char32_t>(c))) continue;
    const size_t base = out - 1;
    // Classes of the marks kept after the base: a mark of one of them in
    // between blocks a composition, as it would after canonical ordering.
    uint32_t kept = 0;
    unsigned ccc;
    while (i < n &&
           (ccc = ArabicCombiningClass(static_cast<char32_t>(text[i]))) != 0) {
      const Char mark = text[i++];
      const uint32_t bit = ClassBit(ccc);
      if ((kept & bit) == 0) {
        const char32_t letter = Compose(static_cast<char32_t>(text[base]),
                                        static_cast<char32_t>(mark));
        if (letter != 0) {
          text[base] = static_cast<Char>(letter);
          continue;
        }
      }
      kept |= bit;
      text[out++] = mark;
    }
  }
  return out;
}

}  // namespace

unsigned ArabicCombiningClass(char32_t c) {
  if (c >= 0x064B && c <= 0x0652) return 27 + (c - 0x064B);  // 27 .. 34
  switch (c) {
    case 0x0618:
      return 30;
    case 0x0619:
      return 31;
    case 0x061A:
      return 32;
    case 0x0670:
      return 35;
    case 0x0655:
    case 0x0656:
    case 0x065C:
    case 0x065F:
    case 0x06E3:
    case 0x06EA:
    case 0x06ED:
      return 220;
    case 0x06DD:
    case 0x06DE:
    case 0x06E5:
    case 0x06E6:
    case 0x06E9:
      return 0;
    default:
      break;
  }
  const bool above = (c >= 0x0610 && c <= 0x0617) ||
                     (c >= 0x0653 && c <= 0x065F) ||
                     (c >= 0x06D6 && c <= 0x06ED);
  return above ? 230 : 0;
}

size_t ComposeArabicLetters(char16_t* text, size_t n) {
  return ComposeInPlace(text, n);
}

size_t ComposeArabicLetters(wchar_t* text, size_t n) {
  return ComposeInPlace(text, n);
}
