// Composition of the Arabic-script letters that Unicode also spells as a
// base letter and a combining hamza or madda, so that removing marks from
// text never takes part of a letter with them.
//
//   U+0627 + U+0653 -> U+0622    U+0627 + U+0654 -> U+0623
//   U+0627 + U+0655 -> U+0625    U+0648 + U+0654 -> U+0624
//   U+064A + U+0654 -> U+0626    U+06CC + U+0654 -> U+0626
//   U+06C1 + U+0654 -> U+06C2    U+06D2 + U+0654 -> U+06D3
//   U+06D5 + U+0654 -> U+06C0
//
// All but U+06CC + U+0654 are the canonical compositions of Unicode; the
// Urdu yeh takes its hamza as the Arabic yeh does, for Urdu text writes the
// letter U+0626 on it. A mark between the base and the hamza or madda does
// not stop the composition unless it has the same combining class (as in
// Unicode canonical composition, which reorders the marks first): a fatha
// or shadda in between does not, a second mark above does. Marks that are
// not composed stay, in their order. Nothing else is changed: this is not
// Unicode normalization (the project's own normal form is the Normalizer's,
// normalization/Normalizer.h).
//
// Pure functions on caller-owned buffers; nothing throws.

#ifndef URDULEX_SCRIPT_ARABICCOMPOSITION_H_
#define URDULEX_SCRIPT_ARABICCOMPOSITION_H_

#include <cstddef>

// The canonical combining class of an Arabic-script mark (U+0610-U+061A,
// U+064B-U+065F, U+0670, U+06D6-U+06ED); 0 for every other character, which
// therefore ends a run of marks.
unsigned ArabicCombiningClass(char32_t c);

// Whether `c` is a base letter of the compositions above.
inline bool ArabicBaseTakesMark(char32_t c) {
  switch (c) {
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

// Composes text[0, n) in place as above and returns the new length, never
// more than `n`. A surrogate pair is left as it is.
size_t ComposeArabicLetters(char16_t* text, size_t n);
size_t ComposeArabicLetters(wchar_t* text, size_t n);

#endif  // URDULEX_SCRIPT_ARABICCOMPOSITION_H_
