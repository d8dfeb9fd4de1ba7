// The tokenizer of the diacritizer: running text split into words and the
// separators between them.
//
// Separators are white space, ASCII punctuation, the Urdu comma,
// semicolon, question mark and full stop, the Arabic decimal and thousands
// separators, quotation marks, ornate parentheses, dashes and the ellipsis;
// everything else belongs to a word (doc/urdu.1 lists them). A zero-width
// non-joiner or joiner inside a word belongs to it. Text that is not UTF-8
// throws Error.

#ifndef URDULEX_TOKENIZE_H_
#define URDULEX_TOKENIZE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace urdulex {

struct Token {
  enum class Kind {
    kSeparator,  // left as it is by the diacritizer
    kWord,       // looked up
    kOverlong,   // a word too long for any table
    kBlank,      // blanks around a line in line mode
  };
  Kind kind;
  size_t offset;     // in bytes, in the text given
  std::string text;  // UTF-8
  // The word carries a mark that splitting lifts off (fatha to madda), so
  // its bare form differs from it.
  bool marked = false;
  // The word holds an Arabic-script letter: an Urdu word, which the
  // diacritizer looks up and counts; other words (numbers, Latin) pass.
  bool urdu = false;
};

struct TokenizeOptions {
  bool lines = false;  // each line one word
};

std::vector<Token> Tokenize(std::string_view text,
                            const TokenizeOptions& options = TokenizeOptions());

}  // namespace urdulex

#endif  // URDULEX_TOKENIZE_H_
