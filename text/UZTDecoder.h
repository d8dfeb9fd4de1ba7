// Decoding UZT in a stream: a decoder that feeds long UZT input to
// LexEnigneUtility in chunks whose joined result is the result of decoding
// the whole input at once. DecodeUZTStream (text/UZTStream.h) decodes
// directly for as long as no byte fails and hands the rest to it.
//
// The library decodes whole strings, each starting in the UZT plate; the
// chunks are therefore cut only where the plate, and the bytes the library
// looks at around a position, are the same as in the whole input. When the
// library refuses a chunk, the first byte it could not take is looked for,
// so that the failure names its input byte offset, line and column
// (StreamError); or, as OnError says, it is dropped or replaced and the
// decoding goes on. The decoder borrows the mapping and the utility, which
// must outlive it.

#ifndef URDULEX_TEXT_UZTDECODER_H_
#define URDULEX_TEXT_UZTDECODER_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"
#include "text/UZTStream.h"

namespace urdulex::internal {

class UZTStreamDecoder {
 public:
  // Least bytes per chunk; a chunk ends at the first safe place after.
  static constexpr size_t kDefaultChunk = 64 * 1024;

  UZTStreamDecoder(const UZTMapping& mapping, const LexEnigneUtility& utility,
                   size_t chunk = kDefaultChunk);

  // Adds the next `n` bytes of the UZT input; appends to `out` the text of
  // every chunk completed. Throws StreamError at the first byte that cannot
  // be decoded.
  void Put(const char* data, size_t n, std::wstring& out);
  // Decodes what is left.
  void Finish(std::wstring& out);
  // Goes on after bytes decoded elsewhere: the next byte, at input
  // `offset`, `line` and `column`, starts a step in the plate `ascii`,
  // and is no "w" after a " ".
  void Resume(int64_t offset, int64_t line, int64_t column, bool ascii) {
    offset_ = offset;
    line_ = line;
    column_ = column;
    start_ascii_ = ascii;
  }

  void SetOnError(const OnError& on_error) { on_error_ = on_error; }
  // Bytes dropped or substituted so far.
  uint64_t replaced() const { return replaced_; }

 private:
  // The first step of a walk that cannot be decoded.
  struct BadStep {
    bool found = false;
    size_t index = 0;    // in pending_
    bool ascii = false;  // the plate there
  };
  // Decodes pending_[start_, end); `ascii_at_end` is the plate at `end`.
  // A byte that cannot be decoded is dropped or substituted, as on_error_
  // says.
  void Emit(size_t end, bool ascii_at_end, std::wstring& out);
  // Decodes pending_[start_, end) and appends the text to `out`; false,
  // with the library's message in `*failure`, when it refuses them.
  bool DecodeRange(size_t end, std::wstring& out, std::string* failure);
  // Walks the steps of pending_[start_, end) and throws StreamError at the
  // first that cannot be decoded, or with `bad` stops there and describes
  // it. Unless `final`, the last step waits for its next byte. Returns the
  // last place after start_ where a chunk may end, with the plate there in
  // `*ascii_at`, or 0 for none.
  size_t Walk(size_t end, bool final, bool* ascii_at,
              BadStep* bad = nullptr) const;
  // Throws StreamError for pending_[index].
  [[noreturn]] void Fail(size_t index, const std::string& message) const;

  // Pending bytes, in chunks, beyond which they are walked step by step.
  static constexpr size_t kMaxPendingChunks = 4;

  const UZTMapping& mapping_;
  const LexEnigneUtility& utility_;
  const size_t chunk_;
  std::string pending_;
  int64_t offset_ = 0;        // input offset of pending_[0]
  size_t start_ = 0;          // first byte not yet decoded
  bool start_ascii_ = false;  // plate at start_
  std::string chunk_bytes_;
  std::wstring chunk_text_;
  OnError on_error_;
  uint64_t replaced_ = 0;
  int64_t line_ = 1;    // of pending_[0]
  int64_t column_ = 1;  // of pending_[0]
};

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_UZTDECODER_H_
