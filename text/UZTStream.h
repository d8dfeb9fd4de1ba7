// UZT conversion of whole byte streams: Unicode text (UTF-8, or UTF-16 with
// its byte-order mark) to UZT, and UZT to UTF-8 or UTF-16LE, read and
// written in blocks so that memory stays small whatever the length.
//
// Each direction converts directly for as long as nothing fails, and hands
// the rest to a streaming coder over LexEnigneUtility that settles every
// failure: text/UZTEncoder.h holds the encoding, text/UZTDecoder.h the
// decoding. This header holds what their callers need and what the two
// share.

#ifndef URDULEX_TEXT_UZTSTREAM_H_
#define URDULEX_TEXT_UZTSTREAM_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "foundation/Error.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"

namespace urdulex::internal {

// A character or byte that cannot be converted, at input byte `offset`
// (-1 when not known); message() says what, without the place.
class StreamError : public Error {
 public:
  StreamError(int64_t offset, std::string what, int64_t line = 0,
              int64_t column = 0)
      : Error(std::move(what)), offset(offset), line(line), column(column) {}

  int64_t offset;
  // 1-based line and column: in Unicode input the column counts
  // characters, in UZT input bytes. 0 when not known.
  int64_t line;
  int64_t column;
};

// What a conversion does with a character (encoding) or byte (decoding)
// it cannot convert: fail with StreamError, drop it, or write
// `substitute` in its place. The encoder's substitute must be a character
// of the mapping (SubstituteForByte); the decoder's is written as it is.
struct OnError {
  enum Mode { kFail, kSkip, kSubstitute };
  Mode mode = kFail;
  wchar_t substitute = L'?';
};

// The character the encoder writes as the byte `byte`: the character of
// that value when the mapping has it in the ASCII plate (class A or N),
// else the one the UZT plate reads the byte as. False when there is none.
bool SubstituteForByte(const UZTMapping& mapping, unsigned char byte,
                       wchar_t* character);

// `read` stores up to `n` bytes and returns how many (0 at the end);
// `write` takes the converted bytes. Both may throw; what they throw passes
// through. An unconvertible character or byte throws StreamError naming the
// input offset, line and column, or is dropped or substituted as `on_error`
// says; malformed Unicode input always throws. The first failure in input
// order is the one named. The conversions return the number of characters
// or bytes dropped or substituted.
using ReadBytes = std::function<size_t(char* buffer, size_t n)>;
using WriteBytes = std::function<void(const std::string& bytes)>;

// Unicode (UTF-8, or UTF-16 with its mark) to UZT (in UZTEncoder.cpp).
uint64_t EncodeUZTStream(const UZTMapping& mapping,
                         const LexEnigneUtility& utility, const ReadBytes& read,
                         const WriteBytes& write,
                         const OnError& on_error = OnError());
// UZT to UTF-8 (no mark), or to UTF-16LE with the mark FF FE. Line ends are
// written as decoded (in UZTDecoder.cpp).
uint64_t DecodeUZTStream(const UZTMapping& mapping,
                         const LexEnigneUtility& utility, bool utf8,
                         const ReadBytes& read, const WriteBytes& write,
                         const OnError& on_error = OnError());

// The one-line message of `error` in the input `name`:
// "NAME: line L, column C, byte offset B: what".
std::string StreamErrorMessage(const std::string& name,
                               const StreamError& error);
// Loads the mapping file `path` into `mapping`; throws urdulex::internal::Error
// with a message that names the file.
void LoadMappingFile(const std::string& path, UZTMapping* mapping);

// What the encoder and the decoder share.
namespace uzt_stream {

// Input is read in blocks of this size; output is written once this much
// has gathered.
constexpr size_t kReadBlock = 1 << 20;
constexpr size_t kWriteBlock = 1 << 20;

// The direct conversions work through a block in pieces of this many input
// bytes, each converted into a local buffer and appended to the output at
// once.
constexpr size_t kPiece = 4096;

// The escape that selects a plate: 254 '0' (UZT) or 254 '1' (ASCII).
constexpr char kEscape = '\xFE';

// Moves `line` and `column` over `n` units, `unit(i)` the i-th (a
// character, a byte, a UTF-16 unit): lines end at each '\n'.
template <typename Unit>
void AdvanceLines(size_t n, Unit&& unit, int64_t* line, int64_t* column) {
  int64_t ends = 0;
  for (size_t i = 0; i < n; ++i) ends += unit(i) == '\n';
  if (ends == 0) {
    *column += static_cast<int64_t>(n);
    return;
  }
  *line += ends;
  size_t k = n;  // one past the last line end
  while (unit(k - 1) != '\n') --k;
  *column = 1 + static_cast<int64_t>(n - k);
}

// AdvanceLines over the characters or bytes text[0, n).
template <typename Char>
void Advance(const Char* text, size_t n, int64_t* line, int64_t* column) {
  AdvanceLines(
      n, [text](size_t i) { return text[i]; }, line, column);
}

}  // namespace uzt_stream

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_UZTSTREAM_H_
