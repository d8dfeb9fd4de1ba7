// What of a word the diacritization and its evaluation look at.
//
// Only a word holding an Arabic-script letter is Urdu to them: numbers,
// Latin words and markup are passed through and counted apart. Directional
// marks (U+200E, U+200F, U+061C, U+202A-U+202E, U+2066-U+2069) and tatweel
// (U+0640) inside a word do not stop it being found: the word is looked up
// without them. A restored word gets its directional marks back, each after
// the same letter (and that letter's marks) as before; its tatweels are
// dropped, for the table's form has none and a tatweel between a letter and
// the marks it takes would break the joining the form is written for. A
// word that is not found is written as it came, tatweels and all.

#ifndef URDULEX_TEXT_WORDKEY_H_
#define URDULEX_TEXT_WORDKEY_H_

#include <cstddef>
#include <string>

namespace urdulex::internal {

constexpr char16_t kTatweel = 0x0640;

// A letter of the Arabic script (Arabic, Arabic Supplement, Extended-A and
// the presentation forms), marks, digits and punctuation excluded.
bool IsArabicLetter(char16_t c);

bool IsDirectionalMark(char16_t c);

// Left out of a word when it is looked up.
inline bool IsIgnorable(char16_t c) {
  return c == kTatweel || IsDirectionalMark(c);
}

// `word` without its directional marks and tatweels.
std::u16string WithoutIgnorables(const char16_t* word, size_t n);

// The key `word` is looked up by: without directional marks and tatweels,
// then its bare form (AppendBareForm). Appended to `out`; false, nothing
// appended, when the word is its own key.
bool AppendWordKey(const char16_t* word, size_t n, std::u16string* out);

// `form`, the restored form of `original`, with the directional marks of
// `original` put back where they stood among its letters.
std::u16string WithDirectionalMarks(const char16_t* original, size_t n,
                                    const char16_t* form, size_t form_units);

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_WORDKEY_H_
