// U+0647 ARABIC LETTER HEH read as Urdu writes it. Web and older Urdu text
// types U+0647 both for heh goal (U+06C1, «ہ») and for the aspiration mark
// heh doachashmee (U+06BE, «ھ»): «بهی گهر تها» is «بھی گھر تھا». A U+0647
// reads as U+06BE
//
//   * after a letter that takes aspiration (ب پ ت ٹ ج چ د ڈ ر ڑ ک گ ل م ن,
//     and the Arabic kaf U+0643 and swash kaf U+06AA) when a letter of the
//     same word follows it: «مجهے», «گهر»;
//   * at the end of a word only in the words of a short list whose last
//     letter is U+06BE: «کچه», «ساته», «دیکه» (but «که» is «کہ»);
//
// and as U+06C1 everywhere else: first in a word («هسپتال»), after any
// other letter, at the end of other words, and right before a combining
// hamza (U+0654), with which it makes U+06C2. A second list names the
// common words in which heh goal follows such a letter inside the word
// («نهیں», «بهت», «کها», «رها», «پهلے»): the list decides the hehs of the
// words on it.
//
// A word here is a run of Arabic letters (IsArabicLetter), Arabic combining
// marks, tatweels and directional marks; marks, tatweels and directional
// marks between two letters do not part them. Everything else ends a word,
// the zero-width joiner and non-joiner included. Listed words are matched
// on their letters alone, with the Arabic yeh, alef maksura and kaf as the
// Urdu letters and the three hehs as one.

#ifndef URDULEX_TEXT_ARABICHEH_H_
#define URDULEX_TEXT_ARABICHEH_H_

#include <cstddef>

namespace urdulex::internal {

constexpr char16_t kArabicHeh = 0x0647;
constexpr char16_t kHehGoal = 0x06C1;
constexpr char16_t kHehDoachashmee = 0x06BE;

// Whether `c` belongs to a word of the reading: an Arabic letter or
// combining mark, a tatweel or a directional mark.
bool IsArabicWordUnit(char16_t c);

// Writes U+06BE over every U+0647 of text[0, n) that reads as heh
// doachashmee; the others stay U+0647. Returns how many it wrote. The text
// keeps its length, every other unit its place.
size_t AspirateArabicHehs(char16_t* text, size_t n);
size_t AspirateArabicHehs(wchar_t* text, size_t n);

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_ARABICHEH_H_
