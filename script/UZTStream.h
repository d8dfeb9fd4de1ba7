// Streaming UZT conversion behind `urdu uzt`: a reader of Unicode input bytes
// (UTF-16 with its byte-order mark, or UTF-8), and an encoder and a decoder
// that feed a long text to LexEnigneUtility in chunks whose joined result is
// byte for byte the result of converting the whole text at once.
//
// The library converts whole strings, each starting in the UZT plate; the
// chunks are therefore cut only where the plate, and the bytes the decoder
// looks at around a position, are the same as in the whole text. When the
// library refuses a chunk, the first character or byte it could not take is
// looked for, so that the failure names its input byte offset, line and
// column (StreamError); or, as OnError says, it is dropped or replaced and
// the conversion goes on. The objects borrow the mapping and the utility,
// which must outlive them.

#ifndef URDULEX_SCRIPT_UZTSTREAM_H_
#define URDULEX_SCRIPT_UZTSTREAM_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/Utf8.h"
#include "script/LexEnigneUtility.h"
#include "script/UZTMapping.h"

// A character or byte that cannot be converted, at input byte `offset`.
struct StreamError {
  int64_t offset;
  std::string message;
  // 1-based line and column: in Unicode input the column counts
  // characters, in UZT input bytes. 0 when not known.
  int64_t line = 0;
  int64_t column = 0;
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

// Turns the bytes of a Unicode file into code points with their offsets.
// The form is fixed by the first bytes: FF FE is UTF-16 little-endian, FE FF
// UTF-16 big-endian, anything else UTF-8 (a leading EF BB BF is skipped).
class UnicodeInput {
 public:
  enum Form { kUnknown, kUtf8, kUtf16LE, kUtf16BE };

  // Decodes the next `n` bytes of the file, calling sink(c, offset) with
  // each code point and the offset of its first byte; `final` marks the end
  // of the file. A sequence cut by the end of `data` waits for the next
  // call. Throws StreamError on malformed input.
  template <typename Sink>
  void Put(const unsigned char* data, size_t n, bool final, Sink&& sink);
  // Counts the character `c` given to the sink, for the line and column of
  // a failure.
  void Count(char32_t c) {
    ++chars_;
    if (c == '\n') {
      ++lines_;
      line_start_ = chars_;
    }
  }

  Form form() const { return form_; }
  // Goes on from input byte `offset`, at `line` and `column`, in the form
  // `form`, as if the bytes before had been decoded here.
  void Resume(Form form, int64_t offset, int64_t line, int64_t column) {
    form_ = form;
    offset_ = offset;
    lines_ = line - 1;
    chars_ = column - 1;
    line_start_ = 0;
    carry_.clear();
  }

 private:
  // Settles the form from the first bytes of `work`; returns the length of
  // the mark, or -1 when more bytes are needed to tell.
  int DetectForm(const std::string& work, bool final);
  // Throws StreamError for malformed input at `offset`, on the current line.
  [[noreturn]] void Fail(int64_t offset, const std::string& what) const;

  Form form_ = kUnknown;
  int64_t offset_ = 0;      // of the first byte not yet decoded
  int64_t lines_ = 0;       // line ends decoded so far
  int64_t chars_ = 0;       // characters decoded so far
  int64_t line_start_ = 0;  // characters before the current line
  std::string carry_;       // bytes of an unfinished sequence
  std::string work_;
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
    const int mark = DetectForm(work_, final);
    if (mark < 0) {
      carry_.swap(work_);
      return;
    }
    i = static_cast<size_t>(mark);
  }
  if (form_ == kUtf8) {
    while (i < size) {
      char32_t c = 0;
      size_t valid = 0;
      const int len = utf8::DecodeSequence(p + i, size - i, &c, &valid);
      if (len > 0) {
        Count(c);
        sink(c, offset_ + static_cast<int64_t>(i));
        i += static_cast<size_t>(len);
        continue;
      }
      if (len < 0) {
        Fail(offset_ + static_cast<int64_t>(i),
             valid == 0 ? "invalid UTF-8 byte" : "invalid UTF-8 sequence");
      }
      if (final) {
        Fail(offset_ + static_cast<int64_t>(i),
             "UTF-8 sequence cut by the end of the input");
      }
      break;
    }
  } else {
    const bool le = form_ == kUtf16LE;
    while (i + 1 < size) {
      const char32_t u =
          le ? (p[i] | (p[i + 1] << 8)) : ((p[i] << 8) | p[i + 1]);
      if (u >= 0xDC00 && u <= 0xDFFF) {
        Fail(offset_ + static_cast<int64_t>(i), "unpaired UTF-16 surrogate");
      }
      if (u >= 0xD800 && u <= 0xDBFF) {
        if (i + 3 >= size) {
          if (final) {
            Fail(offset_ + static_cast<int64_t>(i),
                 "unpaired UTF-16 surrogate");
          }
          break;
        }
        const char32_t v =
            le ? (p[i + 2] | (p[i + 3] << 8)) : ((p[i + 2] << 8) | p[i + 3]);
        if (v < 0xDC00 || v > 0xDFFF) {
          Fail(offset_ + static_cast<int64_t>(i), "unpaired UTF-16 surrogate");
        }
        Count(0x10000);
        sink(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00),
             offset_ + static_cast<int64_t>(i));
        i += 4;
        continue;
      }
      Count(u);
      sink(u, offset_ + static_cast<int64_t>(i));
      i += 2;
    }
    if (final && i < size) {
      Fail(offset_ + static_cast<int64_t>(i),
           "odd byte at the end of UTF-16 input");
    }
  }
  carry_.assign(reinterpret_cast<const char*>(p) + i, size - i);
  offset_ += static_cast<int64_t>(i);
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

// Whole conversions of a byte stream, read and written in blocks so that
// memory stays small whatever its length. `read` stores up to `n` bytes and
// returns how many (0 at the end); `write` takes the converted bytes. Both
// may throw; what they throw passes through. An unconvertible character or
// byte throws StreamError naming the input offset, line and column, or is
// dropped or substituted as `on_error` says; malformed Unicode input always
// throws. The first failure in input order is the one named. They return
// the number of characters or bytes dropped or substituted.
using ReadBytes = std::function<size_t(char* buffer, size_t n)>;
using WriteBytes = std::function<void(const std::string& bytes)>;

// Unicode (UTF-8, or UTF-16 with its mark) to UZT.
uint64_t EncodeUZTStream(const UZTMapping& mapping,
                         const LexEnigneUtility& utility, const ReadBytes& read,
                         const WriteBytes& write,
                         const OnError& on_error = OnError());
// UZT to UTF-8 (no mark), or to UTF-16LE with the mark FF FE. Line ends are
// written as decoded.
uint64_t DecodeUZTStream(const UZTMapping& mapping,
                         const LexEnigneUtility& utility, bool utf8,
                         const ReadBytes& read, const WriteBytes& write,
                         const OnError& on_error = OnError());

namespace urdu {
// The one-line message of `error` in the input `name`, as `urdu uzt` prints
// it: "NAME: line L, column C, byte offset B: what".
std::string StreamErrorMessage(const std::string& name,
                               const StreamError& error);
// Loads the mapping file `path` into `mapping`; throws urdu::Error with
// the message of `urdu uzt --mapping`.
void LoadMappingFile(const std::string& path, UZTMapping* mapping);
}  // namespace urdu

#endif  // URDULEX_SCRIPT_UZTSTREAM_H_
