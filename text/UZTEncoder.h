// Encoding to UZT in a stream: a reader of Unicode input bytes (UTF-16 with
// its byte-order mark, or UTF-8), and an encoder that feeds a long text to
// LexEnigneUtility in chunks whose joined result is byte for byte the result
// of encoding the whole text at once. EncodeUZTStream (text/UZTStream.h)
// encodes directly for as long as every character is known and hands the
// rest to these two.
//
// The library encodes whole strings, each starting in the UZT plate; the
// chunks are therefore cut only where the plate is the same as in the whole
// text. When the library refuses a chunk, the first character it could not
// take is looked for, so that the failure names its input byte offset, line
// and column (StreamError); or, as OnError says, it is dropped or replaced
// and the encoding goes on. The objects borrow the mapping and the utility,
// which must outlive them.

#ifndef URDULEX_TEXT_UZTENCODER_H_
#define URDULEX_TEXT_UZTENCODER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"
#include "text/TextIO.h"
#include "text/UZTStream.h"

namespace urdulex::internal {

// Turns the bytes of a Unicode file into code points with their offsets,
// through the decoder of text/TextIO.h. The form is fixed by the
// first bytes: FF FE is UTF-16 little-endian, FE FF UTF-16 big-endian,
// anything else UTF-8 (a leading EF BB BF is skipped).
class UnicodeInput {
 public:
  using Form = urdulex::internal::TextDecoder::Form;
  static constexpr Form kUnknown = urdulex::internal::TextDecoder::kUnknown;
  static constexpr Form kUtf8 = urdulex::internal::TextDecoder::kUtf8;
  static constexpr Form kUtf16LE = urdulex::internal::TextDecoder::kUtf16LE;
  static constexpr Form kUtf16BE = urdulex::internal::TextDecoder::kUtf16BE;

  // The form of the input that starts with data[0, n) (`final`: that is
  // all of it) in `*form`, and the length of its mark; -1 when more bytes
  // are needed to tell.
  static int DetectForm(const unsigned char* data, size_t n, bool final,
                        Form* form);

  // Decodes the next `n` bytes of the file, calling sink(c, offset) with
  // each code point and the offset of its first byte; `final` marks the end
  // of the file. A sequence cut by the end of `data` waits for the next
  // call. Throws StreamError on malformed input, once the code points
  // before it have gone to the sink.
  template <typename Sink>
  void Put(const unsigned char* data, size_t n, bool final, Sink&& sink);

  Form form() const { return form_; }
  // Goes on from input byte `offset`, at `line` and `column`, in the form
  // `form`, as if the bytes before had been decoded here.
  void Resume(Form form, int64_t offset, int64_t line, int64_t column) {
    form_ = form;
    decoder_.Resume(form, 0, 0);
    offset_ = offset;
    lines_ = line - 1;
    chars_ = column - 1;
    line_start_ = 0;
    carry_.clear();
  }

 private:
  // Counts the character `c`, for the line and column of a failure.
  void Count(char32_t c) {
    ++chars_;
    if (c == '\n') {
      ++lines_;
      line_start_ = chars_;
    }
  }
  // Decodes p[0, n) into units_; returns the bytes decoded, and false in
  // `*ok` when the bytes after them are malformed.
  size_t Decode(const unsigned char* p, size_t n, bool final, bool* ok);
  // Throws StreamError for the malformed bytes p[0, n) (n > 0) at `offset`,
  // on the current line.
  [[noreturn]] void Fail(int64_t offset, const unsigned char* p,
                         size_t n) const;

  urdulex::internal::TextDecoder decoder_{false};
  Form form_ = kUnknown;
  int64_t offset_ = 0;      // of the first byte not yet decoded
  int64_t lines_ = 0;       // line ends decoded so far
  int64_t chars_ = 0;       // characters decoded so far
  int64_t line_start_ = 0;  // characters before the current line
  std::string carry_;       // bytes of an unfinished sequence
  std::string work_;
  urdulex::internal::Units units_;
};

template <typename Sink>
void UnicodeInput::Put(const unsigned char* data, size_t n, bool final,
                       Sink&& sink) {
  const unsigned char* p = data;
  size_t size = n;
  if (!carry_.empty() || form_ == kUnknown) {
    work_.assign(carry_);
    work_.append(reinterpret_cast<const char*>(data), n);
    carry_.clear();
    p = reinterpret_cast<const unsigned char*>(work_.data());
    size = work_.size();
  }
  size_t i = 0;
  if (form_ == kUnknown) {
    Form form = kUnknown;
    const int mark = DetectForm(p, size, final, &form);
    if (mark < 0) {
      carry_.swap(work_);
      return;
    }
    form_ = form;
    decoder_.Resume(form, 0, 0);
    i = static_cast<size_t>(mark);
  }
  bool ok = true;
  const size_t end = i + Decode(p + i, size - i, final, &ok);
  // The units back to code points, and the bytes each took: the decoded
  // text is well-formed, its surrogates paired.
  const bool utf8 = form_ == kUtf8;
  const char16_t* u = units_.data();
  const char16_t* const stop = u + units_.size();
  while (u < stop) {
    char32_t c = *u++;
    size_t length = utf8 ? (c < 0x80 ? 1 : c < 0x800 ? 2 : 3) : 2;
    if (c >= 0xD800 && c <= 0xDBFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (*u++ - 0xDC00u);
      length = 4;
    }
    Count(c);
    sink(c, offset_ + static_cast<int64_t>(i));
    i += length;
  }
  if (!ok) Fail(offset_ + static_cast<int64_t>(end), p + end, size - end);
  carry_.assign(reinterpret_cast<const char*>(p) + end, size - end);
  offset_ += static_cast<int64_t>(end);
}

class UZTStreamEncoder {
 public:
  // Characters per chunk, as a target: a chunk is cut at the first safe
  // place after it has grown this long.
  static constexpr size_t kDefaultChunk = 64 * 1024;

  UZTStreamEncoder(const UZTMapping& mapping, const LexEnigneUtility& utility,
                   size_t chunk = kDefaultChunk)
      : mapping_(mapping), utility_(utility), chunk_(chunk) {}

  // Adds the `n` characters `chars`, found at input bytes `offsets`;
  // appends to `out` the bytes of every chunk completed. Throws StreamError
  // when one of them, or a character before them, has no UZT form in the
  // mapping.
  void Put(const wchar_t* chars, const int64_t* offsets, size_t n,
           std::string& out);
  void Put(char32_t c, int64_t offset, std::string& out) {
    const wchar_t w = static_cast<wchar_t>(c);
    Put(&w, &offset, 1, out);
  }
  // Converts what is left.
  void Finish(std::string& out);
  // Goes on after text converted elsewhere, before a character that
  // selects a plate or in the UZT plate; the next character is at `line`
  // and `column`. `ascii`: that text ended in the ASCII plate and its
  // closing 254 '0' is not written yet.
  void Resume(int64_t line, int64_t column, bool ascii) {
    line_ = line;
    column_ = column;
    closing_switch_held_ = ascii;
  }

  void SetOnError(const OnError& on_error) { on_error_ = on_error; }
  // Characters dropped or substituted so far.
  uint64_t replaced() const { return replaced_; }

 private:
  // True for a character that selects a plate itself; cutting before it
  // gives the same bytes as not cutting (see Flush).
  bool StartsPlate(wchar_t c) const {
    const unsigned char cls = mapping_.PlateClass(static_cast<wchar_t>(c));
    return cls == 'U' || cls == 'A' ||
           (cls == 'X' &&
            (c == 0x0621 || c == 0x0626 || c == 0x06C2 || c == 0x06D3));
  }
  // Throws StreamError for `c` at input byte `offset`, the character after
  // text_[0, k) and then chars[0, m).
  [[noreturn]] void Reject(wchar_t c, int64_t offset, size_t k,
                           const wchar_t* chars = nullptr, size_t m = 0) const;
  // Converts text_[0, end) and drops it.
  void Flush(std::string& out, size_t end);
  // The last place in text_ (after its start) where the whole text is in
  // the UZT plate, or 0; continues the walk of an earlier call.
  size_t LastUztPlace();

  // Pending characters, in chunks, beyond which a place in the UZT plate
  // is looked for.
  static constexpr size_t kMaxPendingChunks = 4;

  const UZTMapping& mapping_;
  const LexEnigneUtility& utility_;
  const size_t chunk_;
  std::wstring text_;
  std::vector<int64_t> offsets_;  // input offset of each character of text_
  std::wstring head_;
  size_t walked_ = 0;        // LastUztPlace has looked at text_[0, walked_)
  bool walk_ascii_ = false;  // the plate before text_[walked_]
  std::string bytes_;
  bool closing_switch_held_ = false;  // 254 '0' not yet written
  OnError on_error_;
  uint64_t replaced_ = 0;
  std::wstring kept_chars_;  // a call's characters with the failures settled
  std::vector<int64_t> kept_offsets_;
  int64_t line_ = 1;    // of text_[0]
  int64_t column_ = 1;  // of text_[0]
};

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_UZTENCODER_H_
