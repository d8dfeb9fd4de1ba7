// Text in and out for the programs and the public API: byte sources and sinks,
// a decoder of UTF-8 and UTF-16 (told apart by the byte-order mark) into UTF-16
// units, and a writer that encodes UTF-16 units as UTF-8, or as the 16-bit form
// of the other programs (mark FF FE, CR LF line ends).
//
// Everything works in blocks, so memory stays the same whatever the size of
// the input. Text is held as UTF-16 units (`char16_t`); characters above
// U+FFFF travel as surrogate pairs and come out as they went in.
//
// Failures are thrown as urdulex::internal::Error, which carries a one-line
// message. Objects own what they open; none is copyable.

#ifndef URDULEX_TEXT_TEXTIO_H_
#define URDULEX_TEXT_TEXTIO_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/Error.h"
#include "foundation/OutputFile.h"
#include "foundation/SafeOutput.h"

namespace urdulex::internal {

// Leaves new elements uninitialised on resize: text buffers are resized
// to their largest possible length and then written.
template <typename T>
class DefaultInitAllocator : public std::allocator<T> {
 public:
  template <typename U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  using std::allocator<T>::allocator;
  template <typename U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// Decoded text: UTF-16 units.
using Units = std::vector<char16_t, DefaultInitAllocator<char16_t>>;
// Text as well-formed UTF-8 bytes.
using Utf8Bytes = std::vector<char, DefaultInitAllocator<char>>;

// The name standard input goes by in messages.
extern const char kStandardInput[];

// Where bytes come from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to `n` bytes into `buffer`; 0 at the end. Throws Error on a failed
  // read.
  virtual size_t Read(unsigned char* buffer, size_t n) = 0;
  // Size in bytes when known in advance (a regular file), else -1.
  virtual int64_t Size() const { return -1; }
  // The name for messages.
  virtual const std::string& name() const = 0;
};

// A file, or standard input for "-". A regular file that changes while it
// is read (shrinks, grows, is rewritten or replaced) is an error at its end.
class FileSource : public ByteSource {
 public:
  // Opens at once; throws Error("cannot open NAME: reason").
  explicit FileSource(const std::string& name);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Throws Error("NAME changed while being read") at the end of a file that
  // changed.
  size_t Read(unsigned char* buffer, size_t n) override;
  int64_t Size() const override { return size_; }
  const std::string& name() const override { return name_; }
  // Reads everything that is left, up to `limit` bytes (Error beyond).
  std::string ReadAll(size_t limit);

 private:
  std::string name_;
  int fd_ = -1;
  bool owned_ = false;
  int64_t size_ = -1;
  uint64_t expected_ = 0;  // bytes from the start position to the end
  uint64_t read_ = 0;
  InputWatch watch_;
};

// Bytes held by the caller, who keeps them while the source is read.
class ViewSource : public ByteSource {
 public:
  ViewSource(std::string_view bytes, std::string name)
      : bytes_(bytes), name_(std::move(name)) {}
  size_t Read(unsigned char* buffer, size_t n) override;
  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
  const std::string& name() const override { return name_; }

 private:
  std::string_view bytes_;
  std::string name_;
  size_t at_ = 0;
};

// Bytes held in memory, for tests and fuzz targets.
struct OwnedBytes {
  std::string bytes;
};
class MemorySource : private OwnedBytes, public ViewSource {
 public:
  MemorySource(std::string bytes, std::string name)
      : OwnedBytes{std::move(bytes)},
        ViewSource(OwnedBytes::bytes, std::move(name)) {}
};

// Where bytes go.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Throws Error on a failed write.
  virtual void Write(const char* data, size_t n) = 0;
  // Called once all is written; throws Error when something did not reach
  // its place.
  virtual void Close() {}
};

// A file replaced as a whole once everything was written (see
// foundation/SafeOutput.h), or standard output for "-". On a failure the
// program calls Discard (or lets the sink go), which removes the new file
// and leaves the old one in place.
class FileSink : public ByteSink {
 public:
  explicit FileSink(const std::string& name);  // "cannot create NAME"
  ~FileSink() override;
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  void Write(const char* data, size_t n) override;  // "cannot write NAME"
  // Closes the file and puts it in the target's place.
  void Close() override;
  void Discard();

 private:
  std::string name_;
  int fd_ = -1;
  bool owned_ = false;
  SafeOutput output_;
};

// The files of one run, so that no output replaces or extends one of the
// run's inputs or another of its outputs. Every input is noted first; each
// output is then checked before anything is written.
class RunFiles {
 public:
  // Notes the input `name` ("-": standard input), called `what` in
  // messages ("input", "word-form table").
  void Input(const std::string& what, const std::string& name);
  // Throws Error("WHAT and AS are the same file: NAME") when the output
  // `name` is a noted file, or, for standard output ("-") that is a
  // regular file holding an input, Error("INPUT: input file is output
  // file"). `as` calls the output in messages ("output", "report").
  void Output(const std::string& as, const std::string& name);

 private:
  FileIds ids_;
  std::set<std::string> outputs_;  // what the outputs are called
};

class StringSink : public ByteSink {
 public:
  void Write(const char* data, size_t n) override { bytes.append(data, n); }
  std::string bytes;
};

// Where a decoding failure was found.
struct DecodeError {
  uint64_t line = 0;    // 1-based
  uint64_t offset = 0;  // of the first byte of the sequence, from the start
  const char* what = "";
  const char* encoding = nullptr;  // that would read the input, when known
};

// Decodes one input's bytes into UTF-16 units. The form is fixed by the
// first bytes: FF FE is UTF-16 little-endian, FE FF big-endian, anything
// else UTF-8 (a leading EF BB BF is skipped). Malformed input (overlong
// forms, surrogates, values beyond U+10FFFF, cut sequences, unpaired
// surrogates, an odd last byte) is an error, or with `lenient` becomes one
// U+FFFD for each maximal ill-formed part, counted in replaced().
class TextDecoder {
 public:
  enum Form { kUnknown, kUtf8, kUtf16LE, kUtf16BE };

  explicit TextDecoder(bool lenient) : lenient_(lenient) {}

  // Decodes `data[0, n)` and appends the units to `out`; `final` says no
  // bytes follow. Returns the number of bytes used: an unfinished sequence
  // at the end (or bytes that may still be a mark) is left to be given
  // again with the bytes after it. False in `*ok`, with `*error`, on
  // malformed input.
  size_t Decode(const unsigned char* data, size_t n, bool final, Units* out,
                bool* ok, DecodeError* error);

  // As Decode, for UTF-8 text that is to stay UTF-8: checks the bytes
  // and counts their lines without making units. The form is fixed and
  // a mark skipped as by Decode; `*mark` is the mark's length. Only for a
  // decoder that is not lenient; 0 with `*mark` 0 and the form known and
  // not UTF-8 when the bytes are UTF-16 (Decode them).
  size_t Check(const unsigned char* data, size_t n, bool final, size_t* mark,
               bool* ok, DecodeError* error);

  Form form() const { return form_; }
  bool lenient() const { return lenient_; }
  uint64_t replaced() const { return replaced_; }
  // Decodes from here on as the part of an input in `form` that starts
  // `offset` bytes and `lines` line ends into it (for its messages).
  void Resume(Form form, uint64_t offset, uint64_t lines) {
    form_ = form;
    offset_ = offset;
    lines_ = lines;
  }

 private:
  // Fixes the form from the first bytes; the length of its mark, or
  // -1 when more bytes are needed or on a refusal (`*ok` false).
  int DetectForm(const unsigned char* data, size_t n, bool final, bool* ok,
                 DecodeError* error);
  size_t DecodeUtf8(const unsigned char* data, size_t n, bool final, Units* out,
                    bool* ok, DecodeError* error);
  size_t CheckUtf8(const unsigned char* data, size_t n, bool final, bool* ok,
                   DecodeError* error);
  size_t DecodeUtf16(const unsigned char* data, size_t n, bool final,
                     Units* out, bool* ok, DecodeError* error);

  bool lenient_;
  Form form_ = kUnknown;
  uint64_t offset_ = 0;  // input bytes used so far
  uint64_t lines_ = 0;   // line ends decoded so far
  uint64_t replaced_ = 0;
};

// Told how many bytes of an input were read, for a display of how far a
// long run has got.
class ReadProgress {
 public:
  virtual ~ReadProgress() = default;
  virtual void Advance(uint64_t bytes) = 0;
};

class ConvertingSource;

// A source with its decoder: the input's text, a block at a time. With
// `from`, the source's bytes are in that encoding and are converted to
// UTF-8 by iconv first (see Encoding.h).
class TextReader {
 public:
  // Bytes read from the source at a time.
  static constexpr size_t kBlock = 1 << 20;

  // `block`: the bytes read at a time instead of kBlock (at least
  // kSmallestBlock), for a source known to be short.
  static constexpr size_t kSmallestBlock = 4096;
  TextReader(ByteSource& source, bool lenient, ReadProgress* progress = nullptr,
             const std::string& from = std::string(), size_t block = kBlock);
  ~TextReader();

  // Appends the next decoded text to `units`; false, with nothing
  // appended, at the end of the input. Throws Error("NAME: line L, byte offset
  // B: invalid UTF-8") and the like on malformed input.
  bool Next(Units* units);
  // As Next, the text as UTF-8 bytes, whole characters only. UTF-8 input
  // read strictly and without a conversion is only checked, not decoded; any
  // other is decoded and encoded again. The same errors as Next.
  bool NextUtf8(Utf8Bytes* bytes);
  uint64_t replaced() const;
  // Takes the source as a later part of an input (see
  // TextDecoder::Resume); before the first Next.
  void Resume(TextDecoder::Form form, uint64_t offset, uint64_t lines) {
    decoder_.Resume(form, offset, lines);
  }
  const std::string& name() const { return source_.name(); }
  // The source's size in bytes when known in advance, else -1.
  int64_t size() const { return source_.Size(); }

 private:
  ByteSource& source_;
  std::unique_ptr<ConvertingSource> converter_;
  TextDecoder decoder_;
  ReadProgress* progress_;
  [[noreturn]] void Fail(size_t n, const DecodeError& error) const;

  size_t block_;
  std::unique_ptr<unsigned char[]> buffer_;
  size_t left_ = 0;  // undecoded bytes at the start of buffer_
  bool done_ = false;
  Units units_;  // NextUtf8's text before it is encoded again
};

// Encodes UTF-16 units and hands the bytes to a sink in large pieces.
// UTF-8 has no mark; the 16-bit form starts with FF FE and writes every LF
// that does not follow a CR as CR LF (`crlf`), as the other programs'
// files have it.
class TextWriter {
 public:
  enum Encoding { kUtf8, kUtf16 };
  // The bytes buffered before the sink is written to.
  static constexpr size_t kBlock = 1 << 20;
  static constexpr size_t kSmallestBlock = 4096;
  // `block`: the bytes buffered instead of kBlock (at least
  // kSmallestBlock), for output known to be short.
  TextWriter(ByteSink& sink, Encoding encoding, bool crlf = true,
             size_t block = kBlock);

  void Put(const char16_t* units, size_t n);
  void Put(const std::u16string& text) { Put(text.data(), text.size()); }
  void Put(char16_t unit) { Put(&unit, 1); }
  // `units` units given as UTF-16LE bytes, at any alignment.
  void PutUtf16LE(const unsigned char* bytes, size_t units);
  // Well-formed UTF-8 text, whole characters.
  void PutUtf8(const char* bytes, size_t n);
  Encoding encoding() const { return encoding_; }
  // ASCII or Latin-1 bytes, one character each.
  void PutLatin1(const char* text, size_t n);
  // Writes what is buffered (the mark at least) and closes the sink.
  void Finish();
  // Leaves out the mark of the 16-bit form, for output that continues
  // another's; before anything is put.
  void OmitMark() { used_ = 0; }

 private:
  struct Units16;
  struct BytesLE;
  void Flush();
  template <typename Units>
  void PutUnits(Units units, size_t n);
  template <typename Units>
  char* EncodeUtf8(Units units, size_t n, char* p);

  ByteSink& sink_;
  Encoding encoding_;
  bool crlf_;
  size_t block_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  char16_t last_ = 0;
  char16_t high_ = 0;  // a high surrogate waiting for its partner
};

// UTF-8 of UTF-16 units (an unpaired surrogate becomes U+FFFD).
std::string ToUtf8(const char16_t* units, size_t n);
inline std::string ToUtf8(const std::u16string& s) {
  return ToUtf8(s.data(), s.size());
}

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_TEXTIO_H_
