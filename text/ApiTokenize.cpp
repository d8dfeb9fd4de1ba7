// Tokenize of urdulex/tokenize.h over the tokenizer (Tokenizer.h).

#include <algorithm>

#include "text/ApiSupport.h"
#include "text/Tokenizer.h"
#include "urdulex/tokenize.h"

namespace urdulex {

namespace {

Token::Kind KindOf(urdulex::internal::Token::Kind kind) {
  switch (kind) {
    case urdulex::internal::Token::kSeparator:
      return Token::Kind::kSeparator;
    case urdulex::internal::Token::kWord:
      return Token::Kind::kWord;
    case urdulex::internal::Token::kOverlong:
      return Token::Kind::kOverlong;
    case urdulex::internal::Token::kBlank:
      break;
  }
  return Token::Kind::kBlank;
}

// Units handed to the tokenizer at a time: its positions are 32-bit.
constexpr size_t kBlock = size_t{1} << 30;

}  // namespace

std::vector<Token> Tokenize(std::string_view text,
                            const TokenizeOptions& options) {
  return urdulex::internal::ApiCall([&] {
    const urdulex::internal::Units units = urdulex::internal::DecodeText(text);
    urdulex::internal::Tokenizer tokenizer(options.lines);
    std::vector<urdulex::internal::Token> pieces;
    std::vector<Token> tokens;
    // Tokens cover the text without a gap, so each starts where the one
    // before ended.
    size_t offset = urdulex::internal::MarkBytes(text);
    size_t at = 0;
    do {
      const size_t n = std::min(kBlock, units.size() - at);
      const bool final = at + n == units.size();
      pieces.clear();
      const size_t used = tokenizer.Split(units.data() + at, n, final, &pieces);
      for (const urdulex::internal::Token& piece : pieces) {
        Token token{KindOf(piece.kind), offset,
                    urdulex::internal::ToUtf8(units.data() + at + piece.start,
                                              piece.length),
                    piece.marked, piece.letter};
        offset += token.text.size();
        tokens.push_back(std::move(token));
      }
      at += used;
    } while (at < units.size());
    return tokens;
  });
}

}  // namespace urdulex
