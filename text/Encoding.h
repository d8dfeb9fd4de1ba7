// Inputs that are not UTF-8, nor UTF-16 with its mark: read in another
// encoding through the C library's iconv(3), or recognised well enough to
// tell what they probably are and which encoding reads them.
//
// No conversion table is written here: every byte is converted by iconv,
// and the guesses only compare how plausible the text is that iconv makes
// of a sample in each candidate encoding.

#ifndef URDULEX_TEXT_ENCODING_H_
#define URDULEX_TEXT_ENCODING_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "text/TextIO.h"

namespace urdulex::internal {

// Whether iconv converts `encoding` to UTF-8.
bool CanConvert(const std::string& encoding);

// The bytes of another source, in `encoding`, handed out as UTF-8. Bytes
// that are not valid in the encoding (or a sequence cut by the end) are an
// Error naming their offset, or with `lenient` each becomes U+FFFD. An
// encoding iconv does not convert is an Error at once.
class ConvertingSource : public ByteSource {
 public:
  ConvertingSource(ByteSource& source, const std::string& encoding,
                   bool lenient);
  ~ConvertingSource() override;
  ConvertingSource(const ConvertingSource&) = delete;
  ConvertingSource& operator=(const ConvertingSource&) = delete;

  // `n` must leave room for one character (4 bytes) at least.
  size_t Read(unsigned char* buffer, size_t n) override;
  const std::string& name() const override { return source_.name(); }
  uint64_t replaced() const { return replaced_; }
  // Bytes read from the source since the last call, for progress.
  uint64_t TakeRead();

 private:
  static constexpr size_t kInput = 1 << 16;

  ByteSource& source_;
  std::string encoding_;
  bool lenient_;
  void* cd_;  // iconv_t
  std::unique_ptr<char[]> in_;
  size_t at_ = 0;    // first unconverted byte in in_
  size_t left_ = 0;  // unconverted bytes from at_
  bool end_ = false;
  bool flushed_ = false;
  uint64_t offset_ = 0;  // source bytes before in_[at_]
  uint64_t read_ = 0;
  uint64_t replaced_ = 0;
};

// The start of an input, before anything is decoded: a UTF-32 mark, which
// would otherwise be taken for UTF-16 (FF FE 00 00) or for UTF-8, or bytes
// that may still grow into one.
enum class Utf32Mark { kNone, kMaybe, kLittleEndian, kBigEndian };
Utf32Mark FindUtf32Mark(const unsigned char* data, size_t n, bool final);
// What the decoder says of an input that starts with the mark `mark`; it is
// read as "UTF-32".
const char* Utf32Refusal(Utf32Mark mark);

// What a piece of an input that is not valid UTF-8 looks like.
struct EncodingGuess {
  std::string what;  // "; it looks like ...", or empty
  std::vector<std::string>
      encodings;  // that would read it, as iconv names them
};
// The guess for `data`, when it reads as Urdu text in UTF-16 without a
// mark or in a legacy Arabic code page; else nothing.
EncodingGuess GuessEncoding(const unsigned char* data, size_t n);

}  // namespace urdulex::internal

#endif  // URDULEX_TEXT_ENCODING_H_
