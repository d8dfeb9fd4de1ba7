// The canonical form of a word for looking it up: the spellings of one
// Urdu word that differ only in how its letters were typed get one key.
//
//   * Arabic presentation forms (U+FB50-U+FDFF, U+FE70-U+FEFF) become the
//     letters they show, as NFKC gives them (a ligature such as U+FDF2 its
//     letters, a spacing mark form its mark; the blanks of the phrase
//     ligatures are left out);
//   * U+0647 becomes U+06BE or U+06C1 by its place (text/ArabicHeh.h), the
//     Arabic kaf U+0643 keheh U+06A9, the Arabic yeh U+064A and alef
//     maksura U+0649 Farsi yeh U+06CC, teh marbuta U+0629 U+06C3;
//   * a base letter and a combining madda or hamza become the one letter
//     (script/ArabicComposition.h);
//   * khari zabar U+0670, tatweel U+0640 and the directional marks
//     (text/WordKey.h) are left out.
//
// Other marks stay: the bare form (AppendBareForm) takes the vowel marks
// off after the key is made, and must come after it, for it takes a
// combining madda off as well. The key of a key is itself.

#ifndef URDULEX_TEXT_CANONICALKEY_H_
#define URDULEX_TEXT_CANONICALKEY_H_

#include <cstddef>
#include <string>

namespace urdulex::internal {

// Appends the key of word[0, n) to `out`; true when it differs from the
// word, false when the word (appended as it is) is its own key.
bool AppendCanonicalKey(const char16_t* word, size_t n, std::u16string* out);

// Whether a word holding `c` may have a key other than itself.
bool FoldsInKey(char16_t c);

// An Arabic presentation form (U+FB50-U+FDFF, U+FE70-U+FEFF).
inline bool IsPresentationForm(char16_t c) {
  return (c >= 0xFB50 && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF);
}

// Appends the units the presentation form `c` shows (a phrase ligature's
// blanks among them), or `c` itself when it shows none.
void AppendPresentationLetters(char16_t c, std::u16string* out);

// The Urdu letter of an Arabic one the key folds (U+0643, U+0649, U+064A,
// U+0647, U+0629), else `c`.
char16_t UrduLetter(char16_t c);

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_CANONICALKEY_H_
