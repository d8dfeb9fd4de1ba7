// Diacritics of Urdu words, in UTF-8.
//
// A word splits into its bare letters and a symbolic string of one capital
// letter per letter naming the marks it carries: Z fatha, R kasra, P damma,
// J sukun, K superscript alef, D fathatan, S shadda (followed by the
// letter's vowel or X), M madda, X none. Merging puts them back. The
// word-form tables store words this way (doc/wordform-table.md).
//
// Functions only; nothing is shared. Text that is not UTF-8 throws Error.

#ifndef URDULEX_DIACRITICS_H_
#define URDULEX_DIACRITICS_H_

#include <string>
#include <string_view>

namespace urdulex {

struct SplitWord {
  std::string bare;     // the letters, UTF-8
  std::string symbols;  // one symbol a letter, ASCII
};

SplitWord SplitDiacritics(std::string_view word);

// Surplus symbols are ignored; letters past the last symbol stay bare.
std::string MergeDiacritics(std::string_view bare, std::string_view symbols);

struct StripOptions {
  bool keep_shadda = false;  // all the marks but the shadda (U+0651)
};

// The text without its Arabic-script combining marks. A letter is never
// lost: a letter written as a base letter and
// a combining mark (alef and madda) is taken as the one letter first.
std::string StripDiacritics(std::string_view text,
                            const StripOptions& options = StripOptions());

}  // namespace urdulex

#endif  // URDULEX_DIACRITICS_H_
