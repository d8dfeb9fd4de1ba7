// Tokenize of urdulex/tokenize.h over the tokenizer (Tokenizer.h).

#include <algorithm>

#include "diacritizer/Tokenizer.h"
#include "foundation/ApiSupport.h"
#include "urdulex/tokenize.h"

namespace urdulex {

namespace {

Token::Kind KindOf(urdu::Token::Kind kind) {
  switch (kind) {
    case urdu::Token::kSeparator:
      return Token::Kind::kSeparator;
    case urdu::Token::kWord:
      return Token::Kind::kWord;
    case urdu::Token::kOverlong:
      return Token::Kind::kOverlong;
    case urdu::Token::kBlank:
      break;
  }
  return Token::Kind::kBlank;
}

// Units handed to the tokenizer at a time: its positions are 32-bit.
constexpr size_t kBlock = size_t{1} << 30;

}  // namespace

std::vector<Token> Tokenize(std::string_view text,
                            const TokenizeOptions& options) {
  return urdu::ApiCall([&] {
    const urdu::Units units = urdu::DecodeText(text);
    urdu::Tokenizer tokenizer(options.lines);
    std::vector<urdu::Token> pieces;
    std::vector<Token> tokens;
    // Tokens cover the text without a gap, so each starts where the one
    // before ended.
    size_t offset = urdu::MarkBytes(text);
    size_t at = 0;
    do {
      const size_t n = std::min(kBlock, units.size() - at);
      const bool final = at + n == units.size();
      pieces.clear();
      const size_t used = tokenizer.Split(units.data() + at, n, final, &pieces);
      for (const urdu::Token& piece : pieces) {
        Token token{KindOf(piece.kind), offset,
                    urdu::ToUtf8(units.data() + at + piece.start, piece.length),
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
