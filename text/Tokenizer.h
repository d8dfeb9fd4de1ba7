// Splits running text into words and the separators between them, for
// everything that looks at the words of a text (diacritization,
// evaluation).
//
// Separators are white space (U+0009-U+000D, U+0020, U+0085, U+00A0,
// U+1680, U+2000-U+200A, U+2028, U+2029, U+202F, U+205F, U+3000), ASCII
// punctuation, the Urdu comma, semicolon, question mark and full stop
// (U+060C, U+061B, U+061F, U+06D4), the Arabic decimal and thousands
// separators (U+066B, U+066C), quotation marks (U+00AB, U+00BB,
// U+2018-U+201F, U+2039, U+203A), ornate parentheses (U+FD3E, U+FD3F), the
// en and em dash (U+2013, U+2014) and the ellipsis (U+2026). Everything
// else belongs to a word. A zero-width non-joiner or joiner, or a
// directional mark (see WordKey.h), inside a word belongs to it; at either
// end of a word it is a separator.
//
// The tokenizer is fed text in blocks; a word that runs to the end of a
// block is handed back, to be given again with the text after it.

#ifndef URDULEX_TEXT_TOKENIZER_H_
#define URDULEX_TEXT_TOKENIZER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace urdulex::internal {

bool IsSeparator(char16_t c);

struct Token {
  enum Kind : uint8_t {
    kSeparator,  // copied unchanged
    kWord,       // looked up
    kOverlong,   // a word too long for any table: copied unchanged
    kBlank,      // blanks around a line in line mode: dropped
  };
  uint32_t start;
  uint32_t length;
  Kind kind;
  // A word holding a mark that SeparateSymbolicDiacritics lifts off
  // (U+064E to U+0653): its bare form differs from it.
  bool marked;
  // A word (or overlong word) holding an Arabic-script letter.
  bool letter;
  // A word holding a directional mark or a tatweel, left out of its key.
  bool ignorable;
  // A word whose canonical key may differ from it (FoldsInKey), or
  // holding a zero-width joiner or non-joiner.
  bool folds;
};

inline bool IsLiftedMark(char16_t c) {
  return static_cast<char16_t>(c - 0x064E) < 6;
}

class Tokenizer {
 public:
  // A word longer than this cannot be in a table (keys have at most 20
  // units, a letter at most three with its marks); it is not held whole.
  static constexpr size_t kMaxWordUnits = 1024;

  // In line mode each line, trimmed of blanks (space, tab, CR), is one word
  // and LF is the only separator; the blanks are kBlank tokens, also around
  // a line too long to be a word (kOverlong without them). The blanks at
  // the end of an unfinished line are held with it.
  explicit Tokenizer(bool lines = false) : lines_(lines) {}

  // Appends the tokens of text[0, n) to `tokens` and returns how many units
  // they cover. Unless `final`, a word that reaches the end is left out (it
  // may go on in the next block): give text[returned, n) again in front of
  // the next block. Blocks must be shorter than 2^32 units.
  size_t Split(const char16_t* text, size_t n, bool final,
               std::vector<Token>* tokens);
  // The same for well-formed UTF-8 text of whole characters, in words
  // (not line mode): the tokens give bytes, and a word's length in units
  // decides whether it is overlong, as in Split.
  // The UTF-16 units of each kWord token go to `wide` (room for n units),
  // their offset there and their number to `at`, two for each kWord.
  size_t SplitUtf8(const char* text, size_t n, bool final,
                   std::vector<Token>* tokens, char16_t* wide,
                   std::vector<uint32_t>* at);

 private:
  // What became of a run of word (or line) units.
  enum Run {
    kWhole,       // finished and short enough: the caller splits it
    kHeld,        // unfinished: to be given again with the next block
    kPassed,      // too long: passed on as kOverlong
    kPassedOpen,  // too long and unfinished: passed on, goes on overlong
  };
  // Settles the run text[start, end) of a block of `n` units.
  // `units` is its length in UTF-16 units.
  Run Settle(size_t start, size_t end, size_t units, size_t n, bool final,
             bool letter, std::vector<Token>* tokens);
  size_t SplitWords(const char16_t* text, size_t n, bool final,
                    std::vector<Token>* tokens);
  size_t SplitLines(const char16_t* text, size_t n, bool final,
                    std::vector<Token>* tokens);

  bool lines_;
  bool overlong_ = false;  // inside a word already found too long
};

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_TOKENIZER_H_
